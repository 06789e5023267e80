// Loaded into the service (LD_PRELOAD) by the test of interim replies: every send() of an
// interim "100 Continue" takes only its first ten bytes, as a socket whose queue is all but
// full takes them. Nothing else the service sends is touched (replies go out by sendmsg).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/types.h>

ssize_t send(int fd, const void* bytes, size_t length, int flags) {
    static const char interim[] = "HTTP/1.1 100 Continue\r\n\r\n";
    ssize_t (*next)(int, const void*, size_t, int) =
        (ssize_t (*)(int, const void*, size_t, int))dlsym(RTLD_NEXT, "send");
    if (length == sizeof interim - 1 && memcmp(bytes, interim, length) == 0) length = 10;
    return next(fd, bytes, length, flags);
}
