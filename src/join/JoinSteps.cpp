// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/JoinSteps.h"

#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "parts/PartSet.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>

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

bool hasFirstPart(const PartSet& set) { return QFileInfo(set.partPath(1)).isFile(); }

void requireFirstPart(const PartSet& set) {
    if (!hasFirstPart(set))
        throw OperationError(
            QStringLiteral("Cannot join %1: the first part of its set, %2, is missing")
                .arg(set.chosen, set.partPath(1)));
}

QString joinOutputPathFor(const QString& destFolder, const PartSet& set) {
    QString name = set.name;
    const auto taken = [&](const QString& n) {
        const QFileInfo entry(destFolder + n);
        return entry.exists() || entry.isSymLink();
    };
    while (taken(name))
        name = QString::fromLatin1(JoinClonePrefix) + name;
    return destFolder + name;
}

namespace {

// Missing parts as they are found: the first few by name, all of them counted.
class MissingParts {
public:
    void add(const QString& name) {
        if (named_.size() < MaxNamedMissingParts) named_ << name + QLatin1Char(' ');
        seen_.insert(name);
        ++count_;
    }
    // A gap of `count` parts, from `first` on, in the set's numbering.
    void addGap(const PartSet& set, qint64 first, qint64 count) {
        for (qint64 n = first; n < first + count && named_.size() < MaxNamedMissingParts; ++n)
            named_ << set.partName(n) + QLatin1Char(' ');
        count_ += count;
    }
    bool hasName(const QString& name) const { return seen_.contains(name); }
    QStringList lines() const {
        QStringList lines = named_;
        countTheRest(lines, count_ - named_.size());
        return lines;
    }

private:
    QStringList named_;
    QSet<QString> seen_; // the names added one by one
    qint64 count_ = 0;
};

} // namespace

void collectMissingParts(JoinState& state, const PartSet& set, const JoinChecks& checks) {
    state.JoinListName = set.listName();
    MissingParts missing;
    // Without a list, the .sfv's parts below the highest part on disk are
    // in the gaps counted already.
    qint64 gapsBelow = 0;
    if (partListExists(set.listPath())) {
        scanForMissingParts(state, set);
        for (const QString& entry : std::as_const(state.JoinMissingParts))
            missing.add(entry.chopped(1)); // its blank
    } else if (!set.present.isEmpty() && set.present.first() == 1) {
        qint64 expected = 1;
        for (const qint64 ordinal : set.present) {
            missing.addGap(set, expected, ordinal - expected);
            expected = ordinal + 1;
        }
        gapsBelow = expected - 1;
    }
    const QString& folder = set.folder;
    for (auto it = checks.parts.cbegin(); it != checks.parts.cend(); ++it) {
        const QString& name = it->name;
        if (it.key() < gapsBelow || missing.hasName(name) || QFileInfo(folder + name).isFile())
            continue;
        missing.add(name);
    }
    // Those the recovery data found missing and could not rebuild.
    for (auto it = checks.unrepaired.cbegin(); it != checks.unrepaired.cend(); ++it)
        if (it.key() >= gapsBelow && !missing.hasName(*it) && !QFileInfo(folder + *it).isFile())
            missing.add(*it);
    state.JoinMissingParts = missing.lines();
}

qint64 sizeToJoin(const PartSet& set, qint64 consecutiveSize) {
    if (!partListExists(set.listPath())) return consecutiveSize;
    JoinState listed;
    scanForMissingParts(listed, set);
    const qint64 last = listedEndOf(listed, set).last;
    if (last == 0) return consecutiveSize;
    qint64 size = 0;
    for (qint64 n = 1; n <= last; ++n) {
        const QFileInfo part(set.partPath(n));
        if (!part.isFile()) break;
        size += part.size();
    }
    return std::min(size, consecutiveSize);
}

ListedEnd listedEndOf(const JoinState& state, const PartSet& set) {
    ListedEnd end;
    const QStringList& entries = state.JoinListEntries;
    if (!partListExists(set.listPath()) || entries.isEmpty()) return end;
    const QString& setName = set.name;
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
        end.beyond << set.partName(i);
    countTheRest(end.beyond, count - end.last - end.beyond.size());
    return end;
}

} // namespace tfs
