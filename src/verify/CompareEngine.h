// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"

#include <QString>
#include <functional>

namespace tfs {

// The bytes of each file that one pass of the comparison reads.
inline constexpr qint64 CompareBlockSize = 100000;

// What a comparison found.
struct CompareResult {
    bool identical = true;        // no difference seen (so far, when cancelled)
    bool differentLength = false; // the lengths differ: nothing was read
    qint64 firstDifference =
        -1;                   // equal lengths: the offset (from 0) of the first byte that differs
    qint64 bytesCompared = 0; // the second file's bytes compared
};

// Whether the files at firstPath and secondPath hold the same bytes.
//
// Resets `cancel`, opens both files and compares their lengths: when they
// differ it returns differentLength without reading. Otherwise it reads
// CompareBlockSize bytes of each per pass (a whole block straight from the
// page cache where it can, else into buffers of its own; files mostly not in
// the page cache are read ahead on threads of their own, and waiting for them
// turns the event loop through hooks.yield), while the second file's count is
// a whole block, and stops after the first pass that differs or at the top of
// the pass after a handler running in hooks.yield set `cancel` (the verdict
// then says only that no difference was seen so far). Progress is the bytes
// done / the first file's length x 100, rounded half to even; two empty files
// report 100.
//
// Both files are closed on every exit. Throws OperationError when a file
// can't be opened or read.
CompareResult compareFiles(const QString& firstPath, const QString& secondPath,
                           const EngineHooks& hooks, CancelToken& cancel);

} // namespace tfs
