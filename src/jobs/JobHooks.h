// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/jobs: one job per command, the window's and the command line's alike
// (Qt Core only, on the engines). A job owns the whole sequence of its
// command: it takes a request, returns a result, tells its progress and turns
// the event loop through its hooks, stops at its cancel token, and asks the
// few questions the sequence has (parts missing, a damaged part) through a
// small interface of its own that the window's report dialog or the command
// line's flags answer. The window and the command line only collect requests,
// answer and show results.

#include "core/EngineHooks.h"

#include <functional>

namespace tfs {

// What a job tells whoever runs it: the engines' progress and event-loop
// turn, and two of its own. Every hook may be empty.
struct JobHooks : EngineHooks {
    // A stage of the job begins, its checks passed (most jobs have one
    // stage; a repair has a check and a rebuild): the bytes it goes over.
    // The progress that follows is that stage's.
    std::function<void(qint64 totalBytes)> started;
    // The bytes done so far, told right before the progress where the job counts them.
    std::function<void(qint64 bytesDone)> bytesDone;
};

} // namespace tfs
