// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/SetRecovery.h"

#include "core/OperationError.h"
#include "core/OperationState.h"
#include "join/JoinChecks.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "verify/Crc32.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace tfs {

namespace {

constexpr int MostNamesInLine = 5;

bool isWhole(PartStatus status) {
    return status == PartStatus::Ok || status == PartStatus::Repaired;
}

} // namespace

QString namesInLine(const QStringList& names) {
    QString line = names.mid(0, MostNamesInLine).join(QStringLiteral(", "));
    if (names.size() > MostNamesInLine)
        line += QStringLiteral(" and %1 more").arg(names.size() - MostNamesInLine);
    return line;
}

SetRecovery::SetRecovery(const QString& chosen) {
    const QString path = QFileInfo(chosen).absoluteFilePath();
    base_ = recoveryBaseOf(path);
    files_ = recoveryFilesFor(path);
    // movie.avi.txt: a path whose base is the set's, whatever was chosen.
    parts_ = readPartSet(base_ + QStringLiteral(".txt"));
}

bool SetRecovery::read(const EngineHooks& hooks, const CancelRequest& cancel) {
    if (!readRecoverySet(files_, data_, hooks, cancel)) return false;
    chooseNumbering();
    ordinals_.clear();
    data_.leftAlone.clear();
    for (const par2::FileEntry& file : data_.files) {
        ordinals_.push_back(ordinalOf(file.name));
        data_.leftAlone.push_back(ordinals_.back() == 0);
    }
    if (std::all_of(ordinals_.begin(), ordinals_.end(), [](qint64 o) { return o == 0; }))
        throw OperationError(
            QStringLiteral("%1 is not the recovery data of %2: it describes none of its parts")
                .arg(fileNameOf(files_.first()), parts_.name));
    return true;
}

// Past part 100 a set is named in one numbering (movie.avi.0101 or
// movie.avi.101): the one the folder shows, or where it holds no part past
// 100, the one the recovery data names.
void SetRecovery::chooseNumbering() {
    if (!parts_.present.isEmpty() && parts_.present.last() > 100) return;
    for (const par2::FileEntry& file : data_.files) {
        const QString name = QString::fromUtf8(file.name);
        const qint64 ordinal = ordinalOfPart(name);
        if (ordinal > 100 && basePathOf(name) == parts_.name &&
            name == fileNameOf(joinPartPath(parts_.name, ordinal, PartNumbering::Ours))) {
            parts_.numbering = PartNumbering::Ours;
            return;
        }
    }
}

qint64 SetRecovery::ordinalOf(const QByteArray& name) const {
    const QString text = QString::fromUtf8(name);
    if (basePathOf(text) != parts_.name) return 0;
    const qint64 ordinal = ordinalOfPart(text);
    return ordinal > 0 && text == parts_.partName(ordinal) ? ordinal : 0;
}

bool SetRecovery::check(const EngineHooks& hooks, const CancelRequest& cancel, bool forRepair) {
    return checkSet(data_, check_, hooks, cancel, forRepair ? RecoveryMemory : 0);
}

bool SetRecovery::repair(const EngineHooks& hooks, const CancelRequest& cancel) {
    return check_.whole() || repairSet(data_, check_, hooks, cancel);
}

qint64 SetRecovery::bytesToCheck() const {
    qint64 total = 0;
    for (const par2::FileEntry& f : data_.files)
        total += qint64(f.length);
    return total;
}

qint64 SetRecovery::bytesToRepair() const { return qint64(data_.sliceSize) * data_.sliceCount(); }

QString SetRecovery::leftAloneNote() const {
    QStringList alone;
    for (size_t i = 0; i < ordinals_.size(); ++i)
        if (ordinals_[i] == 0) alone << QString::fromUtf8(data_.files[i].name);
    if (alone.isEmpty()) return {};
    return QStringLiteral("Left alone, no part of %1 though its recovery data describes it: %2")
        .arg(parts_.name, namesInLine(alone));
}

QStringList SetRecovery::notes() const {
    QStringList notes = data_.notes;
    if (const QString alone = leftAloneNote(); !alone.isEmpty()) notes << alone;
    return notes;
}

QMap<qint64, QString> SetRecovery::unrepaired() const {
    QMap<qint64, QString> parts;
    for (size_t i = 0; i < ordinals_.size() && i < check_.parts.size(); ++i)
        if (ordinals_[i] > 0 && !isWhole(check_.parts[i].status))
            parts.insert(ordinals_[i], check_.parts[i].name);
    return parts;
}

QStringList SetRecovery::repaired() const {
    QMap<qint64, QString> parts;
    for (size_t i = 0; i < ordinals_.size() && i < check_.parts.size(); ++i)
        if (ordinals_[i] > 0 && check_.parts[i].status == PartStatus::Repaired)
            parts.insert(ordinals_[i], check_.parts[i].name);
    return parts.values();
}

bool SetRecovery::verdicts(std::vector<PartVerdict>& out, QStringList& unchecked,
                           const EngineHooks& hooks, const CancelRequest& cancel) const {
    QMap<qint64, PartVerdict> found;
    for (size_t i = 0; i < ordinals_.size() && i < check_.parts.size(); ++i)
        if (ordinals_[i] > 0)
            found.insert(ordinals_[i], {check_.parts[i].name, check_.parts[i].status});
    // The parts the set is held against besides: its list's (without one,
    // every ordinal up to the highest part there), and its .sfv's.
    QSet<qint64> listed;
    QStringList lines;
    QString unreadable;
    if (partListExists(parts_.listPath()) && readPartList(parts_.listPath(), lines, unreadable)) {
        for (const QString& line : std::as_const(lines))
            if (const qint64 ordinal = ordinalOf(line.toUtf8()); ordinal > 0) listed << ordinal;
    } else if (!partListExists(parts_.listPath()) && !parts_.present.isEmpty()) {
        for (qint64 ordinal = 1; ordinal <= parts_.present.last(); ++ordinal)
            listed << ordinal;
    }
    const QMap<qint64, SfvEntry> sfv = readJoinChecks(parts_).parts;
    // Parts past the end of the list are another set's (the join leaves them out).
    QList<qint64> others = listed.values() + sfv.keys();
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());

    VerifyState state;
    EngineHooks crcHooks;
    crcHooks.yield = [&] {
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) state.ChecksumCancelFlag = 1;
    };
    unchecked.clear();
    for (const qint64 ordinal : std::as_const(others)) {
        if (found.contains(ordinal)) continue;
        const auto entry = sfv.constFind(ordinal);
        const QString name = entry != sfv.cend() ? entry->name : parts_.partName(ordinal);
        const QString path = parts_.folder + name;
        const bool there = QFileInfo(path).isFile();
        if (!there && (entry != sfv.cend() || listed.contains(ordinal))) {
            found.insert(ordinal, {name, PartStatus::Missing});
        } else if (there && entry != sfv.cend()) {
            const quint32 crc = FileCrc32(state, path, crcHooks);
            if (state.ChecksumCancelFlag != 0) return false;
            found.insert(ordinal, {name, crc == entry->crc ? PartStatus::Ok : PartStatus::Damaged});
        } else if (there) {
            unchecked << name;
        }
    }
    out.assign(found.cbegin(), found.cend());
    return true;
}

} // namespace tfs
