// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tfs {

// Part 1 is written under a hidden name beside its own, ".<part name>.splitting",
// and takes its name when the split has completed (or has failed, with the
// parts kept for Cancel); a cancelled split removes it. A killed split leaves
// it behind, with no part 1: nothing a join takes for a whole set. The split
// holds a lock on it while it runs: a second split of a file of the same name
// into the same folder is refused meanwhile (split/FirstPartHold.h).
QString hiddenFirstPartPath(const QString& partPath);

// Removes the hidden part 1 that a killed split left beside partPath (part 1's
// path), unless a running split holds it. The join takes this away beside the
// parts it joins, as the split does where it writes.
void removeAbandonedFirstPart(const QString& partPath);

} // namespace tfs
