// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/JoinEngine.h"

#include "core/CopyPace.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/ReadAhead.h"
#include "core/RoomAhead.h"
#include "core/StreamReader.h"
#include "join/HiddenOutput.h"
#include "parts/HiddenFirstPart.h"
#include "parts/Naming.h"
#include "verify/CopyingThreadCrc.h"
#include "verify/HelperThreadCrc.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace tfs {

namespace {

// The bytes one step of the join copies: at most 1 % of the whole (so that
// the progress shown passes every percent) and at most JoinStepMax (so that a
// step, even from a slow disk, keeps the window answering and a Cancel
// honoured within a fraction of the 50 ms promised), at least JoinBlockSize;
// whole 64 KiB units where it can (aligned ranges copy and share best).
qint64 joinStep(qint64 total) {
    constexpr qint64 unit = 64 * 1024;
    qint64 step = std::min(total / 100, JoinStepMax);
    if (step >= unit) step -= step % unit;
    return std::max(step, JoinBlockSize);
}

bool partExists(const QString& path) { return QFileInfo(path).isFile(); }

// N: the parts from ordinal 1 up to the first absent one. Yields before every test.
qint64 countParts(const PartSet& set, const JoinHooks& hooks) {
    qint64 count = 0;
    for (;;) {
        if (hooks.yield) hooks.yield();
        if (!partExists(set.partPath(count + 1))) return count;
        ++count;
    }
}

std::vector<qint64> partSizes(const PartSet& set, qint64 count) {
    std::vector<qint64> sizes;
    sizes.reserve(static_cast<size_t>(count));
    QFile part;
    for (qint64 i = 1; i <= count; ++i) {
        openForReading(part, set.partPath(i));
        sizes.push_back(sizeOfOpenFile(part));
        part.close();
    }
    return sizes;
}

qint64 sum(const std::vector<qint64>& sizes) {
    qint64 total = 0;
    for (qint64 s : sizes)
        total += s;
    return total;
}

} // namespace

int joinProgress(qint64 written, qint64 total) {
    if (total <= 0) return 99;
    const double percent =
        std::trunc(100.0 * static_cast<double>(written) / static_cast<double>(total));
    return static_cast<int>(std::clamp(percent - 1.0, 0.0, 100.0));
}

qint64 joinedSize(const PartSet& set, const JoinHooks& hooks) {
    return sum(partSizes(set, countParts(set, hooks)));
}

// Parts not in the page cache (cold ones) are read ahead on a thread of their
// own, which gives their pages back to the cache as they are used, while the
// bytes before them are written, the next part's reading starting before the
// current one ends.
// Parts in the cache are copied by the kernel instead (see copyBytes), as are
// parts that lie in the output at the same offset within a block as in their
// file: those may share extents.
class ColdParts {
public:
    ColdParts(const PartSet& set, const std::vector<qint64>& sizes, qint64 chunk)
        : set_(set), sizes_(sizes), chunk_(chunk) {}

    // Part c (from 1) is about to be joined at `outPos`: whether it is read
    // ahead. Queues the next part at once when it is cold too.
    bool starting(qint64 c, qint64 outPos) {
        if (c == 1) queue(1, outPos);
        const bool streamed = queued_ == c;
        const auto count = static_cast<qint64>(sizes_.size());
        if (c < count) queue(c + 1, outPos + sizes_[static_cast<size_t>(c - 1)]);
        return streamed;
    }
    StreamReader& reader() { return *reader_; }

private:
    void queue(qint64 c, qint64 outPos) {
        const qint64 size = sizes_[static_cast<size_t>(c - 1)];
        const QString path = set_.partPath(c);
        if (outPos % 4096 == 0 || !StreamReader::isCold(path, 0, size)) return;
        if (!reader_) reader_ = std::make_unique<StreamReader>(chunk_, 8, ReadSize);
        if (!reader_->running()) return;
        reader_->add(path, 0, size);
        queued_ = c;
    }

    // Reads of a megabyte through the page cache made the join from a disk a
    // quarter to a third slower, just after the cache was emptied, than reads
    // of a quarter of that; the kernel's read-ahead streams the disk either way.
    static constexpr qint64 ReadSize = 256 << 10;

    const PartSet& set_;
    const std::vector<qint64>& sizes_;
    const qint64 chunk_;
    std::unique_ptr<StreamReader> reader_;
    qint64 queued_ = 0; // the last part queued
};

void joinParts(JoinState& state, const PartSet& set, const QString& outputPath,
               const JoinHooks& hooks, const JoinOptions& options) {
    state.JoinCancelFlag = 0;
    const CancelToken cancel([&state] { return state.JoinCancelFlag != 0; });
    state.JoinPartCrcs.clear();
    qint64 count = countParts(set, hooks);
    if (options.lastOrdinal > 0) count = std::min(count, options.lastOrdinal);

    HiddenOutput::removeAbandoned(outputPath);
    removeAbandonedFirstPart(set.partPath(1)); // a killed split's, beside the parts
    HiddenOutput output(outputPath);
    if (hooks.iconRefresh) hooks.iconRefresh();

    try {
        const std::vector<qint64> sizes = partSizes(set, count);
        const qint64 total = sum(sizes);
        const qint64 stepMax = joinStep(total);
        RoomAhead room;
        room.start(output.file(), total);
        qint64 written = 0;
        QFile part;
        // Each part's CRC-32 from the bytes as they are joined: a part read
        // ahead is folded from the buffer it is written from; the bytes of a
        // copied part on a helper thread, which has the other core to itself
        // (taking them on this thread made the join a quarter slower).
        CopyingThreadCrc streamedCrc;
        std::unique_ptr<HelperThreadCrc> copiedCrcs =
            hooks.partCrcs ? std::make_unique<HelperThreadCrc>() : nullptr;
        QList<PartCrc> crcs; // placeholders for the copied parts, in order
        QList<qsizetype> copiedAt;

        ColdParts cold(set, sizes, std::min<qint64>(stepMax, 1 << 20));
        CopyPace pace;
        const auto keepWaiting = waitingTurn(hooks, cancel);
        // Reading ahead reaches into the next part before the current one ends.
        ReadAhead ahead;
        QFile next;
        ReadAhead nextAhead;
        for (qint64 c = 1; c <= count && !cancel.requested(); ++c) {
            const QString partPath = set.partPath(c);
            openForReading(part, partPath);
            const bool streamed = cold.starting(c, written);
            ahead.start(part, next.isOpen() ? nextAhead.askedTo() : 0);
            next.close();
            if (hooks.yield) hooks.yield();
            streamedCrc.reset();
            if (copiedCrcs && !streamed) {
                copiedCrcs->begin(part);
                copiedAt.append(crcs.size());
            }

            // Exactly the bytes that were counted: the total and the progress hold.
            const qint64 size = sizes[static_cast<size_t>(c - 1)];
            const auto shorter = [&partPath] {
                return OperationError(QStringLiteral("Cannot read %1: the part became shorter "
                                                     "while it was being joined")
                                          .arg(partPath));
            };
            for (qint64 pos = 0; streamed && pos < size;) {
                StreamReader::Chunk chunk;
                if (!cold.reader().next(chunk, keepWaiting)) break; // cancelled
                if (chunk.error)
                    throw OperationError(
                        systemErrorText(QStringLiteral("Cannot read"), partPath, chunk.error));
                if (chunk.size == 0) throw shorter();
                writeBytesAt(output.file(), written, chunk.data, chunk.size);
                if (copiedCrcs) streamedCrc.fold(chunk.data, chunk.size);
                pos += chunk.size;
                written += chunk.size;
                room.reached(written);
                if (hooks.progress) hooks.progress(joinProgress(written, total));
                if (hooks.yield) hooks.yield();
                if (cancel.requested()) break;
            }
            for (qint64 pos = 0; !streamed && pos < size;) {
                const qint64 step = std::min(stepMax, size - pos);
                qint64 shared = 0;
                const qint64 copied = pace.copy(part, pos, output.file(), written, step, &shared);
                if (copied < step) throw shorter();
                if (copiedCrcs) copiedCrcs->add(pos, copied);
                pos += copied;
                written += copied;
                room.reached(written);
                if (shared == 0) ahead.reached(part, pos);
                if (ahead.askedTo() > size && c < count && !next.isOpen()) {
                    next.setFileName(set.partPath(c + 1));
                    if (next.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                        nextAhead.start(next);
                }
                if (hooks.progress) hooks.progress(joinProgress(written, total));
                if (hooks.yield) hooks.yield();
                if (cancel.requested()) break;
            }
            if (!cancel.requested() && sizeOfOpenFile(part) < size) throw shorter();
            part.close();
            if (copiedCrcs) crcs.append({streamedCrc.value(), size});
        }

        if (hooks.progress) hooks.progress(99);
        if (copiedCrcs && !cancel.requested()) {
            const QList<quint32> values = copiedCrcs->results();
            for (qsizetype i = 0; i < copiedAt.size(); ++i)
                crcs[copiedAt.at(i)].crc = values.at(i);
            state.JoinPartCrcs = crcs;
        }
        if (cancel.requested() || (hooks.keep && !hooks.keep()))
            output.discard();
        else
            output.commit(!options.keepExisting);
    } catch (const OperationError& e) {
        // The user knows the output's name, not the hidden file's.
        const QString hidden = output.path();
        output.discard();
        throw OperationError(e.text().replace(hidden, outputPath));
    }
}

} // namespace tfs
