#pragma once

#include <QString>

struct ProgramState;
struct SplitHooks;

// splitfile into a destination that may hold an earlier split of the same
// source name. The first part overwrites that split's first part, and from
// then on its part list would name parts that are no longer its own (a join
// would trust it): the list goes right before the first part is created (a
// refused split leaves it), so that a split that fails, is cancelled or is
// killed leaves no list that lies; a list that can't be deleted stops the
// split before its first part (FileError). After a completed split, the
// parts that the earlier list named beyond the new set's last part go too:
// the join takes every consecutive part it finds, and old ones behind the new
// set would be joined into it.
//
// hooks.partStarted still runs at every new part, after the list is gone.
void splitOverEarlierSet(ProgramState& state, const QString& sourcePath, qint64 partSize,
                         const SplitHooks& hooks);
