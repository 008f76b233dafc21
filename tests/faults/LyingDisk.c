/* A disk that takes every write and keeps only the first bytes of each file
 * in one folder, saying nothing: what a full network disk or a dying drive can
 * do. Preloaded into the converter by the truncated-output test, with
 * TEMBRIO_LYING_DISK_FOLDER (a canonical path) and TEMBRIO_LYING_DISK_LIMIT
 * (bytes kept per file). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

typedef ssize_t (*WriteFunction)(int, const void*, size_t);

static int Lies(int fd, off_t* limit) {
    const char* folder = getenv("TEMBRIO_LYING_DISK_FOLDER");
    const char* limitText = getenv("TEMBRIO_LYING_DISK_LIMIT");
    if (!folder || !limitText) return 0;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    *limit = (off_t)atoll(limitText);
    return strncmp(path, folder, strlen(folder)) == 0 && path[strlen(folder)] == '/';
}

ssize_t write(int fd, const void* buf, size_t count) {
    static WriteFunction real;
    if (!real) real = (WriteFunction)dlsym(RTLD_NEXT, "write");
    off_t limit = 0;
    const off_t pos = Lies(fd, &limit) ? lseek(fd, 0, SEEK_CUR) : -1;
    if (pos < 0 || pos + (off_t)count <= limit) return real(fd, buf, count);
    if (pos < limit && real(fd, buf, (size_t)(limit - pos)) < 0) return -1;
    /* The writer's position moves on as if everything had been written. */
    lseek(fd, pos + (off_t)count, SEEK_SET);
    return (ssize_t)count;
}
