// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"

#include <QString>
#include <functional>

struct VerifyState;

namespace tfs {

// What the comparison tells the window, beyond the progress after every pair
// of blocks and the event-loop turn. Every hook may be empty.
struct CompareHooks : EngineHooks {
    std::function<void()> started;         // on entry: Main off, Cancel on
    std::function<void()> differentLength; // lengths differ; nothing will be read
    std::function<void()> finished;        // the block loop is over (any verdict)
    // Equal lengths, and a block differs: the offset (from 0) of the first
    // byte that differs, once, before the comparison stops.
    std::function<void(qint64 offset)> differentAt;
};

// Whether the files at firstPath and secondPath hold the same bytes.
//
// Clears state.CompareCancelFlag, opens both files as state.CompareStream1/2 and
// compares their lengths: when they differ it calls hooks.differentLength and
// returns false without reading. Otherwise it reads CompareBlockSize bytes of
// each per pass (a whole block straight from the page cache where it can, else
// into state.CompareBuffer1/2; files mostly not in the page cache are read
// ahead on threads of their own, and waiting for them turns the event loop
// through hooks.yield), while the second file's count
// (state.CompareLastRead) is a whole block, and stops after the first pass
// that differs or at the top of the pass after a handler running in hooks.yield
// set state.CompareCancelFlag (the verdict then says only that no difference
// was seen so far). Progress is the bytes done / the first file's length x 100,
// rounded half to even; two empty files report 100.
//
// Both streams are closed (and reset) on every exit. Throws OperationError when a
// file can't be opened or read.
bool compareFiles(VerifyState& state, const QString& firstPath, const QString& secondPath,
                  const CompareHooks& hooks);

} // namespace tfs
