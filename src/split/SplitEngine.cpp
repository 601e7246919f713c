#include "split/SplitEngine.h"

#include "app/FileError.h"
#include "app/ProgramState.h"
#include "split/FileCopy.h"
#include "split/FileSystemLimits.h"
#include "split/FreeSpace.h"
#include "split/Naming.h"
#include "split/PartList.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

int splitProgress(qint64 copied, qint64 size) {
    if (size <= 0)
        return 100;
    const double percent = std::nearbyint(static_cast<double>(copied) / size * 100.0);
    return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

namespace {

// Parts larger than the destination's file system can hold (FAT: 4 GiB - 1):
// the refusal's report lines, or none.
QStringList oversizedParts(const ProgramState& state, const QString& sourcePath, qint64 partSize) {
    const qint64 largestFile = largestFileOn(state.SplitDestFolder);
    if (largestFile < 0) return {};
    // The source as it is now: it may have grown since it was loaded.
    const QFileInfo source(sourcePath);
    const qint64 sourceSize = source.isFile() ? source.size() : state.SourceFileSize;
    return oversizedPartRefusal(sourceSize, partSize, largestFile,
                                volumeRootOf(state.SplitDestFolder));
}

} // namespace

SplitOutcome splitfile(ProgramState& state, const QString& sourcePath, qint64 partSize,
                       const SplitHooks& hooks) {
    state.SplitCancelFlag = 0;
    state.FreeSpaceDrive = state.SplitDestFolder;
    GetFreeDiskSpace(state);

    const qint64 needed = state.SourceFileSize + FreeSpaceMargin;
    if (static_cast<double>(needed) > state.FreeSpaceBytes) {
        const QStringList lines{QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
                                QStringLiteral("There is Not enough Free Space on drive  ") +
                                    volumeRootOf(state.SplitDestFolder) +
                                    QStringLiteral("  to complete operation")};
        if (hooks.refused) hooks.refused(lines);
        return SplitOutcome::RefusedForSpace;
    }
    if (const QStringList lines = oversizedParts(state, sourcePath, partSize); !lines.isEmpty()) {
        if (hooks.refused) hooks.refused(lines);
        return SplitOutcome::RefusedForFileSize;
    }

    state.SplitPartNames.clear();
    // The part list of an earlier split of the same name in this folder: it
    // goes right before the first part is created, because from then on it
    // would name parts that are no longer its own (a join would trust it),
    // also when this split fails, is cancelled or is killed.
    const QString earlierList = partListPath(state.SplitDestFolder, fileNameOf(sourcePath));
    QStringList earlierParts;

    {
        QFile source;
        openForReading(source, sourcePath);
        QFile part;
        qint64 ordinal = 0;
        qint64 bytesInPart = 0;
        qint64 total = 0;

        for (;;) {
            if (state.SplitCancelFlag == 1)
                break;
            if (bytesInPart >= partSize || ordinal == 0) {
                part.close();
                ++ordinal;
                bytesInPart = 0;
                state.CurrentPartPath = partPath(state.SplitDestFolder, sourcePath, ordinal);
                if (hooks.partStarted) hooks.partStarted();
                if (ordinal == 1) earlierParts = removeEarlierPartList(earlierList);
                state.SplitPartNames.append(fileNameOf(state.CurrentPartPath));
                state.SplitPartPaths.append(state.CurrentPartPath);
                createForWriting(part, state.CurrentPartPath);
                const qint64 left = sizeOfOpenFile(source) - total;
                if (left < partSize)
                    partSize = left;
            }

            const qint64 room = partSize - bytesInPart;
            const qint64 step = room < SplitBlockSize ? room : SplitBlockSize;
            const qint64 copied = copyBytes(source, total, part, bytesInPart, step);
            bytesInPart += copied;
            total += copied;

            if (hooks.yield)
                hooks.yield();
            const qint64 sourceSize = sizeOfOpenFile(source);
            if (hooks.progress)
                hooks.progress(splitProgress(total, sourceSize));

            if (copied < step && state.SplitCancelFlag != 1)
                throw FileError(QStringLiteral("Cannot read %1: the file became shorter while "
                                               "it was being split")
                                    .arg(sourcePath));
            if (!(sourceSize > total))
                break;
        }
    }

    if (state.SplitCancelFlag != 0) {
        for (const QString& path : std::as_const(state.SplitPartPaths))
            if (QFile::exists(path)) QFile::remove(path);
        if (hooks.cancelled) hooks.cancelled();
        return SplitOutcome::Cancelled;
    }
    removeEarlierPartsBeyond(earlierParts, state.SplitDestFolder, fileNameOf(sourcePath),
                             state.SplitPartPaths.size());
    return SplitOutcome::Completed;
}
