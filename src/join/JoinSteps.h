#pragma once

#include <QString>
#include <QStringList>

struct FreeSpaceState;
struct JoinState;

namespace tfs {

struct JoinChecks;

// The join's decisions before it writes anything, shared by the Join button
// and the command line.

// Measures the free space of destFolder into state.FreeSpaceBytes and returns
// the report lines of a refusal: not enough room for totalSize bytes (equal
// is enough; a volume that can't be queried is full), or a joined file larger
// than the destination's file system can hold (over 4 GiB onto FAT, which
// would fail there after 4 GiB of writing). Empty when the join may go ahead.
QStringList joinRefusal(FreeSpaceState& state, qint64 totalSize, const QString& destFolder);

// The part list file of the chosen part's set, beside the chosen part.
QString joinListPathOf(const QString& chosenPart);

// The first part of the chosen part's set, and whether it is there as a file.
QString firstPartPathOf(const QString& chosenPart);
bool hasFirstPart(const QString& chosenPart);

// Throws OperationError when the first part of the chosen part's set is missing:
// such a set joins into an empty file, which is no completed join.
void requireFirstPart(const QString& chosenPart);

// The joined file's path in destFolder (ending with a separator): the parts'
// name without the ordinal, with "Clone Of " put before it again and again
// while the name is taken there by anything (a folder or a dangling link
// included): no file already there is ever replaced.
QString joinOutputPathFor(const QString& destFolder, const QString& chosenPart);

// The most missing parts named one by one; a last line counts the rest.
inline constexpr qint64 MaxNamedMissingParts = 20;

// Without a part list: the parts missing below the highest part of the set on
// disk, the chosen one among them, each with one blank after it as the list's
// scan names a missing entry (the first MaxNamedMissingParts, then
// "   ... and N more"). Consecutive parts have none, and neither has a set
// without its first part: that join is refused (requireFirstPart).
QStringList gapsBelowHighestPart(const QString& chosenPart);

// The parts that the join would go without, in state.JoinMissingParts: those
// that the set's part list names and that aren't there (scanForMissingParts,
// which also reads the list into state.JoinListEntries), or without a list
// the gaps below the set's highest part; then those that the .sfv names and
// that aren't there. Sets state.JoinListName.
void collectMissingParts(JoinState& state, const QString& chosenPart, const JoinChecks& checks);

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
ListedEnd listedEndOf(const JoinState& state, const QString& chosenPart);

} // namespace tfs
