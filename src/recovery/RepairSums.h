// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sums of a repair's equations taken while the set is checked, so that
// a repair reads the present files once: every file that looks whole (there,
// of its recorded length) has its slices multiplied into the sums for the
// first K recovery slices as the check reads it. The repair then takes out
// again what the check found damaged and adds what it found good of the
// files left out, reading only those, and solves.

#include "recovery/RepairSteps.h"

#include <atomic>
#include <mutex>

namespace tfs {

struct RepairSums {
    Digest setId{};
    qint64 sliceSize = 0;
    qint64 padded = 0;                // bytes of each sum
    std::vector<quint32> exponents;   // of the recovery slices summed for, K of them
    std::vector<qint64> firstSlice;   // per file: the number of its first slice in the set
    std::vector<char> counted;        // per slice of the set: multiplied into the sums
    std::vector<uchar> sums;          // K sums of `padded` bytes, once merged
    std::atomic<bool> spoiled{false}; // a file changed while it was read: the sums are not used

    // The sums of one thread, added to while it reads (K * padded bytes).
    uchar* takeSlot();
    void giveSlot(uchar* slot);
    // The threads' sums added into `sums`; the slots are freed.
    void merge();

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<uchar[]>> slots_;
    std::vector<uchar*> free_;
};

// The sums a check should take for a repair of the set, or none: K is the
// number of slices of the files already known to be missing or of another
// length, plus a margin for damage the check may find, within the recovery
// slices there are and `memory` for two threads' sums. None when nothing is
// known to be missing (a whole set is the common case and needs no repair).
std::shared_ptr<RepairSums> planRepairSums(const RecoverySet& set, qint64 memory);

// slot[k] += factor of (slice, k) * bytes, for `n` bytes (even) from `at`
// within slice `slice` (its number in the set).
void addToSums(const RepairSums& sums, uchar* slot, qint64 slice, qint64 at, const uchar* bytes,
               qint64 n);

// Whether a checked set's missing slices can be solved from the sums.
bool sumsCover(const RepairSums& sums, const RecoverySet& set, const SetCheck& check);

// Rebuilds the missing slices from the sums into `out`: the slices the check
// counted wrongly are taken out or added, the recovery slices added, and the
// sums solved (`missing` in the set's order, `solve` the inverted system for
// the first missing.size() exponents). Returns false when cancelled.
bool rebuildFromSums(const RecoverySet& set, const SetCheck& check, RepairSums& sums,
                     const std::vector<SliceRef>& missing, const std::vector<quint16>& solve,
                     RebuiltFiles& out, const EngineHooks& hooks, const CancelToken& cancel);

} // namespace tfs
