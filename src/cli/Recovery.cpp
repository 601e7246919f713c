// SPDX-License-Identifier: GPL-3.0-or-later
// --repair, and --verify by the recovery data: the recovery job's requests
// and results; the percentage of --recovery.
#include "cli/Commands.h"
#include "cli/Console.h"
#include "jobs/RecoveryJobs.h"

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

// One line per part on standard output.
void printParts(const SetCheck& check) {
    for (const PartCheck* p : partsByName(check))
        print(p->name + QLatin1Char(' ') + statusWord(p->status));
}

QString moreNeededLine(const SetCheck& check) {
    return QStringLiteral("The recovery data cannot repair the set: %1")
        .arg(check.moreNeededText());
}

// The recovery job with its progress, and what was skipped of the data told.
RecoveryResult runRecoveryJob(const QString& argument, bool repair) {
    JobProgress progress;
    RecoveryHooks hooks;
    progress.follow(hooks);
    hooks.setRead = [](const QStringList& notes) {
        for (const QString& note : notes)
            error(note);
    };
    const CancelToken cancel(interrupted);
    return runRecovery({argument, repair}, hooks, cancel);
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
    const RecoveryResult result = runRecoveryJob(argument, true);
    if (result.cancelled) return interruptedStatus();
    printParts(result.check);
    if (!result.repairError.isEmpty()) {
        error(result.repairError);
        return Different;
    }
    if (result.check.whole()) return Success;
    error(moreNeededLine(result.check));
    return Different;
}

int verifyWithRecovery(const QString& argument) {
    const RecoveryResult result = runRecoveryJob(argument, false);
    if (result.cancelled) return interruptedStatus();
    printParts(result.check);
    if (result.check.whole()) return Success;
    if (result.check.repairable())
        error(QStringLiteral("The damage can be repaired from the recovery data (--repair)"));
    else
        error(moreNeededLine(result.check));
    return Different;
}

bool repairBeforeJoin(const QString& chosen) {
    JobProgress progress;
    RecoveryHooks hooks;
    progress.follow(hooks);
    const CancelToken cancel(interrupted);
    const RepairBeforeJoin done = tfs::repairBeforeJoin(chosen, hooks, cancel);
    if (done.cancelled) return false;
    if (!done.unusable.isEmpty()) error(done.unusable); // the join goes on without it
    if (done.beyondRepair) error(moreNeededLine(done.check));
    for (const QString& name : done.repaired)
        error(QStringLiteral("Repaired %1").arg(name));
    return true;
}

} // namespace cli
