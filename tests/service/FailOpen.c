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

// Refuses a path that names "unopenable"; otherwise opens it through the next definition of
// `symbol` ("open" or "open64"), with the mode a creating open was given.
static int openOrRefuse(const char* symbol, const char* path, int flags, mode_t mode) {
    if (path && strstr(path, "unopenable")) {
        errno = EMFILE;
        return -1;
    }
    int (*next)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, symbol);
    return next(path, flags, mode);
}

// The mode only a creating open passes.
#define MODE_OF(flags, mode)                  \
    do {                                      \
        if ((flags) & (O_CREAT | O_TMPFILE)) { \
            va_list args;                     \
            va_start(args, flags);            \
            mode = va_arg(args, mode_t);      \
            va_end(args);                     \
        }                                     \
    } while (0)

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    MODE_OF(flags, mode);
    return openOrRefuse("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    MODE_OF(flags, mode);
    return openOrRefuse("open64", path, flags, mode);
}
