#pragma once

#include <QString>
#include <QStringList>

struct FreeSpaceState;

namespace tfs {

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

} // namespace tfs
