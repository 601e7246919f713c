// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/Tasks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace tfs {

namespace {
constexpr qint64 SmallestStretch = 64 << 10;
} // namespace

qint64 stretchFor(qint64 memory, qint64 paddedSlice, qint64 buffers, qint64 workingSet) {
    const qint64 wanted = qMax(workingSet / buffers, SmallestStretch);
    const qint64 stretch = qMin(wanted, memory / qMax<qint64>(1, buffers)) / 64 * 64;
    return std::clamp<qint64>(stretch, 64, paddedSlice);
}

bool runTasks(int count, const std::function<void(int task, const std::atomic<bool>& stop)>& task,
              const std::function<void(int done)>& progress, const EngineHooks& hooks,
              const CancelToken& cancel) {
    std::atomic<int> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable finished;
    std::exception_ptr failure;
    int running = 2;
    const auto work = [&] {
        for (int t; !stop && (t = next.fetch_add(1)) < count;) {
            try {
                task(t, stop);
            } catch (...) {
                // A task that fails once the tasks are being stopped (a read
                // cut short by the cancel, say) fails because of the stop:
                // the cancel asked before is what is reported, not this.
                const std::lock_guard<std::mutex> guard(lock);
                if (!failure && !stop) failure = std::current_exception();
                stop = true;
            }
            ++done;
        }
        const std::lock_guard<std::mutex> guard(lock);
        --running;
        finished.notify_all();
    };
    std::thread first(work), second(work);
    bool cancelled = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> wait(lock);
            if (finished.wait_for(wait, std::chrono::milliseconds(20),
                                  [&] { return running == 0; }))
                break;
        }
        if (progress) progress(done);
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) {
            cancelled = true;
            stop = true;
        }
    }
    first.join();
    second.join();
    if (failure) std::rethrow_exception(failure);
    // One turn at the end as well, so that however short the tasks were the
    // caller's handlers ran once.
    if (progress) progress(done);
    if (hooks.yield) hooks.yield();
    return !cancelled && !cancel.requested();
}

} // namespace tfs
