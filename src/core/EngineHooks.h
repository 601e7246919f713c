// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <utility>

namespace tfs {

// What every engine tells its caller while it runs: its progress, and one
// turn of the event loop after every block, in which the window's handlers (a
// Cancel button's among them) run. Either may be empty. An engine's own hooks
// add what only that engine reports.
struct EngineHooks {
    std::function<void(int percent)> progress; // 0..100, by the engine's own rule
    std::function<void()> yield;               // one turn of the event loop
};

// The cancel of a run: asked for by a handler that runs inside the
// event-loop turn (the window's Cancel, its close request) or, for a token
// made watching, by whatever `asked` watches (the command line's Ctrl+C).
// An engine asks it afresh every time, never remembering the answer. Whoever
// runs an operation owns its token; the engines that start a run afresh
// (the split, the join, the comparison) reset it first, so that a cancel of
// an earlier run doesn't stop the next.
class CancelToken {
public:
    CancelToken() = default;
    explicit CancelToken(std::function<bool()> asked) : asked_(std::move(asked)) {}
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void cancel() { cancelled_ = true; }
    void reset() { cancelled_ = false; }
    bool requested() const { return cancelled_ || (asked_ && asked_()); }

private:
    std::atomic<bool> cancelled_{false};
    std::function<bool()> asked_;
};

// What an engine calls while it waits (for a reading thread, say): one turn
// of the event loop, then whether to go on waiting (no cancel was asked).
// Both arguments must outlive the function returned.
inline std::function<bool()> waitingTurn(const EngineHooks& hooks, const CancelToken& cancel) {
    return [&hooks, &cancel] {
        if (hooks.yield) hooks.yield();
        return !cancel.requested();
    };
}

} // namespace tfs
