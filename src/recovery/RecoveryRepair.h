// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"
#include "recovery/RecoverySet.h"
#include "recovery/RecoveryWriter.h"

#include <QString>
#include <memory>
#include <vector>

namespace tfs {

struct RepairSums;

enum class PartStatus { Ok, Damaged, Missing, Repaired };

// The most slices rebuilt in one repair. The missing slices are solved for
// together: the system takes m x m field elements twice and m^3 steps to
// solve (minutes at this count), and solving part of it would not do.
inline constexpr int MaxRebuiltSlices = 4096;

struct PartCheck {
    QString name;
    PartStatus status = PartStatus::Ok;
    std::vector<bool> goodSlices; // per slice of the file: its bytes match their checksums
    bool leftAlone = false;       // no part of the set (RecoverySet::leftAlone): never rebuilt
};

// What checking a set's files against their recovery data found.
struct SetCheck {
    std::vector<PartCheck> parts; // in the set's (main packet) order, left-alone files too
    qint64 missingSlices = 0;     // slices that don't match, of damaged and missing files
    qint64 recoverySlices = 0;    // valid recovery slices found
    // What the check prepared for a repair (the sums of its equations), or
    // nothing; repairSet() uses it when it covers the damage.
    std::shared_ptr<RepairSums> sums;
    // Whether every part is Ok or Repaired (the files left alone aside).
    bool whole() const;
    bool repairable() const {
        return missingSlices <= recoverySlices && missingSlices <= MaxRebuiltSlices;
    }
    // How many more recovery slices a repair would need (0 when there are enough).
    qint64 moreNeeded() const { return qMax<qint64>(0, missingSlices - recoverySlices); }
    // "N more recovery blocks are needed" (or "block is" for one); without
    // the verb when `verb` is false.
    QString moreNeededText(bool verb = true) const;
    // Why the set can't be repaired: more slices missing than one repair
    // rebuilds (tooManyMissingText), or moreNeededText(verb).
    QString whyNotRepairable(bool verb = true) const;
};

// "N blocks are missing, more than the 4096 that one repair rebuilds".
QString tooManyMissingText(qint64 missing);

// What stops a repair of the set that is known before its files are read:
// the files missing altogether hold more slices than one repair rebuilds.
// Empty when nothing is known to (a repair may still turn out impossible
// once the files are checked).
QString repairRefusedBeforeCheck(const RecoverySet& set);

// Reads every file of the set and compares it with its checksums: whole
// (same length and MD5), damaged (its matching slices are kept), missing (not
// a regular file). Returns false when cancelled. When files are missing or
// of another length already, it also forms as it reads what a repair needs
// of the files that look whole, within `memory` (0 when no repair follows),
// so that repairSet() need not read them again.
bool checkSet(const RecoverySet& set, SetCheck& check, const EngineHooks& hooks,
              const CancelToken& cancel, qint64 memory = RecoveryMemory);

// Rebuilds every damaged and missing part of a checked set in place (the
// files left alone are solved for, never written): a
// missing file is created, a damaged one replaced in one rename once the
// rebuilt bytes match the MD5 recorded for it; no backup is kept and nothing
// is written outside the set's folder. Rebuilt files become Repaired. Returns
// false when cancelled (nothing changed). Throws OperationError when the set
// can't be repaired (not enough recovery slices, a rebuilt file that doesn't
// match, a file that can't be written); files rebuilt before stay rebuilt.
bool repairSet(const RecoverySet& set, SetCheck& check, const EngineHooks& hooks,
               const CancelToken& cancel, qint64 memory = RecoveryMemory);

} // namespace tfs
