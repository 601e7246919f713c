// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "split/SplitEngine.h"

#include <QString>

struct SplitState;

namespace tfs {

// The split of a stream (standard input, a pipe) whose size is known only at
// its end: parts of partSize bytes cut from what `inputFd` gives until it
// ends, named as parts of a file `sourceName` in state.SplitDestFolder, with
// each part's CRC-32 in state.SplitPartCrcs and the bytes read in
// state.SourceFileSize. A part is made only for bytes that have come, so the
// last one holds the rest and no part is empty. Part 1 is written under its
// hidden name and held as splitIntoParts holds it (a second split of this
// name into the folder is refused meanwhile), and takes its name at the end,
// before hooks.completed runs with the set still held. An input that fills
// one part at most makes none (a set of one part is refused): its hidden part
// goes, SplitPartPaths stays empty and SourceFileSize tells the input's size.
//
// Like splitIntoParts: no file named like the part list that isn't one of this
// name is replaced (RefusedForList), no part larger than the destination's
// file system can hold is begun (RefusedForFileSize), both before anything is
// written; the earlier list and check files of this name go right before
// the first part takes its name (once a second begins), and the parts of the
// earlier set beyond the new last one after a completed split. There is no
// free-space check: the size isn't known. Every part is listed in SplitPartNames and SplitPartPaths
// before it is created; a cancel (state.SplitCancelFlag, set in hooks.yield, which runs after every
// block and while the input is idle) removes them all. A read or write failure throws
// OperationError, the parts left for the caller to remove. An input that is a file in the
// destination under one of this name's part names is refused with an OperationError: writing that
// part would destroy it.
SplitOutcome splitStream(SplitState& state, int inputFd, const QString& sourceName, qint64 partSize,
                         const SplitHooks& hooks);

} // namespace tfs
