// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/JoinStream.h"

#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/Progress.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace tfs {

namespace {

constexpr qint64 StreamBlockSize = 1 << 20;
// How long a write waits for the reader before the cancel is looked at again.
constexpr int IdleTurnMs = 100;

// Writes all of `count` bytes, turning while the reader takes none; false
// when cancelled meanwhile. A signal ends a write that waits (the command
// line's handlers don't restart calls): it is looked at then.
bool writeAll(int fd, const char* bytes, qint64 count, const JoinHooks& hooks,
              const CancelToken& cancel) {
    while (count > 0) {
        pollfd ready{fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, IdleTurnMs);
        ssize_t n = 0;
        if (polled > 0) n = ::write(fd, bytes, static_cast<size_t>(count));
        if ((polled < 0 || n < 0) && errno != EINTR && errno != EAGAIN)
            throw OperationError(systemErrorText(QStringLiteral("Cannot write"),
                                                 QStringLiteral("standard output"), errno));
        if (n > 0) {
            bytes += n;
            count -= n;
        }
        if (count > 0 && hooks.yield) hooks.yield();
        if (count > 0 && cancel.requested()) return false;
    }
    return true;
}

} // namespace

qint64 joinToStream(JoinState& state, const PartSet& set, int outputFd, qint64 lastOrdinal,
                    const JoinHooks& hooks,
                    const std::function<bool(qint64 ordinal, const PartCrc& part)>& partJoined) {
    state.JoinCancelFlag = 0;
    const CancelToken cancel([&state] { return state.JoinCancelFlag != 0; });
    // The parts to write, for the progress.
    qint64 count = 0;
    qint64 total = 0;
    for (; lastOrdinal == 0 || count < lastOrdinal; ++count) {
        const QFileInfo part(set.partPath(count + 1));
        if (!part.isFile()) break;
        total += part.size();
    }
    std::vector<char> buffer(static_cast<size_t>(StreamBlockSize));
    qint64 joined = 0;
    qint64 written = 0;
    for (qint64 ordinal = 1; ordinal <= count; ++ordinal) {
        const QString path = set.partPath(ordinal);
        QFile part;
        openForReading(part, path);
        quint32 crc = CrcInitialValue;
        qint64 size = 0;
        for (;;) {
            const qint64 n = part.read(buffer.data(), StreamBlockSize);
            if (n < 0)
                throw OperationError(
                    QStringLiteral("Cannot read %1: %2").arg(path, part.errorString()));
            if (n == 0) break;
            if (!writeAll(outputFd, buffer.data(), n, hooks, cancel)) return joined;
            crc = crc32Fast(buffer.data(), n, crc);
            size += n;
            written += n;
            if (hooks.progress) hooks.progress(splitProgress(written, std::max(total, written)));
            if (hooks.yield) hooks.yield();
            if (cancel.requested()) return joined;
        }
        ++joined;
        if (partJoined && !partJoined(ordinal, PartCrc{crc ^ 0xFFFFFFFFu, size})) break;
    }
    return joined;
}

} // namespace tfs
