#include "split/SplitEngine.h"

#include "core/FileError.h"
#include "core/ProgramState.h"
#include "core/FileCopy.h"
#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "split/Naming.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

void splitfile(ProgramState& state, const QString& sourcePath, qint64 partSize,
               const SplitHooks& hooks) {
    state.SplitCancelFlag = 0;
    state.FreeSpaceDrive = state.SplitDestFolder;
    GetFreeDiskSpace(state);

    const qint64 needed = state.SourceFileSize + FreeSpaceMargin;
    if (static_cast<double>(needed) > state.FreeSpaceBytes) {
        const QStringList lines{
            QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
            QStringLiteral("There is Not enough Free Space on drive  ") +
                volumeRootOf(state.SplitDestFolder) + QStringLiteral("  to complete operation")};
        if (hooks.refused)
            hooks.refused(lines);
        return;
    }
    // Parts larger than the destination's file system can hold (FAT: 4 GiB - 1).
    if (refuseOversizedParts(state, sourcePath, partSize, hooks))
        return;

    state.SplitPartNames.clear();

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
                if (hooks.partStarted)
                    hooks.partStarted();
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
            if (QFile::exists(path))
                QFile::remove(path);
        if (hooks.cancelled)
            hooks.cancelled();
    }
}

bool refuseOversizedParts(ProgramState& state, const QString& sourcePath, qint64 partSize,
                          const SplitHooks& hooks) {
    const qint64 largestFile = largestFileOn(state.SplitDestFolder);
    if (largestFile < 0) return false;
    // The source as it is now: it may have grown since it was loaded.
    const QFileInfo source(sourcePath);
    const qint64 sourceSize = source.isFile() ? source.size() : state.SourceFileSize;
    const QStringList lines = oversizedPartRefusal(sourceSize, partSize, largestFile,
                                                   volumeRootOf(state.SplitDestFolder));
    if (lines.isEmpty()) return false;
    state.SplitCancelFlag = 1;
    if (hooks.refused) hooks.refused(lines);
    return true;
}
