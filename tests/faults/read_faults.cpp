// SPDX-License-Identifier: GPL-3.0-or-later
// A preload library for the fault tests: reads of one file go wrong at a
// chosen offset, as they do on a failing disk. For the file whose whole path
// is TFS_FAULT_FILE, and TFS_FAULT_AT = offset:
//   TFS_FAULT_MODE=eio     a read reaching the offset stops short before it,
//                          and reads from there fail with EIO (a bad block
//                          behind cached ones);
//   TFS_FAULT_MODE=short   every read returns at most 1000 bytes, no error;
//   TFS_FAULT_MODE=shrink  right after the first read that reaches past the
//                          offset (its bytes all read), the file is cut there
//                          (another program truncates it between two reads);
//   TFS_FAULT_MODE=stop    the first read reaching the offset writes
//                          "reached\n" to standard error and waits for a byte
//                          on standard input (the test kills it or signals it).
// The file is never mapped and never spliced or copied by the kernel (those
// calls fail as on a file system without them), so its bytes are read.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool isFaulty(int fd) {
    const char* pattern = std::getenv("TFS_FAULT_FILE");
    if (!pattern || !*pattern || fd < 0) return false;
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = '\0';
    return std::strcmp(target, pattern) == 0;
}

off_t faultAt() {
    const char* at = std::getenv("TFS_FAULT_AT");
    return at ? static_cast<off_t>(std::strtoll(at, nullptr, 10)) : 0;
}

bool mode(const char* name) {
    const char* m = std::getenv("TFS_FAULT_MODE");
    return m && std::strcmp(m, name) == 0;
}

bool reachedOnce = false;

// How many of `count` bytes at `pos` may be read; -1 with errno set for an error.
ssize_t allowed(off_t pos, size_t count) {
    const off_t at = faultAt();
    if (mode("short")) return count > 1000 ? 1000 : static_cast<ssize_t>(count);
    if (pos + static_cast<off_t>(count) <= at) return static_cast<ssize_t>(count);
    if (mode("eio")) {
        if (pos >= at) {
            errno = EIO;
            return -1;
        }
        return static_cast<ssize_t>(at - pos);
    }
    if (!reachedOnce && mode("stop")) {
        reachedOnce = true;
        (void)!write(STDERR_FILENO, "reached\n", 8);
        char byte;
        while (read(STDIN_FILENO, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    return static_cast<ssize_t>(count);
}

// After a read of the faulty file that reached past the offset: the cut.
void afterRead(int fd, off_t pos, ssize_t got) {
    static bool cut = false;
    if (cut || !mode("shrink") || got <= 0 || pos + got <= faultAt()) return;
    cut = true;
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return;
    target[n] = '\0';
    (void)!truncate(target, faultAt());
}

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

ssize_t read(int fd, void* buf, size_t count) {
    static const auto next = real<ssize_t (*)(int, void*, size_t)>("read");
    if (!isFaulty(fd)) return next(fd, buf, count);
    const off_t pos = lseek(fd, 0, SEEK_CUR);
    const ssize_t n = allowed(pos, count);
    if (n < 0) return -1;
    const ssize_t got = next(fd, buf, static_cast<size_t>(n));
    afterRead(fd, pos, got);
    return got;
}

ssize_t pread64(int fd, void* buf, size_t count, off_t pos) {
    static const auto next = real<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    if (!isFaulty(fd)) return next(fd, buf, count, pos);
    const ssize_t n = allowed(pos, count);
    if (n < 0) return -1;
    const ssize_t got = next(fd, buf, static_cast<size_t>(n), pos);
    afterRead(fd, pos, got);
    return got;
}

ssize_t pread(int fd, void* buf, size_t count, off_t pos) { return pread64(fd, buf, count, pos); }

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    static const auto next = real<void* (*)(void*, size_t, int, int, int, off_t)>("mmap64");
    if (isFaulty(fd)) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    return next(addr, length, prot, flags, fd, offset);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return mmap64(addr, length, prot, flags, fd, offset);
}

ssize_t splice(int in, loff_t* inOff, int out, loff_t* outOff, size_t length, unsigned flags) {
    static const auto next =
        real<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>("splice");
    if (isFaulty(in)) {
        errno = EINVAL;
        return -1;
    }
    return next(in, inOff, out, outOff, length, flags);
}

ssize_t copy_file_range(int in, loff_t* inOff, int out, loff_t* outOff, size_t length,
                        unsigned flags) {
    static const auto next =
        real<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>("copy_file_range");
    if (isFaulty(in)) {
        errno = EINVAL;
        return -1;
    }
    return next(in, inOff, out, outOff, length, flags);
}

} // extern "C"
