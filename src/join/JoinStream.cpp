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
#include <unistd.h>
#include <vector>

namespace tfs {

namespace {

constexpr qint64 StreamBlockSize = 1 << 20;

void writeAll(int fd, const char* bytes, qint64 count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw OperationError(systemErrorText(QStringLiteral("Cannot write"),
                                                 QStringLiteral("standard output"), errno));
        bytes += n;
        count -= n;
    }
}

} // namespace

qint64 joinToStream(JoinState& state, const QString& chosenPart, int outputFd, qint64 lastOrdinal,
                    const JoinHooks& hooks,
                    const std::function<bool(qint64 ordinal, const PartCrc& part)>& partJoined) {
    state.JoinCancelFlag = 0;
    const CancelRequest cancel(state.JoinCancelFlag);
    const PartSet set = partSetOf(chosenPart);
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
            writeAll(outputFd, buffer.data(), n);
            crc = Crc32Fast(buffer.data(), n, crc);
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
