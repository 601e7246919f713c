// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/CopyingThreadCrc.h"

#include "core/OperationError.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <algorithm>

namespace tfs {

void CopyingThreadCrc::copied(QFile& in, qint64 pos, qint64 count) {
    // A pass through the copy's pipe at most: it is still in the caches.
    constexpr qint64 Piece = 512 << 10;
    buffer_.resize(static_cast<size_t>(std::min(count, Piece)));
    for (qint64 done = 0; done < count;) {
        const qint64 want = std::min(count - done, Piece);
        int err = 0;
        const qint64 n = readFullyAt(in.handle(), reinterpret_cast<char*>(buffer_.data()),
                                     pos + done, want, err);
        if (err != 0)
            throw OperationError(
                systemErrorText(QStringLiteral("Cannot read"), in.fileName(), err));
        if (n < want)
            throw OperationError(
                QStringLiteral("Cannot read %1: the file became shorter while it was being copied")
                    .arg(in.fileName()));
        fold(reinterpret_cast<const char*>(buffer_.data()), n);
        done += n;
    }
}

void CopyingThreadCrc::fold(const char* bytes, qint64 count) {
    crc_ = crc32Fast(bytes, count, crc_);
    size_ += count;
}

quint32 CopyingThreadCrc::value() const { return crc_ ^ CrcInitialValue; }

void CopyingThreadCrc::reset() {
    crc_ = CrcInitialValue;
    size_ = 0;
}

} // namespace tfs
