// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"

#include <atomic>
#include <functional>

namespace tfs {

// Runs task(0) .. task(count - 1) on two helper threads, in any order, while
// this thread serves the hooks: every 20 ms `progress` with the tasks done so
// far, then the event-loop turn, then a look at `cancel`; and once more when
// they are all done. Returns false when
// cancelled (none is begun after; a long task may look at `stop` to end
// early). An exception thrown by a task stops the rest and is rethrown here,
// unless the tasks were already being stopped (cancelled) when it was thrown.
bool runTasks(int count, const std::function<void(int task, const std::atomic<bool>& stop)>& task,
              const std::function<void(int done)>& progress, const EngineHooks& hooks,
              const CancelToken& cancel);

// How much of every slice is held at a time when `buffers` slices are
// worked on together: a stretch (a multiple of 64 bytes, at most the padded
// slice) that keeps them all within `workingSet` bytes (by default one that
// the processor's caches mostly hold: bytes read are still there when they
// are worked on, and few fresh pages are touched), and within `memory` in
// any case.
inline constexpr qint64 CachedWorkingSet = 32 << 20;
qint64 stretchFor(qint64 memory, qint64 paddedSlice, qint64 buffers,
                  qint64 workingSet = CachedWorkingSet);

} // namespace tfs
