// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/StreamSplit.h"

#include "core/FileCopy.h"
#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/FirstPartHold.h"
#include "split/SplitCheckFiles.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tfs {

namespace {

// The most read from the input at a time.
constexpr qint64 StreamBlockSize = 1 << 20;
// How long a read waits for input before the cancel is looked at again.
constexpr int IdleTurnMs = 100;

// An input that is itself a part file of this name in the destination (a
// redirection from movie.avi.001 while splitting movie.avi there): creating
// that part would empty it.
void requireNotAPart(int inputFd, const QString& destFolder, const QString& sourceName) {
    struct stat input;
    if (::fstat(inputFd, &input) != 0 || !S_ISREG(input.st_mode)) return;
    const QString prefix = sourceName + QLatin1Char('.');
    const QDir dest(destFolder);
    for (const QString& name : dest.entryList({prefix + QLatin1Char('*')}, QDir::Files)) {
        if (partOrdinalOf(name, sourceName) == 0) continue;
        struct stat part;
        const QString path = dest.filePath(name);
        if (::stat(QFile::encodeName(path).constData(), &part) == 0 &&
            part.st_dev == input.st_dev && part.st_ino == input.st_ino)
            throw OperationError(QStringLiteral("Cannot split standard input: it is %1, and "
                                                "writing that part would destroy it")
                                     .arg(path));
    }
}

// Reads what the input has, up to `room` bytes, turning while it is idle;
// 0 at its end, -1 when cancelled.
qint64 readSome(int fd, char* buffer, qint64 room, const SplitHooks& hooks,
                const CancelToken& cancel) {
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, IdleTurnMs);
        if (polled < 0 && errno != EINTR)
            throw OperationError(systemErrorText(QStringLiteral("Cannot read"),
                                                 QStringLiteral("standard input"), errno));
        if (polled <= 0) {
            if (hooks.yield) hooks.yield();
            if (cancel.requested()) return -1;
            continue;
        }
        const ssize_t n = ::read(fd, buffer, static_cast<size_t>(room));
        if (n >= 0) return n;
        if (errno != EINTR && errno != EAGAIN)
            throw OperationError(systemErrorText(QStringLiteral("Cannot read"),
                                                 QStringLiteral("standard input"), errno));
    }
}

void writeAll(QFile& part, const char* bytes, qint64 count) {
    while (count > 0) {
        const qint64 n = part.write(bytes, count);
        if (n <= 0)
            throw OperationError(
                QStringLiteral("Cannot write %1: %2").arg(part.fileName(), part.errorString()));
        bytes += n;
        count -= n;
    }
}

} // namespace

SplitOutcome splitStream(SplitState& state, int inputFd, const QString& sourceName, qint64 partSize,
                         const SplitHooks& hooks) {
    state.SplitCancelFlag = 0;
    const CancelToken cancel([&state] { return state.SplitCancelFlag != 0; });
    const QString& dest = state.SplitDestFolder;
    const QString sourcePath = dest + sourceName;

    const qint64 largestFile = largestFileOn(dest);
    if (largestFile >= 0 && partSize > largestFile) {
        if (hooks.refused)
            hooks.refused(
                oversizedPartRefusal(partSize, partSize, largestFile, volumeRootOf(dest)));
        return SplitOutcome::RefusedForFileSize;
    }
    const QString list = partListPath(dest, sourceName);
    const QFileInfo listEntry(list);
    if ((listEntry.exists() || listEntry.isSymLink()) && !isPartListOf(list, sourceName)) {
        if (hooks.refused) hooks.refused(foreignListRefusal(fileNameOf(list)));
        return SplitOutcome::RefusedForList;
    }
    requireNotAPart(inputFd, dest, sourceName);

    state.SplitPartNames.clear();
    state.SplitPartPaths.clear();
    state.SplitPartCrcs.clear();
    state.SourceFileSize = 0;
    QStringList earlierParts;
    QList<PartCrc> crcs;
    std::vector<char> buffer(static_cast<size_t>(std::min(partSize, StreamBlockSize)));
    // The first part is written under its hidden name, held as a file split
    // holds it, and takes its name at the end. Until bytes for a second part
    // come, the earlier set of this name stays as it was: an input that ends
    // within one part would make a set of one part, which is refused.
    FirstPartHold firstPart;
    QFile part;
    bool begun = false;
    quint32 crc = CrcInitialValue;
    qint64 inPart = 0;
    const auto startPart = [&](qint64 ordinal) {
        state.CurrentPartPath = partPath(dest, sourcePath, ordinal);
        if (hooks.partStarted) hooks.partStarted();
        if (ordinal == 1) {
            deleteCheckFilesOf(list); // they name the parts being replaced too
            earlierParts = removeEarlierPartList(list);
        }
        state.SplitPartNames.append(fileNameOf(state.CurrentPartPath));
        state.SplitPartPaths.append(state.CurrentPartPath);
    };
    try {
        for (;;) {
            // What the current part has room for, or a new part after a full one.
            const qint64 left = inPart == partSize ? partSize : partSize - inPart;
            const qint64 room = std::min<qint64>(left, qint64(buffer.size()));
            const qint64 n = readSome(inputFd, buffer.data(), room, hooks, cancel);
            if (n <= 0) break;
            if (!begun) { // the first bytes
                firstPart.lock(QStringLiteral("standard input"), partPath(dest, sourcePath, 1));
                createForWriting(part, firstPart.hiddenPath());
                begun = true;
            } else if (inPart == partSize) { // bytes for a part after a full one
                if (state.SplitPartPaths.isEmpty()) {
                    startPart(1);
                    // A file there that couldn't be written over (one the
                    // user made read-only) isn't replaced either.
                    if (::access(QFile::encodeName(state.CurrentPartPath).constData(), W_OK) != 0 &&
                        errno != ENOENT)
                        throw OperationError(systemErrorText(QStringLiteral("Cannot create"),
                                                             state.CurrentPartPath, errno));
                    firstPart.replaceName();
                }
                startPart(state.SplitPartPaths.size() + 1);
                createReplacingLinks(part, state.CurrentPartPath); // never through a link
                crc = CrcInitialValue;
                inPart = 0;
            }
            writeAll(part, buffer.data(), n);
            crc = crc32Fast(buffer.data(), n, crc);
            inPart += n;
            state.SourceFileSize += n;
            if (inPart == partSize) {
                closeWritten(part);
                crcs.append({crc ^ 0xFFFFFFFFu, inPart});
            }
            if (hooks.yield) hooks.yield();
            if (cancel.requested()) break;
        }
        if (part.isOpen() && !cancel.requested()) {
            closeWritten(part);
            crcs.append({crc ^ 0xFFFFFFFFu, inPart});
        }
    } catch (const OperationError& e) {
        // The user knows part 1 by its name, not by the hidden one.
        QString text = e.text();
        if (firstPart.held()) text.replace(firstPart.hiddenPath(), partPath(dest, sourcePath, 1));
        part.close();
        firstPart.keep();
        throw OperationError(text);
    }

    if (cancel.requested()) {
        part.close();
        firstPart.discard();
        for (const QString& path : std::as_const(state.SplitPartPaths))
            if (QFileInfo(path).isFile()) QFile::remove(path);
        if (hooks.cancelled) hooks.cancelled();
        return SplitOutcome::Cancelled;
    }
    if (state.SplitPartPaths.isEmpty()) { // one part at most
        firstPart.discard();
        return SplitOutcome::Completed;
    }
    if (hooks.partCrcs) state.SplitPartCrcs = crcs;
    firstPart.publish();
    removeEarlierPartsBeyond(earlierParts, dest, sourceName, state.SplitPartPaths.size());
    if (hooks.completed) hooks.completed(); // the set is still held
    firstPart.release();
    return SplitOutcome::Completed;
}

} // namespace tfs
