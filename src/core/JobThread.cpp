// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/JobThread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

struct JobThread::Worker {
    explicit Worker(size_t maxJobs) : maxJobs(maxJobs), thread([this] { run(); }) {}
    ~Worker() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        wake.notify_one();
        thread.join();
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || !jobs.empty(); });
            if (stop) return; // what is left was for work that won't come
            const std::function<void()> job = jobs.front();
            lock.unlock();
            job();
            lock.lock();
            jobs.pop_front(); // only now: a queued or running job counts
            changed.notify_all();
        }
    }

    const size_t maxJobs;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool stop = false;
    std::thread thread; // last: it starts running once the members above exist
};

JobThread::JobThread(size_t maxJobs) {
    try {
        worker_ = std::make_unique<Worker>(maxJobs);
    } catch (const std::system_error&) {
        // No thread to be had: the caller's thread does the jobs.
    }
}

JobThread::~JobThread() = default;

bool JobThread::running() const { return worker_ != nullptr; }

void JobThread::post(std::function<void()> job) {
    if (!worker_) {
        job();
        return;
    }
    {
        std::unique_lock<std::mutex> lock(worker_->mutex);
        worker_->changed.wait(lock, [this] { return worker_->jobs.size() < worker_->maxJobs; });
        worker_->jobs.push_back(std::move(job));
    }
    worker_->wake.notify_one();
}

void JobThread::drain() {
    if (!worker_) return;
    std::unique_lock<std::mutex> lock(worker_->mutex);
    worker_->changed.wait(lock, [this] { return worker_->jobs.empty(); });
}

bool JobThread::drain(std::chrono::milliseconds timeout) {
    if (!worker_) return true;
    std::unique_lock<std::mutex> lock(worker_->mutex);
    return worker_->changed.wait_for(lock, timeout, [this] { return worker_->jobs.empty(); });
}
