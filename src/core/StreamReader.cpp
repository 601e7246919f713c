// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StreamReader.h"

#include "core/FileCopy.h"

#ifdef Q_OS_LINUX

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

qint64 pageSize() {
    static const qint64 size = std::max<long>(::sysconf(_SC_PAGESIZE), 4096);
    return size;
}

// A read-only mapping of part of a file, only to ask which of its pages are in
// the page cache (mincore); its bytes are never touched.
class Residency {
public:
    Residency(int fd, qint64 from, qint64 count) {
        start_ = from - from % pageSize();
        length_ = from + count - start_;
        if (length_ <= 0) return;
        void* p = ::mmap(nullptr, static_cast<size_t>(length_), PROT_READ, MAP_SHARED, fd, start_);
        if (p != MAP_FAILED) map_ = static_cast<char*>(p);
    }
    ~Residency() {
        if (map_) ::munmap(map_, static_cast<size_t>(length_));
    }
    Residency(const Residency&) = delete;
    Residency& operator=(const Residency&) = delete;

    bool known() const { return map_ != nullptr; }
    qint64 start() const { return start_; }

    // For each page of bytes pos .. pos + count (pos within the mapping):
    // whether it is in the page cache. Empty when the system can't tell.
    std::vector<unsigned char> pages(qint64 pos, qint64 count) const {
        const qint64 first = (pos - start_) / pageSize() * pageSize();
        const qint64 end = std::min(pos + count - start_, length_);
        std::vector<unsigned char> vec;
        if (!map_ || end <= first) return vec;
        vec.resize(static_cast<size_t>((end - first + pageSize() - 1) / pageSize()));
        if (::mincore(map_ + first, static_cast<size_t>(end - first), vec.data()) != 0) vec.clear();
        return vec;
    }

private:
    char* map_ = nullptr;
    qint64 start_ = 0;
    qint64 length_ = 0;
};

// What was in the page cache before this reader came: taken a window ahead
// of the reads, before the kernel's own read-ahead (at most a few tens of MiB
// ahead of them) can have brought anything in.
class ResidencyLog {
public:
    explicit ResidencyLog(const Residency& residency) : residency_(residency) {}

    // Whether the page at `at` was not in the page cache before; takes the
    // windows around it as needed. False where the system can't tell.
    bool wasCold(qint64 at) {
        const qint64 index = (at - residency_.start()) / Window;
        if (index != index_) {
            current_ = index == index_ + 1 && !ahead_.empty() ? std::move(ahead_) : take(index);
            ahead_ = take(index + 1);
            index_ = index;
        }
        const auto page =
            static_cast<size_t>((at - residency_.start() - index * Window) / pageSize());
        return page < current_.size() && !(current_[page] & 1);
    }

private:
    static constexpr qint64 Window = 64 << 20;

    std::vector<unsigned char> take(qint64 index) const {
        return residency_.pages(residency_.start() + index * Window, Window);
    }

    const Residency& residency_;
    qint64 index_ = -1;
    std::vector<unsigned char> current_;
    std::vector<unsigned char> ahead_;
};

// Opens a regular file for reading; -1 (errno set) for anything else. A
// named pipe put in a file's place is not waited on.
int openRegular(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    const bool measured = ::fstat(fd, &st) == 0;
    if (!measured || !S_ISREG(st.st_mode)) {
        const int err = !measured ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = err;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

struct Range {
    QByteArray path;
    qint64 from;
    qint64 count;
};

} // namespace

struct StreamReader::Worker {
    Worker(qint64 chunkSize, int buffers, qint64 readSize)
        : chunkSize(chunkSize), readSize(readSize > 0 ? readSize : chunkSize),
          ring(static_cast<size_t>(buffers)) {
        for (Slot& slot : ring)
            slot.bytes.resize(static_cast<size_t>(chunkSize));
        thread = std::thread([this] { run(); });
    }
    ~Worker() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        thread.join();
    }

    struct Slot {
        std::vector<char> bytes;
        Chunk chunk;
    };

    // On the reader's thread: waits for a free slot; nullptr when stopping.
    Slot* freeSlot() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return stop || filled - handed < ring.size(); });
        return stop ? nullptr : &ring[filled % ring.size()];
    }
    void publish(qint64 size, int error) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            Slot& slot = ring[filled % ring.size()];
            slot.chunk = {slot.bytes.data(), size, error};
            ++filled;
        }
        changed.notify_all();
    }

    void run() {
        for (;;) {
            Range range;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [this] { return stop || !ranges.empty(); });
                if (stop) return;
                range = ranges.front();
                ranges.pop_front();
            }
            if (!read(range)) return;
        }
    }

    // Reads one range into the ring; false when stopping.
    bool read(const Range& range) {
        const int fd = openRegular(range.path);
        if (fd < 0) {
            if (!freeSlot()) return false;
            publish(0, errno);
            return true;
        }
        ::posix_fadvise(fd, range.from, range.count, POSIX_FADV_SEQUENTIAL);
        const Residency residency(fd, range.from, range.count);
        ResidencyLog before(residency);
        if (residency.known()) before.wasCold(range.from); // before the first read
        GiveBack giveBack(fd, before);
        bool going = true;
        for (qint64 pos = range.from, left = range.count; left > 0;) {
            Slot* slot = freeSlot();
            if (!slot) {
                going = false;
                break;
            }
            const qint64 want = std::min(chunkSize, left);
            int error = 0;
            const qint64 got = readFullyAt(fd, slot->bytes.data(), pos, want, error, readSize);
            if (residency.known()) giveBack.read(pos, got);
            publish(got, error);
            if (error || got == 0) break; // an empty chunk already ends the range
            if (got < want) {             // the file got shorter: the range ends here
                if (!freeSlot()) {
                    going = false;
                    break;
                }
                publish(0, 0);
                break;
            }
            pos += got;
            left -= got;
        }
        giveBack.finish();
        ::close(fd);
        return going;
    }

    // Gives the pages of a range back to the page cache as they are read,
    // those that weren't cached before this reader came. The kernel drops
    // only whole folios (up to 2 MiB), so a run of such pages is dropped in
    // 2 MiB-aligned pieces as the reads pass them, and at its end.
    class GiveBack {
    public:
        GiveBack(int fd, ResidencyLog& before) : fd_(fd), before_(before) {}

        // Bytes pos .. pos + got were just read.
        void read(qint64 pos, qint64 got) {
            const qint64 page = pageSize();
            for (qint64 at = (pos + page - 1) / page * page; at < pos + got; at += page) {
                if (!before_.wasCold(at))
                    dropUpTo(at, -1);
                else if (from_ < 0)
                    from_ = at;
            }
            constexpr qint64 piece = 2 << 20;
            const qint64 end = pos + got;
            if (from_ >= 0 && end - from_ >= 2 * piece)
                dropUpTo(end / piece * piece, end / piece * piece);
            end_ = end;
        }
        // The range is read: the rest of the run goes too.
        void finish() { dropUpTo(end_, -1); }

    private:
        // Drops the run's pages up to `to`; the run then starts at `next` (-1: none).
        void dropUpTo(qint64 to, qint64 next) {
            if (from_ >= 0 && to > from_)
                ::posix_fadvise(fd_, from_, to - from_, POSIX_FADV_DONTNEED);
            from_ = next;
        }

        const int fd_;
        ResidencyLog& before_;
        qint64 from_ = -1; // start of the cold pages read and not yet given back
        qint64 end_ = 0;   // end of the bytes read
    };

    const qint64 chunkSize;
    const qint64 readSize;
    std::vector<Slot> ring;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Range> ranges;
    size_t filled = 0; // chunks published so far
    size_t handed = 0; // chunks given back by the consumer
    bool holding = false;
    bool stop = false;
    std::thread thread; // last: it starts once the members above exist
};

StreamReader::StreamReader(qint64 chunkSize, int buffers, qint64 readSize) {
    try {
        worker_ = std::make_unique<Worker>(chunkSize, std::max(buffers, 2), readSize);
    } catch (const std::system_error&) {
        // No thread to be had: the callers read themselves.
    }
}

StreamReader::~StreamReader() = default;

bool StreamReader::running() const { return worker_ != nullptr; }

void StreamReader::add(const QString& path, qint64 from, qint64 count) {
    if (!worker_) return;
    {
        const std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->ranges.push_back({QFile::encodeName(path), from, count});
    }
    worker_->changed.notify_all();
}

bool StreamReader::next(Chunk& chunk, const std::function<bool()>& keepWaiting) {
    if (!worker_) return false;
    Worker& w = *worker_;
    std::unique_lock<std::mutex> lock(w.mutex);
    if (w.holding) {
        ++w.handed;
        w.holding = false;
        w.changed.notify_all();
    }
    while (!w.changed.wait_for(lock, std::chrono::milliseconds(10),
                               [&w] { return w.filled > w.handed; })) {
        lock.unlock();
        if (keepWaiting && !keepWaiting()) return false;
        lock.lock();
    }
    chunk = w.ring[w.handed % w.ring.size()].chunk;
    w.holding = true;
    return true;
}

bool StreamReader::isCold(const QString& path, qint64 from, qint64 count) {
    if (count <= 0) return false;
    const int fd = openRegular(QFile::encodeName(path));
    if (fd < 0) return false;
    // Probes of 4 pages each, spread evenly over the range: 16, and one more
    // per 32 MiB up to 64. Each page asked about is a lookup in the page
    // cache: with 64 probes of 64 pages, asking about each 10 MB part took a
    // tenth of a hot 2 GiB join's time.
    const qint64 probes = std::clamp<qint64>(count / (32 << 20), 16, 64);
    const qint64 probe = 4 * pageSize();
    qint64 resident = 0;
    qint64 asked = 0;
    {
        const Residency residency(fd, from, count);
        const qint64 stride = std::max(probe, count / probes);
        for (qint64 at = from; at < from + count; at += stride) {
            for (unsigned char page : residency.pages(at, std::min(probe, from + count - at))) {
                resident += page & 1;
                ++asked;
            }
        }
    }
    ::close(fd);
    return asked > 0 && resident * 2 < asked;
}

bool StreamReader::isCached(int fd, qint64 from, qint64 count) {
    // A read that may not wait for the disk, of one byte at each end: far
    // cheaper than asking for every page, and read-ahead fills a range from
    // its start, so the pages between are there too.
    for (const qint64 at : {from, from + count - 1}) {
        char byte;
        iovec one{&byte, 1};
        if (count > 0 && ::preadv2(fd, &one, 1, at, RWF_NOWAIT) < 0 && errno == EAGAIN)
            return false;
    }
    return true;
}

#else // elsewhere the callers read as usual

struct StreamReader::Worker {};
StreamReader::StreamReader(qint64, int, qint64) {}
StreamReader::~StreamReader() = default;
bool StreamReader::running() const { return false; }
void StreamReader::add(const QString&, qint64, qint64) {}
bool StreamReader::next(Chunk&, const std::function<bool()>&) { return false; }
bool StreamReader::isCold(const QString&, qint64, qint64) { return false; }
bool StreamReader::isCached(int, qint64, qint64) { return true; }

#endif
