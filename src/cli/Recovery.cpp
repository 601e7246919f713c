// SPDX-License-Identifier: GPL-3.0-or-later
// --repair, and the recovery data as --verify and --join use it: the set's
// PAR 2.0 files (ours or any other tool's over the same parts) checked
// against the parts, the damage rebuilt in place.
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/OperationError.h"
#include "join/SetRecovery.h"

#include <QFileInfo>
#include <functional>
#include <optional>

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

QString cannotRepairLine(const QString& why) {
    return QStringLiteral("The recovery data cannot repair the set: %1").arg(why);
}

QString moreNeededLine(const SetCheck& check) { return cannotRepairLine(check.whyNotRepairable()); }

// Runs `step` with a progress line of `total` bytes (none for 0) and Ctrl+C
// as its cancel; false when interrupted.
bool withProgress(qint64 total,
                  const std::function<bool(const EngineHooks&, const CancelToken&)>& step) {
    const CancelToken cancel(interrupted);
    EngineHooks hooks;
    std::optional<Progress> progress;
    if (total > 0) progress.emplace(total);
    hooks.progress = [&](int percent) {
        if (progress) progress->show(percent);
    };
    return step(hooks, cancel);
}

enum class Checked { Done, Interrupted, Refused };

// Reads and checks the set that `argument` belongs to, its notes on standard
// error unless `quiet`. `forRepair`: a repair follows, which the check
// prepares for as it reads; Refused, without reading the parts, when the
// recovery data shows that it can't rebuild them (said on standard error
// all the same when no repair follows).
Checked checkRecoverySet(const QString& argument, SetRecovery& recovery, bool quiet,
                         bool forRepair) {
    if (QFileInfo(argument).isDir())
        throw OperationError(
            QStringLiteral("Cannot repair %1: it is a folder, not a file").arg(argument));
    if (!recovery.hasFiles())
        throw OperationError(
            QStringLiteral("There is no recovery data (.par2) beside %1").arg(argument));
    if (!withProgress(0, [&](const EngineHooks& hooks, const CancelToken& cancel) {
            return recovery.read(hooks, cancel);
        }))
        return Checked::Interrupted;
    if (!quiet)
        for (const QString& note : recovery.notes())
            error(note);
    if (const QString refused = repairRefusedBeforeCheck(recovery.data()); !refused.isEmpty()) {
        error(cannotRepairLine(refused));
        if (forRepair) return Checked::Refused;
    }
    return withProgress(recovery.bytesToCheck(),
                        [&](const EngineHooks& hooks, const CancelToken& cancel) {
                            return recovery.check(hooks, cancel, forRepair);
                        })
               ? Checked::Done
               : Checked::Interrupted;
}

// One line per part of the set on standard output, held against its list
// and .sfv as well; the parts nothing describes told on standard error.
// -1 when interrupted; 1 when every part is OK or repaired, else 0.
int printVerdicts(const SetRecovery& recovery) {
    std::vector<PartVerdict> verdicts;
    QStringList unchecked;
    if (!withProgress(0, [&](const EngineHooks& hooks, const CancelToken& cancel) {
            return recovery.verdicts(verdicts, unchecked, hooks, cancel);
        }))
        return -1;
    bool whole = true;
    for (const PartVerdict& part : verdicts) {
        print(part.name + QLatin1Char(' ') + statusWord(part.status));
        whole = whole && (part.status == PartStatus::Ok || part.status == PartStatus::Repaired);
    }
    if (!unchecked.isEmpty())
        error(QStringLiteral("Not checked, described neither by the recovery data nor by the "
                             ".sfv: %1")
                  .arg(namesInLine(unchecked)));
    return whole ? 1 : 0;
}

// Where the recovery data found the parts it describes whole, and others
// are missing or damaged all the same.
const QString NotDescribedLine =
    QStringLiteral("The recovery data does not describe the parts that are not whole: they "
                   "cannot be rebuilt from it");

} // namespace

bool hasRecoveryData(const QString& path) { return SetRecovery(path).hasFiles(); }

int recoveryPercentOf(const QString& text) {
    QString digits = text.trimmed();
    if (digits.endsWith(QLatin1Char('%'))) digits.chop(1);
    bool ok = false;
    const int percent = digits.toInt(&ok);
    return ok && percent >= 1 && percent <= 100 && !digits.startsWith(QLatin1Char('+')) ? percent
                                                                                        : -1;
}

int repair(const QString& argument) {
    SetRecovery recovery(argument);
    const Checked checked = checkRecoverySet(argument, recovery, false, true);
    if (checked == Checked::Interrupted) return interruptedStatus();
    if (checked == Checked::Refused) return Different;
    const SetCheck& check = recovery.result();
    QString failure;
    if (!check.whole() && check.repairable()) {
        try {
            if (!withProgress(recovery.bytesToRepair(),
                              [&](const EngineHooks& hooks, const CancelToken& cancel) {
                                  return recovery.repair(hooks, cancel);
                              }))
                return interruptedStatus();
        } catch (const OperationError& e) {
            failure = e.text();
        }
    }
    const int whole = printVerdicts(recovery);
    if (whole < 0) return interruptedStatus();
    if (!failure.isEmpty()) {
        error(failure);
        return Different;
    }
    if (whole == 1) return Success;
    error(check.whole() ? NotDescribedLine : moreNeededLine(check));
    return Different;
}

int verifyWithRecovery(const QString& argument) {
    SetRecovery recovery(argument);
    if (checkRecoverySet(argument, recovery, false, false) == Checked::Interrupted)
        return interruptedStatus();
    const int whole = printVerdicts(recovery);
    if (whole < 0) return interruptedStatus();
    if (whole == 1) return Success;
    const SetCheck& check = recovery.result();
    if (check.whole())
        error(NotDescribedLine);
    else if (check.repairable())
        error(QStringLiteral("The damage can be repaired from the recovery data (--repair)"));
    else
        error(moreNeededLine(check));
    return Different;
}

bool repairBeforeJoin(const QString& chosen, QMap<qint64, QString>& unrepaired) {
    SetRecovery recovery(chosen);
    if (!recovery.hasFiles()) return true;
    try {
        const Checked checked = checkRecoverySet(chosen, recovery, true, true);
        if (checked == Checked::Interrupted) return false;
        if (checked == Checked::Refused) return true; // the join goes on as without recovery data
        if (const QString alone = recovery.leftAloneNote(); !alone.isEmpty()) error(alone);
        const SetCheck& check = recovery.result();
        if (!check.whole() && !check.repairable())
            error(moreNeededLine(check));
        else if (!withProgress(recovery.bytesToRepair(),
                               [&](const EngineHooks& hooks, const CancelToken& cancel) {
                                   return recovery.repair(hooks, cancel);
                               }))
            return false;
    } catch (const OperationError& e) {
        error(e.text()); // the join goes on as without recovery data, or with its verdict
    }
    for (const QString& name : recovery.repaired())
        error(QStringLiteral("Repaired %1").arg(name));
    unrepaired = recovery.unrepaired();
    return true;
}

} // namespace cli
