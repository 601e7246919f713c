// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jobs/JobHooks.h"
#include "recovery/RecoveryRepair.h"

#include <QString>
#include <QStringList>

namespace tfs {

// The recovery data (.par2, ours or any other tool's over the same parts) of
// the set that a part, its part list or a .par2 belongs to: the set checked
// against it (--verify where the set has no .sfv), repaired in place
// (--repair), and repaired before a join (the window's Join and --join).

// What a recovery job tells beyond the progress and the event-loop turn.
struct RecoveryHooks : JobHooks {
    // The recovery set has been read: what of its files was skipped, and why.
    std::function<void(const QStringList& notes)> setRead;
};

struct RecoveryRequest {
    QString path;        // a part, the part list or a .par2 of the set
    bool repair = false; // rebuild what is missing or damaged, where the data covers it
};

struct RecoveryResult {
    SetCheck check;         // each part's state, after the repair when there was one
    QString repairError;    // the repair failed: why (what it rebuilt before stays rebuilt)
    bool cancelled = false; // stopped by the cancel: nothing was changed by the stage under way
};

// Checks the set against its recovery data and, with request.repair, rebuilds
// its missing and damaged parts when the data covers them. Throws
// OperationError when the path is a folder, when there is no recovery data
// beside it, or when the data holds no usable set.
RecoveryResult runRecovery(const RecoveryRequest& request, const RecoveryHooks& hooks,
                           const CancelToken& cancel);

// Before a join: what the recovery data beside the set did to it.
struct RepairBeforeJoin {
    QStringList repaired;   // the parts rebuilt, in name order
    bool beyondRepair = false; // the damage is more than the data covers (check says how much)
    SetCheck check;            // what the check found
    QString unusable;          // the data could not be used: why (the join goes on without it)
    bool cancelled = false; // stopped by the cancel: the join ends
};

// Repairs what the recovery data beside the set of `chosen` (a part) covers,
// so that the parts are whole when they are checked and joined; nothing when
// there is none. Never throws for the recovery data: the join goes on as
// without it.
RepairBeforeJoin repairBeforeJoin(const QString& chosen, const RecoveryHooks& hooks,
                                  const CancelToken& cancel);

// The parts of a checked set in name order (movie.avi.001, .002, ...),
// whatever order the recovery set keeps them in.
std::vector<const PartCheck*> partsByName(const SetCheck& check);

} // namespace tfs
