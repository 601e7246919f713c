// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <functional>

namespace tfs {

// What every engine tells its caller while it runs: its progress, and one
// turn of the event loop after every block, in which the window's handlers (a
// Cancel button's among them) run. Either may be empty. An engine's own hooks
// add what only that engine reports.
struct EngineHooks {
    std::function<void(int percent)> progress; // 0..100, by the engine's own rule
    std::function<void()> yield;               // one turn of the event loop
};

// How an engine asks whether its operation was cancelled: the operation's
// cancel flag (SplitCancelFlag, JoinCancelFlag, ChecksumCancelFlag,
// CompareCancelFlag), which a handler run inside the event-loop turn sets to
// 1. It is asked afresh every time, never remembered.
class CancelRequest {
public:
    explicit CancelRequest(const quint8& flag) : flag_(flag) {}
    bool requested() const { return flag_ != 0; }

private:
    const quint8& flag_;
};

// What an engine calls while it waits (for a reading thread, say): one turn
// of the event loop, then whether to go on waiting (no cancel was asked).
// Both arguments must outlive the function returned.
inline std::function<bool()> waitingTurn(const EngineHooks& hooks, const CancelRequest& cancel) {
    return [&hooks, &cancel] {
        if (hooks.yield) hooks.yield();
        return !cancel.requested();
    };
}

} // namespace tfs
