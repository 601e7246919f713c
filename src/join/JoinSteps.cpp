#include "join/JoinSteps.h"

#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "join/JoinEngine.h"
#include "split/Naming.h"

#include <QFileInfo>

namespace tfs {

QStringList joinRefusal(FreeSpaceState& state, qint64 totalSize, const QString& destFolder) {
    state.FreeSpaceDrive = destFolder;
    GetFreeDiskSpace(state);
    if (static_cast<double>(totalSize) > state.FreeSpaceBytes) {
        const QString drive = state.FreeSpaceBytes < 0 ? destFolder : volumeRootOf(destFolder);
        return {QStringLiteral("  "), QStringLiteral("  "), QStringLiteral("  "),
                QStringLiteral("Not Enough Disk Space on Drive ") + drive};
    }
    return oversizedJoinRefusal(totalSize, largestFileOn(destFolder), volumeRootOf(destFolder));
}

QString joinListPathOf(const QString& chosenPart) {
    return folderOf(chosenPart) + joinListNameOf(chosenPart);
}

QString firstPartPathOf(const QString& chosenPart) {
    return joinPartPath(basePathOf(chosenPart), 1);
}

bool hasFirstPart(const QString& chosenPart) {
    return QFileInfo(firstPartPathOf(chosenPart)).isFile();
}

void requireFirstPart(const QString& chosenPart) {
    if (!hasFirstPart(chosenPart))
        throw OperationError(
            QStringLiteral("Cannot join %1: the first part of its set, %2, is missing")
                .arg(chosenPart, firstPartPathOf(chosenPart)));
}

QString joinOutputPathFor(const QString& destFolder, const QString& chosenPart) {
    QString name = joinOutputNameOf(chosenPart);
    const auto taken = [&](const QString& n) {
        const QFileInfo entry(destFolder + n);
        return entry.exists() || entry.isSymLink();
    };
    while (taken(name))
        name = QString::fromLatin1(JoinClonePrefix) + name;
    return destFolder + name;
}

} // namespace tfs
