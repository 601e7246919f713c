// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/join: the join engine (window-free, on core/ and parts/), the hidden
// file it writes into (HiddenOutput.h), its steps before writing
// (JoinSteps.h), the checks against a set's check files (JoinChecks.h) and
// the join into a stream (JoinStream.h).

#include "core/EngineHooks.h"
#include "parts/PartSet.h"

#include <QList>
#include <QString>
#include <functional>

struct JoinState;

namespace tfs {

// What a join puts before an output name that is taken in the destination.
inline constexpr char JoinClonePrefix[] = "Clone Of ";

// The least and the most that one copy step of the join moves; the window is
// served after every step. Between the two, a step is 1 % of the whole.
inline constexpr qint64 JoinBlockSize = 10000;
inline constexpr qint64 JoinStepMax = 4 << 20;

// What the join engine tells the window, beyond the progress after every step
// (already clamped to 0..100) and the event-loop turn. Every hook may be empty.
struct JoinHooks : EngineHooks {
    std::function<void()> iconRefresh; // showOutputIcon: the output has just been created
    // Whether the join takes each part's CRC-32 as it copies, into
    // state.JoinPartCrcs (for the check files beside the parts).
    bool partCrcs = false;
    // After the last part, before the output takes its name: false removes
    // the joined bytes instead (a failed check the user doesn't keep).
    std::function<bool()> keep;
};

// How far a join goes and what it may replace.
struct JoinOptions {
    // Above 0: the set ends there (its part list does); parts after it are
    // another set's and are not joined.
    qint64 lastOrdinal = 0;
    // The output path was free when it was chosen: a file that appears there
    // during the join is not replaced, the join fails instead.
    bool keepExisting = false;
};

// Total size of the set: the parts from ordinal 1 up to the first ordinal
// whose file doesn't exist (0 when part 1 is absent), as they are now.
// Yields before every existence test. Creates and changes nothing; a part that
// can't be opened throws OperationError.
qint64 joinedSize(const PartSet& set, const JoinHooks& hooks);

// Joins the set (parts 1..N, found and sized as joinedSize does) into
// outputPath.
//
// The bytes go to a hidden file beside the output (HiddenOutput), which is
// renamed to outputPath, replacing any file there (unless
// options.keepExisting), once the last part is in: until then, whatever was
// at outputPath stays as it was, and a process killed mid-way leaves nothing
// under that name. Hidden files of killed joins of the same name (or a
// "Clone Of" name of it) that a join finds beside its output are removed
// first (HiddenOutput::removeAbandoned). iconRefresh runs right after the
// hidden file is created. hooks.keep, if set, must agree before the output
// takes its name; with hooks.partCrcs, a join that ran to its end leaves each
// part's CRC-32 and size in state.JoinPartCrcs before hooks.keep runs.
//
// Sets state.JoinCancelFlag to 0 on entry and reads it before every part and
// after every step; a cancel (the flag at 1, set by a handler run inside
// yield) stops the join, deletes the hidden file and leaves the flag at 1.
// Progress after each step is trunc(100 x written / total) - 1, and 99 at the
// end in every case.
//
// Any failure (a part that can't be opened or read, or that became shorter
// since it was counted, an output that can't be created, written or renamed,
// a full disk) deletes the hidden file and throws OperationError naming the file.
void joinParts(JoinState& state, const PartSet& set, const QString& outputPath,
               const JoinHooks& hooks, const JoinOptions& options = {});

// Progress after a step: trunc(100 x written / total) - 1, clamped to 0..100;
// 99 when the total is 0.
int joinProgress(qint64 written, qint64 total);

} // namespace tfs
