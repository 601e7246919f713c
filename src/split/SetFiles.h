// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"

#include <QString>
#include <QStringList>

struct SplitState;

namespace tfs {

// The step of writing a completed split's set files that failed.
enum class SetFileStep { None, List, CheckFiles, RecoveryData };

// What writing a completed split's set files came to.
struct SetFilesWritten {
    QString list;                           // the part list's path once written, else empty
    SetFileStep failed = SetFileStep::None; // the step that failed; none after it was taken
    QString error;                          // why it failed (the file error's text)
    // What the user is told while the set stands as written: a check file not
    // written because a file of its name is not ours, the recovery data refused.
    QStringList notes;
    bool cancelled = false; // the cancel was asked before the set files were all written
};

// Writes the files of a completed split beside its parts, in this order: the
// part list, the check files (.sfv and .crc) and, with `recoveryPercent` above
// 0, the recovery data for that share of the parts. It is the split's
// completed hook (SplitHooks::completed) of the window and the command line
// alike, so that the set is still held while they are written: a second split
// of a file of the same name into that folder is refused meanwhile.
// `hooks` follow the recovery data (its progress, 0..100, and the event-loop
// turns); one turn is also taken once the list and the check files are
// written. `cancel` asked at a turn stops the recovery data (nothing of it is
// left) and sets `cancelled`; removing the rest of the set is the caller's.
// A file error ends the steps there (failed, error); the files written before
// it stay.
SetFilesWritten writeSetFiles(const SplitState& state, const QString& sourceName,
                              int recoveryPercent, const EngineHooks& hooks,
                              const CancelToken& cancel);

// Removes the files that writeSetFiles wrote beside the parts of the set
// whose part list is at `listPath`: the check files and the recovery files
// where they are ours, then the list. The parts are the caller's.
void removeSetFiles(const QString& listPath);

} // namespace tfs
