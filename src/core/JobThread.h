// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

// A thread of its own that runs jobs in the order they were posted, for the
// helpers that work beside an engine (page tables, CRC-32 of copied bytes).
// It holds at most maxJobs at a time (the running one included): post()
// waits for room, so the helper never falls far behind. Where no thread can
// be started, post() runs the job on the caller's thread. Destroying it waits
// for the running job and drops the others (destroying them unrun).
class JobThread {
public:
    explicit JobThread(size_t maxJobs);
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Whether a thread runs the jobs.
    bool running() const;
    void post(std::function<void()> job);
    // Waits until every job posted so far has run.
    void drain();
    // The same, for at most `timeout`: whether they have all run.
    bool drain(std::chrono::milliseconds timeout);

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};
