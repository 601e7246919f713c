// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct FreeSpaceState;
struct JoinState;

namespace tfs {

struct JoinChecks;
struct PartSet;

// The join's decisions before it writes anything, shared by the Join button
// and the command line.

// Measures the free space of destFolder into state.FreeSpaceBytes and returns
// the report lines of a refusal: not enough room for totalSize bytes (equal
// is enough; a volume that can't be queried is full), or a joined file larger
// than the destination's file system can hold (over 4 GiB onto FAT, which
// would fail there after 4 GiB of writing). Empty when the join may go ahead.
QStringList joinRefusal(FreeSpaceState& state, qint64 totalSize, const QString& destFolder);

// The bytes that the join of the set will write, of the consecutiveSize
// bytes of its parts from 001 up to the first missing one: all of them, or
// those up to the end of its part list where the list ends the set
// (listedEndOf), since the parts after it are left out. Throws
// OperationError when the list can't be read.
qint64 sizeToJoin(const PartSet& set, qint64 consecutiveSize);

// Whether the set's first part is there as a file now.
bool hasFirstPart(const PartSet& set);

// Throws OperationError when the set's first part is missing: such a set
// joins into an empty file, which is no completed join.
void requireFirstPart(const PartSet& set);

// The joined file's path in destFolder (ending with a separator): the parts'
// name without the ordinal, with "Clone Of " put before it again and again
// while the name is taken there by anything (a folder or a dangling link
// included): no file already there is ever replaced.
QString joinOutputPathFor(const QString& destFolder, const PartSet& set);

// The most missing parts named one by one; a last line counts the rest.
inline constexpr qint64 MaxNamedMissingParts = 20;

// The parts that the join would go without, in state.JoinMissingParts, each
// named or counted once: those that the set's part list names and that
// aren't there (scanForMissingParts, which also reads the list into
// state.JoinListEntries), or without a list the gaps below the set's highest
// part when it was read (none without its first part: that join is refused,
// see requireFirstPart); then those that the .sfv names, or that the recovery
// data found missing and could not rebuild, and that aren't there, unless
// counted already. The first MaxNamedMissingParts are named, each with
// one blank after it as the list's scan names a missing entry, then
// "   ... and N more" counts the rest. Sets state.JoinListName.
void collectMissingParts(JoinState& state, const PartSet& set, const JoinChecks& checks);

// Where the set's part list ends, and the consecutive parts on disk after its
// last entry: left over from an older set of the same name that had more
// parts, they are no part of this one. Only a list as a split writes it (the
// set's parts from 001 on, in order, without folders; as collectMissingParts
// read it into state.JoinListEntries) ends the set; a list edited into
// anything else only serves the missing-part check.
struct ListedEnd {
    qint64 last = 0;    // 0: no such list
    QStringList beyond; // the first few named, a last line counts the rest
};
ListedEnd listedEndOf(const JoinState& state, const PartSet& set);

} // namespace tfs
