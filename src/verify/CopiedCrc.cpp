#include "verify/CopiedCrc.h"

#include "app/FileError.h"
#include "split/MappedFile.h"
#include "verify/Crc32Fast.h"
#include "verify/SZCRC32.h"

#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
#endif

namespace {

// Bytes gathered into one job, and mapped at once.
constexpr qint64 JobBytes = 4 << 20;
// Jobs queued before the copying side waits: the helper stays close behind,
// where the bytes are still in the page cache.
constexpr size_t MaxJobs = 16;

struct Job {
    int fd = -1;    // >= 0: a new run on this handle (the worker closes it)
    QString name;   // its file, for an error text
    qint64 pos = 0; // otherwise: bytes pos .. pos + count of the run's file
    qint64 count = 0;
    bool finish = false; // ends the last run: results() waits for it
};

struct MappedCrc {
    const uchar* bytes;
    qint64 count;
    quint32 crc;
};

} // namespace

struct CopiedCrc::Worker {
    Worker() {
        try {
            thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread: post() does the jobs itself.
        }
    }
    ~Worker() {
        if (thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            wake.notify_one();
            thread.join();
        }
        for (const Job& job : jobs)
            closeHandle(job.fd);
        closeHandle(fd);
    }

    void post(Job job) {
        if (!thread.joinable()) {
            work(job);
            return;
        }
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return jobs.size() < MaxJobs; });
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void drain() {
        if (!thread.joinable()) return;
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return jobs.empty(); });
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || !jobs.empty(); });
            if (stop) return;
            Job job = jobs.front();
            lock.unlock();
            work(job);
            lock.lock();
            jobs.pop_front(); // only now: drain() waits for the running job too
            changed.notify_all();
        }
    }

    static void closeHandle(int handle) {
#ifdef Q_OS_UNIX
        if (handle >= 0) ::close(handle);
#else
        Q_UNUSED(handle);
#endif
    }

    void endRun() {
        if (running) crcs.append(crc ^ CrcInitialValue);
        running = false;
        closeHandle(fd);
        fd = -1;
    }

    void work(const Job& job) {
        if (job.finish || job.fd >= 0) {
            endRun();
            if (job.fd >= 0) {
                fd = job.fd;
                name = job.name;
                crc = CrcInitialValue;
                running = true;
            }
            return;
        }
        if (!error.isEmpty() || !running) return;
        if (!crcMapped(job.pos, job.count)) crcRead(job.pos, job.count);
    }

    // The running value over the range through a mapping of it; false when it
    // can't be mapped or a page vanished (the caller reads instead).
    bool crcMapped(qint64 pos, qint64 count) {
#ifdef Q_OS_LINUX
        static const qint64 page = ::sysconf(_SC_PAGESIZE);
        const qint64 start = pos - pos % page;
        const auto length = static_cast<size_t>(pos + count - start);
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, start);
        if (map == MAP_FAILED) return false;
        ::madvise(map, length, MADV_POPULATE_READ);
        MappedCrc job{static_cast<const uchar*>(map) + (pos - start), count, crc};
        const bool whole = readMapped(
            [](void* context) {
                auto* j = static_cast<MappedCrc*>(context);
                j->crc = Crc32Fast(j->bytes, j->count, j->crc);
            },
            &job);
        ::munmap(map, length);
        if (whole) crc = job.crc;
        return whole;
#else
        Q_UNUSED(pos);
        Q_UNUSED(count);
        return false;
#endif
    }

    void crcRead(qint64 pos, qint64 count) {
#ifdef Q_OS_UNIX
        buffer.resize(1 << 20);
        for (qint64 done = 0; done < count;) {
            const ssize_t n =
                ::pread(fd, buffer.data(),
                        static_cast<size_t>(std::min<qint64>(count - done, 1 << 20)), pos + done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = systemErrorText(QStringLiteral("Cannot read"), name, n < 0 ? errno : EIO);
                return;
            }
            crc = Crc32Fast(buffer.data(), n, crc);
            done += n;
        }
#else
        Q_UNUSED(pos);
        Q_UNUSED(count);
        error = QStringLiteral("Cannot read %1").arg(name);
#endif
    }

    // Lets a mapped page that vanished (a file cut short meanwhile) end the
    // mapped read instead of the program, for as long as the helper lives.
    const MappedReadGuard guard;

    // Shared with the copying side.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable changed;
    std::deque<Job> jobs;
    bool stop = false;

    // The worker's own; the copying side reads them only after drain().
    int fd = -1;
    QString name;
    quint32 crc = CrcInitialValue;
    bool running = false;
    QList<quint32> crcs;
    QString error;
    std::vector<uchar> buffer;
    std::thread thread; // last: it starts once the members above exist
};

CopiedCrc::CopiedCrc() : worker_(std::make_unique<Worker>()) {}

CopiedCrc::~CopiedCrc() = default;

void CopiedCrc::begin(const QFile& file) {
    flush();
    Job job;
#ifdef Q_OS_UNIX
    job.fd = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    if (job.fd < 0)
        throw FileError(systemErrorText(QStringLiteral("Cannot read"), file.fileName(), errno));
#endif
    job.name = file.fileName();
    worker_->post(std::move(job));
}

void CopiedCrc::add(qint64 pos, qint64 count) {
    if (count <= 0) return;
    if (pendingCount_ > 0 && pendingPos_ + pendingCount_ != pos) flush();
    if (pendingCount_ == 0) pendingPos_ = pos;
    pendingCount_ += count;
    while (pendingCount_ >= JobBytes) {
        Job job;
        job.pos = pendingPos_;
        job.count = JobBytes;
        worker_->post(job);
        pendingPos_ += JobBytes;
        pendingCount_ -= JobBytes;
    }
}

void CopiedCrc::flush() {
    if (pendingCount_ > 0) {
        Job job;
        job.pos = pendingPos_;
        job.count = pendingCount_;
        worker_->post(job);
    }
    pendingCount_ = 0;
}

QList<quint32> CopiedCrc::results() {
    flush();
    Job finish;
    finish.finish = true;
    worker_->post(finish);
    worker_->drain();
    if (!worker_->error.isEmpty()) throw FileError(worker_->error);
    return worker_->crcs;
}
