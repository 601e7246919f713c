// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/RecoveryJobs.h"

#include "core/OperationError.h"
#include "recovery/RecoverySet.h"

#include <QFileInfo>
#include <algorithm>

namespace tfs {

namespace {

// The recovery files beside `path`: refused when it is a folder or has none.
QStringList recoveryFilesBeside(const QString& path) {
    const QFileInfo named(path);
    if (named.isDir())
        throw OperationError(
            QStringLiteral("Cannot repair %1: it is a folder, not a file").arg(path));
    const QStringList files = recoveryFilesFor(named.absoluteFilePath());
    if (files.isEmpty())
        throw OperationError(
            QStringLiteral("There is no recovery data (.par2) beside %1").arg(path));
    return files;
}

// Checks the set read from `files`; false when cancelled. `forRepair`: a
// repair follows, which the check prepares for as it reads.
bool checkRecoverySet(const QStringList& files, RecoverySet& set, SetCheck& check,
                      bool forRepair, const RecoveryHooks& hooks, const CancelToken& cancel) {
    set = readRecoverySet(files);
    if (hooks.setRead) hooks.setRead(set.notes);
    qint64 total = 0;
    for (const par2::FileEntry& f : set.files)
        total += qint64(f.length);
    if (hooks.started) hooks.started(total);
    return checkSet(set, check, hooks, cancel, forRepair ? RecoveryMemory : 0);
}

// Repairs a checked set in place; false when cancelled. Throws OperationError.
bool repairCheckedSet(const RecoverySet& set, SetCheck& check, const RecoveryHooks& hooks,
                      const CancelToken& cancel) {
    if (hooks.started) hooks.started(qint64(set.sliceSize) * set.sliceCount());
    return repairSet(set, check, hooks, cancel);
}

} // namespace

std::vector<const PartCheck*> partsByName(const SetCheck& check) {
    std::vector<const PartCheck*> parts;
    for (const PartCheck& p : check.parts)
        parts.push_back(&p);
    std::sort(parts.begin(), parts.end(),
              [](const PartCheck* a, const PartCheck* b) { return a->name < b->name; });
    return parts;
}

RecoveryResult runRecovery(const RecoveryRequest& request, const RecoveryHooks& hooks,
                           const CancelToken& cancel) {
    RecoveryResult result;
    RecoverySet set;
    const QStringList files = recoveryFilesBeside(request.path);
    if (!checkRecoverySet(files, set, result.check, request.repair, hooks, cancel)) {
        result.cancelled = true;
        return result;
    }
    if (!request.repair || result.check.whole() || !result.check.repairable()) return result;
    try {
        result.cancelled = !repairCheckedSet(set, result.check, hooks, cancel);
    } catch (const OperationError& e) {
        result.repairError = e.text();
    }
    return result;
}

RepairBeforeJoin repairBeforeJoin(const QString& chosen, const RecoveryHooks& hooks,
                                  const CancelToken& cancel) {
    RepairBeforeJoin done;
    const QStringList files = recoveryFilesFor(QFileInfo(chosen).absoluteFilePath());
    if (files.isEmpty()) return done;
    RecoveryHooks quiet = hooks;
    quiet.setRead = nullptr; // what was skipped is the repair's business, not the join's
    try {
        RecoverySet set;
        SetCheck& check = done.check;
        if (!checkRecoverySet(files, set, check, true, quiet, cancel) ||
            (!check.whole() && check.repairable() && !repairCheckedSet(set, check, quiet, cancel))) {
            done.cancelled = true;
            return done;
        }
        if (!check.whole()) {
            done.beyondRepair = true;
            return done;
        }
        for (const PartCheck* p : partsByName(check))
            if (p->status == PartStatus::Repaired) done.repaired << p->name;
    } catch (const OperationError& e) {
        done.unusable = e.text();
    }
    return done;
}

} // namespace tfs
