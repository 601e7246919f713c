// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/SplitEngine.h"

#include "core/CopyPace.h"
#include "core/FileCopy.h"
#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/ReadAhead.h"
#include "core/RoomAhead.h"
#include "core/StreamReader.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/FirstPartHold.h"
#include "split/PartWriter.h"
#include "split/SplitCheckFiles.h"
#include "verify/CopyingThreadCrc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#endif
#include <memory>
#include <utility>

namespace tfs {

// Checked again right before a split: the source may have changed since it was
// loaded. An empty file has nothing to split. A part is created over whatever
// bears its name, so a link to the source named like one of its parts (a
// symbolic or a hard one) would have the split empty its own source.
void requireSplittableSource(const QString& path, const QString& destFolder) {
    requireRegularFile(path);
    if (QFileInfo(path).size() == 0)
        throw OperationError(QStringLiteral("Cannot split %1: the file is empty").arg(path));

    const QString prefix = fileNameOf(path) + QLatin1Char('.');
    const QDir dest(destFolder);
#ifdef Q_OS_UNIX
    struct stat source;
    if (::stat(QFile::encodeName(path).constData(), &source) != 0)
        throw OperationError(systemErrorText(QStringLiteral("Cannot open"), path, errno));
#endif
    for (const QString& name : dest.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix) || name.size() == prefix.size()) continue;
        const QStringView digits = QStringView(name).mid(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        const QString partPath = dest.filePath(name);
#ifdef Q_OS_UNIX
        struct stat part;
        const bool same = ::stat(QFile::encodeName(partPath).constData(), &part) == 0 &&
                          part.st_dev == source.st_dev && part.st_ino == source.st_ino;
#else
        const bool same =
            QFileInfo(partPath).canonicalFilePath() == QFileInfo(path).canonicalFilePath();
#endif
        if (same)
            throw OperationError(
                QStringLiteral("Cannot split %1: %2 is the same file (a link to it), "
                               "and writing that part would destroy it")
                    .arg(path, partPath));
    }
}

namespace {

// Parts larger than the destination's file system can hold (FAT: 4 GiB - 1):
// the refusal's report lines, or none.
QStringList oversizedParts(const SplitState& state, const QString& sourcePath, qint64 partSize,
                           qint64 partCount) {
    const qint64 largestFile = largestFileOn(state.SplitDestFolder);
    if (largestFile < 0) return {};
    // The source as it is now: it may have grown since it was loaded.
    const QFileInfo source(sourcePath);
    const qint64 sourceSize = source.isFile() ? source.size() : state.SourceFileSize;
    // A given number of parts: the last one is the largest.
    if (partCount > 0) partSize = std::max(partSize, sourceSize - (partCount - 1) * partSize);
    return oversizedPartRefusal(sourceSize, partSize, largestFile,
                                volumeRootOf(state.SplitDestFolder));
}

// Copies one block in slices that end on SplitSliceSize boundaries of the
// part, with an event-loop turn between two slices, so that a block read
// from a slow disk doesn't hold the window for its whole time; a cancel
// asked for meanwhile stops the block there. Returns the bytes copied. Reads
// ahead of what it copies (not of what the file system shares); from a source
// read from the disk (`fromDisk`), each slice is copied once the read-ahead
// has brought it in, the event loop turning meanwhile. Tells the pace how
// long the copies took.
qint64 copyBlock(const CancelToken& cancel, QFile& source, qint64 from, QFile& part, qint64 partPos,
                 qint64 count, const SplitHooks& hooks, ReadAhead& ahead, CopyPace& pace,
                 bool fromDisk, CopyingThreadCrc* crc) {
    const auto keepWaiting = waitingTurn(hooks, cancel);
    qint64 copied = 0;
    while (copied < count) {
        const qint64 slice =
            std::min(count - copied, SplitSliceSize - (partPos + copied) % SplitSliceSize);
        if (fromDisk) { // the copy waits for the read-ahead, the window doesn't
            if (ahead.askedTo() == 0) ahead.reached(source, from + copied); // the first stretch
            if (!ahead.awaitAsked(source, from + copied, slice, keepWaiting)) break;
        }
        qint64 shared = 0;
        const qint64 n =
            pace.copy(source, from + copied, part, partPos + copied, slice, &shared, crc);
        copied += n;
        if (shared == 0) ahead.reached(source, from + copied);
        if (n < slice || copied == count) break;
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) break;
    }
    return copied;
}

} // namespace

QString unlistableNameReason(const QString& name) {
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return QStringLiteral("its name holds a line break, which its part list and check files "
                              "cannot hold");
    if (name.startsWith(QLatin1Char(';')))
        return QStringLiteral("its name begins with \";\", which makes a comment of its parts' "
                              "lines in the .sfv");
    return {};
}

void requireListableName(const QString& sourcePath) {
    if (const QString why = unlistableNameReason(fileNameOf(sourcePath)); !why.isEmpty())
        throw OperationError(
            QStringLiteral("Cannot split %1: %2; rename the file first").arg(sourcePath, why));
}

QStringList foreignListRefusal(const QString& listName) {
    const QString indent = QStringLiteral("     ");
    return {QStringLiteral(" "),
            QStringLiteral(" "),
            indent + listName,
            indent + QStringLiteral("is not a part list of this file"),
            indent + QStringLiteral("and would be replaced:"),
            indent + QStringLiteral("nothing was split")};
}

SplitOutcome splitIntoParts(SplitState& state, const QString& sourcePath, qint64 partSize,
                            const SplitHooks& hooks, qint64 partCount) {
    state.SplitCancelFlag = 0;
    requireListableName(sourcePath);
    const CancelToken cancel([&state] { return state.SplitCancelFlag != 0; });
    state.FreeSpaceBytes = freeSpaceOf(state.SplitDestFolder);

    const qint64 needed = state.SourceFileSize + FreeSpaceMargin;
    if (static_cast<double>(needed) > state.FreeSpaceBytes) {
        const QStringList lines{QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
                                QStringLiteral("There is Not enough Free Space on drive  ") +
                                    volumeRootOf(state.SplitDestFolder) +
                                    QStringLiteral("  to complete operation")};
        if (hooks.refused) hooks.refused(lines);
        return SplitOutcome::RefusedForSpace;
    }
    if (const QStringList lines = oversizedParts(state, sourcePath, partSize, partCount);
        !lines.isEmpty()) {
        if (hooks.refused) hooks.refused(lines);
        return SplitOutcome::RefusedForFileSize;
    }

    // A file named like the list that is no list of this source is the
    // user's own: neither deleted nor replaced.
    const QString earlierList = partListPath(state.SplitDestFolder, fileNameOf(sourcePath));
    const QFileInfo listEntry(earlierList);
    if ((listEntry.exists() || listEntry.isSymLink()) &&
        !isPartListOf(earlierList, fileNameOf(sourcePath))) {
        if (hooks.refused) hooks.refused(foreignListRefusal(fileNameOf(earlierList)));
        return SplitOutcome::RefusedForList;
    }

    state.SplitPartNames.clear();
    state.SplitPartCrcs.clear();
    // The part list of an earlier split of the same name in this folder: it
    // goes right before the first part is created, because from then on it
    // would name parts that are no longer its own (a join would trust it),
    // also when this split fails, is cancelled or is killed.
    QStringList earlierParts;
    FirstPartHold firstPart;

    try {
        QFile source;
        openForReading(source, sourcePath);
        ReadAhead ahead;
        CopyPace pace;
        ahead.start(source);
        const auto shorter = [&sourcePath] {
            return OperationError(QStringLiteral("Cannot read %1: the file became shorter while "
                                                 "it was being split")
                                      .arg(sourcePath));
        };
        // Each part's CRC-32 from the bytes as they are copied, taken by the
        // thread that copies them; in the order of the parts.
        CopyingThreadCrc partCrc; // of the part copied here
        QList<PartCrc> crcs;
        QFile part;
        RoomAhead setAside; // a part that stops early keeps only the blocks it holds
        qint64 ordinal = 0;
        qint64 bytesInPart = 0;
        qint64 total = 0;

        // The source's end as known: its size when opened, or more where it
        // grew since. A source found shorter than that was cut while it was
        // being split: its set would end early, so the split fails.
        qint64 knownEnd = sizeOfOpenFile(source);
        const auto measure = [&] {
            const qint64 size = sizeOfOpenFile(source);
            if (size < knownEnd) throw shorter();
            knownEnd = size;
            return size;
        };

        // Large parts of a source in the page cache are written two at a
        // time: every other one by a second writer, while this thread writes
        // the one before it. (A source read from the disk is bound by the
        // disk: one writer keeps its reads in order.)
        const bool fromDisk = StreamReader::isCold(sourcePath, 0, knownEnd);
        std::unique_ptr<PartWriter> writer;
        if (partSize >= ParallelPartSize && sizeOfOpenFile(source) >= 2 * partSize && !fromDisk)
            writer = std::make_unique<PartWriter>(source, hooks.partCrcs);
        qint64 handedOver = 0; // the size of the part the writer copies, 0 when idle
        const auto keepWaiting = waitingTurn(hooks, cancel);
        // Waits for the writer's part, which follows the bytes copied here;
        // false when cancelled meanwhile.
        const auto collect = [&]() -> bool {
            const qint64 count = std::exchange(handedOver, 0);
            const qint64 got = writer->finish(keepWaiting);
            if (got < 0) return false;
            if (hooks.partCrcs) crcs.append({writer->partCrc(), got});
            total += got;
            // Copied whole before the source was cut: it is shorter all the same.
            if (got < count) throw shorter();
            measure();
            return true;
        };

        for (;;) {
            if (cancel.requested()) break;
            if (bytesInPart >= partSize || ordinal == 0) {
                setAside.ended(bytesInPart);
                closeWritten(part);
                if (handedOver > 0) {
                    if (!collect()) break;
                    const qint64 sourceSize = measure();
                    if (hooks.progress) hooks.progress(splitProgress(total, sourceSize));
                    if (!(sourceSize > total)) break;
                }
                ++ordinal;
                bytesInPart = 0;
                state.CurrentPartPath = partPath(state.SplitDestFolder, sourcePath, ordinal);
                if (hooks.partStarted) hooks.partStarted();
                if (ordinal == 1) {
                    // Refused here while another split writes this set.
                    firstPart.lock(sourcePath, state.CurrentPartPath);
                    deleteCheckFilesOf(earlierList); // they name the parts being replaced too
                    earlierParts = removeEarlierPartList(earlierList);
                }
                state.SplitPartNames.append(fileNameOf(state.CurrentPartPath));
                state.SplitPartPaths.append(state.CurrentPartPath);
                if (ordinal == 1) { // the part being written is the hidden file
                    firstPart.replaceName();
                    state.CurrentPartPath = firstPart.hiddenPath();
                    createForWriting(part, state.CurrentPartPath);
                } else
                    createReplacingLinks(part, state.CurrentPartPath);
                if (hooks.partCrcs) {
                    partCrc.reset();
                    crcs.append({partCrc.value(), 0});
                }
                const qint64 left = measure() - total;
                if (left < partSize || ordinal == partCount) partSize = left;
                setAside.start(part, partSize);
                // The next part goes to the writer when a whole one follows this
                // (not the last of a given number, which takes the rest).
                if (writer && writer->running() && left - partSize >= partSize &&
                    (partCount == 0 || ordinal + 1 < partCount)) {
                    ++ordinal;
                    const QString next = partPath(state.SplitDestFolder, sourcePath, ordinal);
                    const QString current = std::exchange(state.CurrentPartPath, next);
                    if (hooks.partStarted) hooks.partStarted();
                    state.SplitPartNames.append(fileNameOf(next));
                    state.SplitPartPaths.append(next);
                    writer->start(next, total + partSize, partSize);
                    handedOver = partSize;
                    state.CurrentPartPath = current;
                }
            }

            const qint64 room = partSize - bytesInPart;
            const qint64 step = room < SplitBlockSize ? room : SplitBlockSize;
            const qint64 copied =
                copyBlock(cancel, source, total, part, bytesInPart, step, hooks, ahead, pace,
                          fromDisk, hooks.partCrcs ? &partCrc : nullptr);
            if (hooks.partCrcs) crcs.last() = {partCrc.value(), partCrc.size()};
            bytesInPart += copied;
            total += copied;
            setAside.reached(bytesInPart);

            if (hooks.yield) hooks.yield();
            if (copied < step && !cancel.requested()) throw shorter();
            const qint64 sourceSize = measure();
            if (hooks.progress) hooks.progress(splitProgress(total, sourceSize));

            if (!(sourceSize > total)) break;
        }
        // A source cut short before the writer's part: that part is short too.
        if (handedOver > 0 && !cancel.requested()) collect();
        if (!cancel.requested()) measure(); // cut after the last block: short all the same
        if (hooks.partCrcs && !cancel.requested()) state.SplitPartCrcs = crcs;
        // A source that got shorter between two blocks ends the last part early.
        setAside.ended(bytesInPart);
        if (!cancel.requested()) closeWritten(part);
    } catch (const OperationError& e) {
        // The user knows part 1 by its name, not by the hidden one.
        QString text = e.text();
        if (!firstPart.hiddenPath().isEmpty())
            text.replace(firstPart.hiddenPath(), partPath(state.SplitDestFolder, sourcePath, 1));
        firstPart.keep();
        throw OperationError(text);
    }

    if (cancel.requested()) {
        firstPart.discard();
        for (const QString& path : std::as_const(state.SplitPartPaths))
            if (QFile::exists(path)) QFile::remove(path);
        if (hooks.cancelled) hooks.cancelled();
        return SplitOutcome::Cancelled;
    }
    firstPart.publish();
    if (state.SplitPartPaths.size() == 1) state.CurrentPartPath = state.SplitPartPaths.first();
    removeEarlierPartsBeyond(earlierParts, state.SplitDestFolder, fileNameOf(sourcePath),
                             state.SplitPartPaths.size());
    if (hooks.completed) hooks.completed(); // the set is still held
    firstPart.release();
    return SplitOutcome::Completed;
}

} // namespace tfs
