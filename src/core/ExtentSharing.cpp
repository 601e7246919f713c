// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ExtentSharing.h"

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#endif

#ifdef Q_OS_LINUX

namespace {

// The file systems (a pair of devices) where sharing extents failed for good,
// so that their copies don't try again.
struct NoSharing {
    dev_t in = 0;
    dev_t out = 0;
    bool known = false;
};
thread_local NoSharing noSharing;

// Whether sharing failed because these files can't share extents at all (a
// file system without it, two file systems), rather than for this range.
bool sharingUnsupported(int err) {
    return err == EOPNOTSUPP || err == EXDEV || err == ENOTTY || err == ENOSYS || err == EPERM ||
           err == EBADF;
}

// Smallest block a file system shares; larger ones refuse misaligned ranges
// and the copy goes on without sharing.
constexpr qint64 ShareBlock = 4096;

} // namespace

SharedRange sharableRange(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count) {
    // Source and output must lie at the same offset within a block.
    if ((inPos - outPos) % ShareBlock != 0 || count < ShareBlock) return {};
    struct stat src, dst;
    if (::fstat(in.handle(), &src) != 0 || ::fstat(out.handle(), &dst) != 0) return {};
    if (noSharing.known && noSharing.in == src.st_dev && noSharing.out == dst.st_dev) return {};
    SharedRange r;
    r.head = (ShareBlock - inPos % ShareBlock) % ShareBlock;
    const qint64 start = inPos + r.head;
    const qint64 end = std::min<qint64>(inPos + count, src.st_size);
    if (end <= start) return {};
    r.length = end == src.st_size ? end - start : (end - start) / ShareBlock * ShareBlock;
    return r;
}

bool shareExtents(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 length) {
    file_clone_range range{};
    range.src_fd = in.handle();
    range.src_offset = static_cast<__u64>(inPos);
    range.src_length = static_cast<__u64>(length);
    range.dest_offset = static_cast<__u64>(outPos);
    if (::ioctl(out.handle(), FICLONERANGE, &range) == 0) return true;
    if (sharingUnsupported(errno)) {
        struct stat src, dst;
        if (::fstat(in.handle(), &src) == 0 && ::fstat(out.handle(), &dst) == 0)
            noSharing = {src.st_dev, dst.st_dev, true};
    }
    return false;
}

#else

SharedRange sharableRange(QFile&, qint64, QFile&, qint64, qint64) { return {}; }

bool shareExtents(QFile&, qint64, QFile&, qint64, qint64) { return false; }

#endif
