// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RoomAhead.h"

#include <algorithm>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Cutting a file to its own size frees the blocks set aside past its end.
void releaseUnwritten(QFile& out) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (out.isOpen() && ::fstat(out.handle(), &st) == 0)
        (void)::ftruncate(out.handle(), st.st_size);
#else
    Q_UNUSED(out);
#endif
}

} // namespace

RoomAhead::~RoomAhead() {
    if (reserved_ > 0 && out_->isOpen()) releaseUnwritten(*out_);
}

void RoomAhead::start(QFile& out, qint64 length) {
    out_ = &out;
    length_ = length;
    reserved_ = 0;
    on_ = false;
#ifdef Q_OS_LINUX
    // Only where it was measured to pay: other file systems have their own
    // ways (XFS sets room aside by itself, btrfs and XFS may share extents).
    struct statfs fs {};
    on_ = length > 0 && ::fstatfs(out.handle(), &fs) == 0 && fs.f_type == EXT4_SUPER_MAGIC;
#endif
    reached(0);
}

void RoomAhead::reached(qint64 pos) {
    if (!on_ || reserved_ >= length_ || pos + Stretch / 2 < reserved_) return;
#ifdef Q_OS_LINUX
    const qint64 next = std::min(length_, reserved_ + Stretch);
    if (::fallocate(out_->handle(), FALLOC_FL_KEEP_SIZE, reserved_, next - reserved_) != 0) {
        on_ = false;
        releaseUnwritten(*out_); // what the failed call took (too little space) goes back
        return;
    }
    reserved_ = next;
#else
    Q_UNUSED(pos);
#endif
}

void RoomAhead::ended(qint64 pos) {
    if (reserved_ > pos) releaseUnwritten(*out_);
    reserved_ = 0;
}
