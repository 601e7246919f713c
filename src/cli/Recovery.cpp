// SPDX-License-Identifier: GPL-3.0-or-later
// --repair, and the recovery data as --verify and --join use it: the set's
// PAR 2.0 files (ours or any other tool's over the same parts) checked
// against the parts, the damage rebuilt in place.
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/OperationError.h"
#include "recovery/RecoveryRepair.h"
#include "recovery/RecoverySet.h"

#include <QFileInfo>
#include <algorithm>

using namespace tfs;

namespace cli {

namespace {

QString statusWord(PartStatus status) {
    switch (status) {
    case PartStatus::Ok:
        return QStringLiteral("OK");
    case PartStatus::Repaired:
        return QStringLiteral("REPAIRED");
    case PartStatus::Missing:
        return QStringLiteral("MISSING");
    case PartStatus::Damaged:
        break;
    }
    return QStringLiteral("BAD");
}

// The parts in name order (movie.avi.001, .002, ...), whatever order the
// recovery set keeps them in.
std::vector<const PartCheck*> byName(const SetCheck& check) {
    std::vector<const PartCheck*> parts;
    for (const PartCheck& p : check.parts)
        parts.push_back(&p);
    std::sort(parts.begin(), parts.end(),
              [](const PartCheck* a, const PartCheck* b) { return a->name < b->name; });
    return parts;
}

// One line per part on standard output.
void printParts(const SetCheck& check) {
    for (const PartCheck* p : byName(check))
        print(p->name + QLatin1Char(' ') + statusWord(p->status));
}

QString moreNeededLine(const SetCheck& check) {
    return QStringLiteral("The recovery data cannot repair the set: %1")
        .arg(check.moreNeededText());
}

} // namespace

bool hasRecoveryData(const QString& path) { return !recoveryFilesFor(path).isEmpty(); }

namespace {

// Reads and checks the set that `path` belongs to; false when interrupted.
// `forRepair`: a repair follows, which the check prepares for as it reads.
bool checkRecoverySet(const QString& path, RecoverySet& set, SetCheck& check, bool quiet,
                      bool forRepair) {
    const QFileInfo named(path);
    if (named.isDir())
        throw OperationError(
            QStringLiteral("Cannot repair %1: it is a folder, not a file").arg(path));
    const QStringList files = recoveryFilesFor(named.absoluteFilePath());
    if (files.isEmpty())
        throw OperationError(
            QStringLiteral("There is no recovery data (.par2) beside %1").arg(path));
    quint8 flag = 0;
    const CancelRequest cancel(flag);
    EngineHooks hooks;
    hooks.yield = [&] {
        if (interrupted()) flag = 1;
    };
    if (!readRecoverySet(files, set, hooks, cancel)) return false;
    if (!quiet)
        for (const QString& note : std::as_const(set.notes))
            error(note);
    qint64 total = 0;
    for (const par2::FileEntry& f : set.files)
        total += qint64(f.length);
    Progress progress(total);
    hooks.progress = [&](int percent) { progress.show(percent); };
    return checkSet(set, check, hooks, cancel, forRepair ? RecoveryMemory : 0);
}

// Repairs a checked set in place; false when interrupted. Throws OperationError.
bool repairCheckedSet(const RecoverySet& set, SetCheck& check) {
    quint8 flag = 0;
    const CancelRequest cancel(flag);
    EngineHooks hooks;
    Progress progress(qint64(set.sliceSize) * set.sliceCount());
    hooks.progress = [&](int percent) { progress.show(percent); };
    hooks.yield = [&] {
        if (interrupted()) flag = 1;
    };
    return repairSet(set, check, hooks, cancel);
}

} // namespace

int recoveryPercentOf(const QString& text) {
    QString digits = text.trimmed();
    if (digits.endsWith(QLatin1Char('%'))) digits.chop(1);
    bool ok = false;
    const int percent = digits.toInt(&ok);
    return ok && percent >= 1 && percent <= 100 && !digits.startsWith(QLatin1Char('+')) ? percent
                                                                                        : -1;
}

int repair(const QString& argument) {
    RecoverySet set;
    SetCheck check;
    if (!checkRecoverySet(argument, set, check, false, true)) return interruptedStatus();
    if (!check.whole() && check.repairable()) {
        try {
            if (!repairCheckedSet(set, check)) return interruptedStatus();
        } catch (const OperationError& e) {
            printParts(check);
            error(e.text());
            return Different;
        }
    }
    printParts(check);
    if (check.whole()) return Success;
    error(moreNeededLine(check));
    return Different;
}

int verifyWithRecovery(const QString& argument) {
    RecoverySet set;
    SetCheck check;
    if (!checkRecoverySet(argument, set, check, false, false)) return interruptedStatus();
    printParts(check);
    if (check.whole()) return Success;
    if (check.repairable())
        error(QStringLiteral("The damage can be repaired from the recovery data (--repair)"));
    else
        error(moreNeededLine(check));
    return Different;
}

bool repairBeforeJoin(const QString& chosen) {
    if (!hasRecoveryData(chosen)) return true;
    RecoverySet set;
    SetCheck check;
    try {
        if (!checkRecoverySet(chosen, set, check, true, true)) return false;
        if (check.whole()) return true;
        if (!check.repairable()) {
            error(moreNeededLine(check));
            return true;
        }
        if (!repairCheckedSet(set, check)) return false;
    } catch (const OperationError& e) {
        error(e.text()); // the join goes on as without recovery data
        return true;
    }
    for (const PartCheck* p : byName(check))
        if (p->status == PartStatus::Repaired) error(QStringLiteral("Repaired %1").arg(p->name));
    return true;
}

} // namespace cli
