// Loaded into the service (LD_PRELOAD) by the test of files that cannot be opened: every open()
// of a path that holds "unopenable" fails as if the process had no descriptor left (EMFILE),
// though the file is there. Every other open goes through.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>

static int refused(const char* path) {
    if (path && strstr(path, "unopenable")) {
        errno = EMFILE;
        return 1;
    }
    return 0;
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    if (refused(path)) return -1;
    int (*next)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    if (refused(path)) return -1;
    int (*next)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open64");
    return next(path, flags, mode);
}
