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
// early). An exception thrown by a task stops the rest and is rethrown here.
bool runTasks(int count, const std::function<void(int task, const std::atomic<bool>& stop)>& task,
              const std::function<void(int done)>& progress, const EngineHooks& hooks,
              const CancelRequest& cancel);

} // namespace tfs
