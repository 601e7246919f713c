// SPDX-License-Identifier: GPL-3.0-or-later
// A preload library for the fault tests: close() of a file whose path
// contains the text in TFS_CLOSE_FAILS closes it and then reports EIO, as a
// network file system reports a delayed write error when the file is closed.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

extern "C" int close(int fd) {
    using Close = int (*)(int);
    static const Close real = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
    bool fail = false;
    if (const char* pattern = std::getenv("TFS_CLOSE_FAILS"); pattern && *pattern) {
        char link[64];
        char target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = readlink(link, target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            fail = std::strstr(target, pattern) != nullptr;
        }
    }
    const int result = real(fd);
    if (fail && result == 0) {
        errno = EIO;
        return -1;
    }
    return result;
}
