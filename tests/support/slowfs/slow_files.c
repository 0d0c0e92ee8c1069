/* A disk that is slow or hangs, for the tests and benchmarks of a desk that must never
 * wait on one. Preloaded (LD_PRELOAD) into the program under test, it wraps the C
 * library's file calls for paths that hold a chosen text:
 *
 *   SPINLOREX_SLOW_PATH=TEXT      reads of files whose path holds TEXT are slowed:
 *   SPINLOREX_SLOW_READ_US=N      each read() / pread() of such a file first sleeps N us
 *                                 (a network share: 20000)
 *   SPINLOREX_SLOW_OPEN_US=N      each open() / stat() of such a path first sleeps N us
 *                                 (a sleeping USB disk: 2000000)
 *   SPINLOREX_HANG_PATH=TEXT      open() and stat() of paths holding TEXT never return
 *                                 (a hung mount)
 *   SPINLOREX_HANG_OPEN_PATH=TEXT open() alone never returns (stat() answers)
 *
 * Every other call goes straight to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 65536
static volatile unsigned char slowFd[MAX_FDS];

static const char* env(const char* name) {
    const char* value = getenv(name);
    return value != NULL && value[0] != '\0' ? value : NULL;
}

static long envMicros(const char* name) {
    const char* value = env(name);
    return value != NULL ? atol(value) : 0;
}

static int holds(const char* path, const char* name) {
    const char* text = env(name);
    return path != NULL && text != NULL && strstr(path, text) != NULL;
}

static void hangOrWait(const char* path) {
    if (holds(path, "SPINLOREX_HANG_PATH"))
        for (;;) pause();
    if (holds(path, "SPINLOREX_SLOW_PATH")) {
        const long us = envMicros("SPINLOREX_SLOW_OPEN_US");
        if (us > 0) usleep((useconds_t)us);
    }
}

static void hangOnOpen(const char* path) {
    if (holds(path, "SPINLOREX_HANG_OPEN_PATH"))
        for (;;) pause();
}

// Before any open: hangs or waits as the environment says for `path`.
static void beforeOpen(const char* path) {
    hangOrWait(path);
    hangOnOpen(path);
}

// After an open: remembers whether reads of `fd` are slowed. Returns `fd`.
static int opened(int fd, const char* path) {
    if (fd >= 0 && fd < MAX_FDS) slowFd[fd] = (unsigned char)holds(path, "SPINLOREX_SLOW_PATH");
    return fd;
}

static void waitForRead(int fd) {
    if (fd >= 0 && fd < MAX_FDS && slowFd[fd]) {
        const long us = envMicros("SPINLOREX_SLOW_READ_US");
        if (us > 0) usleep((useconds_t)us);
    }
}

#define NEXT(type, name) ((type)dlsym(RTLD_NEXT, name))

static mode_t modeOf(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(args, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    beforeOpen(path);
    return opened(NEXT(int (*)(const char*, int, ...), "open")(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    beforeOpen(path);
    return opened(NEXT(int (*)(const char*, int, ...), "open64")(path, flags, mode), path);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    beforeOpen(path);
    return opened(NEXT(int (*)(int, const char*, int, ...), "openat")(dir, path, flags, mode),
                  path);
}

int stat(const char* path, struct stat* st) {
    hangOrWait(path);
    return NEXT(int (*)(const char*, struct stat*), "stat")(path, st);
}

int lstat(const char* path, struct stat* st) {
    hangOrWait(path);
    return NEXT(int (*)(const char*, struct stat*), "lstat")(path, st);
}

ssize_t read(int fd, void* buffer, size_t count) {
    waitForRead(fd);
    return NEXT(ssize_t(*)(int, void*, size_t), "read")(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    waitForRead(fd);
    return NEXT(ssize_t(*)(int, void*, size_t, off_t), "pread")(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    waitForRead(fd);
    return NEXT(ssize_t(*)(int, void*, size_t, off64_t), "pread64")(fd, buffer, count, offset);
}

int close(int fd) {
    if (fd >= 0 && fd < MAX_FDS) slowFd[fd] = 0;
    return NEXT(int (*)(int), "close")(fd);
}
