// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/SetFiles.h"

#include "core/OperationError.h"
#include "core/OperationState.h"
#include "parts/PartList.h"
#include "split/SplitCheckFiles.h"

namespace tfs {

SetFilesWritten writeSetFiles(const SplitState& state, const QString& sourceName,
                              int recoveryPercent, const EngineHooks& hooks,
                              const CancelToken& cancel) {
    SetFilesWritten written;
    const QString base = state.SplitDestFolder + sourceName;
    const auto step = [&written](SetFileStep which, const auto& write) {
        try {
            write();
            return true;
        } catch (const OperationError& e) {
            written.failed = which;
            written.error = e.text();
            return false;
        }
    };
    const QString list = partListPath(state.SplitDestFolder, sourceName);
    if (!step(SetFileStep::List, [&] { writePartList(list, state.SplitPartNames); }))
        return written;
    written.list = list;
    if (!step(SetFileStep::CheckFiles, [&] {
            written.notes += writeCheckFiles(base, state.SplitPartNames, state.SplitPartCrcs);
        }))
        return written;
    if (hooks.yield) hooks.yield();
    if (cancel.requested()) {
        written.cancelled = true;
        return written;
    }
    if (recoveryPercent <= 0) return written;
    step(SetFileStep::RecoveryData, [&] {
        QString refusal;
        switch (writeRecoveryFilesOf(base, state.SplitPartNames, state.SplitPartCrcs,
                                     recoveryPercent, hooks, cancel, refusal)) {
        case RecoveryWritten::Refused:
            written.notes.append(refusal);
            break;
        case RecoveryWritten::Cancelled:
            written.cancelled = true;
            break;
        case RecoveryWritten::Written:
            break;
        }
    });
    // A part removed by the cancel's own clean-up while the recovery data was
    // being made fails its reading: that is the cancel, not a file error.
    if (written.failed == SetFileStep::RecoveryData && cancel.requested()) {
        written.failed = SetFileStep::None;
        written.error.clear();
        written.cancelled = true;
    }
    return written;
}

void removeSetFiles(const QString& listPath) {
    deleteCheckFilesOf(listPath);
    deletePartList(listPath);
}

} // namespace tfs
