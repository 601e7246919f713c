#include "join/JoinSteps.h"

#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "split/Naming.h"
#include "split/PartList.h"

#include <QFileInfo>

namespace {

// A last line for the names not shown.
void countTheRest(QStringList& names, qint64 rest) {
    if (rest > 0) names << QStringLiteral("   ... and %1 more").arg(rest);
}

constexpr int MaxNamedBeyond = 5;

} // namespace

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

QStringList gapsBelowHighestPart(const QString& chosenPart) {
    const PartSet set = partSetOf(chosenPart);
    if (!QFileInfo(set.partPath(1)).isFile()) return {};
    QStringList missing;
    qint64 expected = 1;
    qint64 unnamed = 0;
    for (const qint64 ordinal : presentOrdinals(set)) {
        for (; expected < ordinal && missing.size() < MaxNamedMissingParts; ++expected)
            missing << fileNameOf(set.partPath(expected)) + QLatin1Char(' ');
        unnamed += ordinal - expected;
        expected = ordinal + 1;
    }
    countTheRest(missing, unnamed);
    return missing;
}

void collectMissingParts(JoinState& state, const QString& chosenPart, const JoinChecks& checks) {
    state.JoinListName = joinListNameOf(chosenPart);
    if (partListExists(joinListPathOf(chosenPart)))
        scanForMissingParts(state, chosenPart);
    else
        state.JoinMissingParts = gapsBelowHighestPart(chosenPart);
    for (const QString& name : partsNamedButMissing(checks, chosenPart))
        if (!state.JoinMissingParts.contains(name + QLatin1Char(' ')))
            state.JoinMissingParts.append(name + QLatin1Char(' '));
}

ListedEnd listedEndOf(const JoinState& state, const QString& chosenPart) {
    ListedEnd end;
    const QStringList& entries = state.JoinListEntries;
    if (!partListExists(joinListPathOf(chosenPart)) || entries.isEmpty()) return end;
    const PartSet set = partSetOf(chosenPart);
    const QString setName = fileNameOf(set.basePath);
    for (qint64 i = 0; i < entries.size(); ++i) {
        const QString& entry = entries[i];
        if (entry != fileNameOf(entry) || basePathOf(entry) != setName ||
            ordinalOfPart(entry) != i + 1)
            return end;
    }
    end.last = entries.size();
    qint64 count = 0;
    while (QFileInfo(set.partPath(count + 1)).isFile())
        ++count;
    for (qint64 i = end.last + 1; i <= count && end.beyond.size() < MaxNamedBeyond; ++i)
        end.beyond << fileNameOf(set.partPath(i));
    countTheRest(end.beyond, count - end.last - end.beyond.size());
    return end;
}

} // namespace tfs
