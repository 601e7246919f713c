// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/split: the split engine, its second writer and the check files it
// writes beside the parts (window-free, on core/). The parts' names and their
// list come from parts/, which the join reads sets by too.

#include "core/EngineHooks.h"
#include "core/Progress.h"

#include <QStringList>
#include <functional>

struct SplitState;

namespace tfs {

// Bytes demanded on top of the whole source size before a split starts (200 MiB).
inline constexpr qint64 FreeSpaceMargin = 209715200;
// The most that one copy step moves; the window is served after every step.
inline constexpr qint64 SplitBlockSize = 10000000;
// A block is copied in slices of at most this many bytes, with an event-loop
// turn between two slices (a block read from a slow disk takes long).
inline constexpr qint64 SplitSliceSize = 2 << 20;
// Parts of at least this size, of a source in the page cache, are written
// two at a time (see PartWriter).
inline constexpr qint64 ParallelPartSize = 4 << 20;

// How a split ended (a file error is thrown instead, as OperationError).
enum class SplitOutcome {
    Completed,          // every part written
    RefusedForSpace,    // the destination lacks the source size plus the margin
    RefusedForFileSize, // a part would be larger than the destination can hold
    RefusedForList,     // <source name>.txt in the destination is no part list of the source
    Cancelled,          // SplitCancelFlag stopped it; its parts are gone
};

// What the split engine tells the window, beyond the progress after every
// block and the event-loop turn. Every hook may be empty.
struct SplitHooks : EngineHooks {
    std::function<void()> partStarted; // a new part is about to be created
    // A refusal (free space, or parts too large for the destination's file
    // system): the report lines. Nothing was written.
    std::function<void(const QStringList& lines)> refused;
    std::function<void()> cancelled; // the cancelled split's parts are gone
    // Runs once a completed split's parts all have their names, while the
    // split still holds its set (a second split of a file of the same name
    // into the folder is refused until it returns): the list, the check files
    // and the recovery files are written here. An OperationError it throws
    // leaves the split, the parts in place and listed.
    std::function<void()> completed;
    // Whether the split takes each part's CRC-32 as it copies (for the check
    // files) into state.SplitPartCrcs.
    bool partCrcs = true;
};

// Cuts the source into parts of partSize bytes in state.SplitDestFolder, named
// by partPath(). Before it writes anything it refuses, through hooks.refused,
// unless the destination volume has state.SourceFileSize + FreeSpaceMargin
// bytes available, and also when the first part would be larger than the
// destination's file system can hold a file. It reads state.SplitCancelFlag
// before every block and, when it is set, stops and deletes every part listed
// in state.SplitPartPaths.
// A file in the destination named like the split's part list that is not a
// part list of this source (a user's own notes.txt beside notes) is refused
// before anything is written. The part list of an earlier split is
// deleted right before the first part is created (one that can't be deleted
// stops the split there, with an OperationError); after a completed split, the parts
// it named beyond the new set's last part are deleted too.
// Appends every part to SplitPartNames and SplitPartPaths before creating it,
// so that a file error (thrown as OperationError) leaves every part on disk listed.
// A completed split leaves each part's CRC-32 and size in state.SplitPartCrcs
// (with hooks.partCrcs); any other outcome leaves that list empty.
// A part is closed before the split goes past it (two parts may be written
// at once), and a failed close is a write error like any other.
// With partCount above 0 the split makes exactly that many parts: the last
// one takes what is left after partCount - 1 parts of partSize.
SplitOutcome splitIntoParts(SplitState& state, const QString& sourcePath, qint64 partSize,
                            const SplitHooks& hooks, qint64 partCount = 0);

// The report lines of the refusal of a file named like the part list
// (listName) that is no part list of the source.
QStringList foreignListRefusal(const QString& listName);

// A source whose set could not be read back is refused before anything is
// written (splitIntoParts checks it first): a name with a line break (CR or LF),
// which would break the lines of its part list and check files, or one
// beginning with ';', which would make comments of its .sfv lines. Throws
// OperationError naming the file.
void requireListableName(const QString& sourcePath);
// Why a set of a source of this name (a file name, no folder) could not be
// read back, in words that follow "Cannot split X: "; empty when it can.
QString unlistableNameReason(const QString& name);

// Checked right before a split (the source may have changed since it was
// loaded): a regular file of at least one byte that does not lie in destFolder
// under one of its own part names (a link to it, symbolic or hard, which
// writing that part would empty). Throws OperationError otherwise.
void requireSplittableSource(const QString& path, const QString& destFolder);

} // namespace tfs
