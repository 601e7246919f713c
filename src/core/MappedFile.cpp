// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MappedFile.h"

#ifdef Q_OS_LINUX
#include "core/JobThread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <time.h>
#include <utility>
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22 // Linux 5.14; older C libraries lack the name
#endif
#endif

#ifdef Q_OS_LINUX

namespace {

// Bytes mapped at once: a few MiB keeps the resident memory small whatever the
// file size; a step of any engine (at most a few hundred KiB) always fits.
constexpr qint64 MapWindow = 4 << 20;
constexpr qint64 MapAlign = 2 << 20;
// How far ahead of the reads a helper thread fills the page tables.
constexpr qint64 MapAhead = 4 << 20;

// The page-table bytes asked filled and not yet emptied, and the most of them.
std::atomic<qint64> bytesFilled{0};
std::atomic<qint64> mostBytesFilled{0};

void countFilled(qint64 bytes) {
    const qint64 now = bytesFilled.fetch_add(bytes) + bytes;
    qint64 most = mostBytesFilled.load();
    while (now > most && !mostBytesFilled.compare_exchange_weak(most, now)) {
    }
}

// Where a vanished mapped page returns to, while readMapped runs on this thread.
thread_local sigjmp_buf* mappedReadJump = nullptr;
int guardDepth = 0;
struct sigaction previousBusAction;

extern "C" void onMappedReadFault(int signal, siginfo_t* info, void*) {
    if (mappedReadJump != nullptr && info->si_code > 0) siglongjmp(*mappedReadJump, 1);
    // Not one of ours: the previous disposition handles it. A fault raises
    // the signal again as soon as the faulting instruction is retried.
    sigaction(SIGBUS, &previousBusAction, nullptr);
    if (info->si_code <= 0) raise(signal);
}

} // namespace

// Eight jobs at a time: a few MiB of page tables filled ahead.
struct PageTableHelper::Thread : JobThread {
    Thread() : JobThread(8) {}
};

PageTableHelper::PageTableHelper() : thread_(std::make_unique<Thread>()) {}

PageTableHelper::~PageTableHelper() = default;

bool PageTableHelper::running() const { return thread_->running(); }

void PageTableHelper::post(void* address, size_t length, int advice) {
    // Errors need no answer: a page the helper couldn't fill (the file got
    // shorter, say) is met by the read itself.
    thread_->post([=] { ::madvise(address, length, advice); });
}

void PageTableHelper::drain() { thread_->drain(); }

const uchar* MappedFileWindow::at(qint64 pos, qint64 count, qint64 length) {
    if (failed_ || pos < 0 || count > MapAlign || pos + count > length) return nullptr;
    if (!map_) {
        // The whole file is mapped once (address space only); its page tables
        // are filled a window ahead of the reads and emptied behind them, so
        // the resident memory stays a few MiB whatever the file size.
        void* p =
            ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, file_.handle(), 0);
        if (p == MAP_FAILED) {
            failed_ = true;
            return nullptr;
        }
        map_ = static_cast<const uchar*>(p);
        length_ = length;
        start_ = end_ = 0;
#ifdef POSIX_FADV_SEQUENTIAL
        // Read once from start to end: a file not in the page cache is then
        // read from the disk in reads twice the usual read-ahead (half the
        // waits per file). The kernel's own read-ahead, unlike WILLNEED
        // advice, fills the cache with large folios, which map in few page
        // table entries; a file already cached is not affected.
        if (helper_) ::posix_fadvise(file_.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }
    // A helper is given the next MapAhead bytes early, while the reads are
    // still in the window before, so that it is done by the time they arrive.
    const qint64 ahead = helper_ && helper_->running() ? MapAhead : 0;
    if (pos + count > end_ || (end_ < length_ && pos + count > end_ - ahead)) {
        // Windows start on 2 MiB boundaries of the file, so that the kernel can
        // map the page cache's large folios whole (one entry per 2 MiB instead
        // of 512). Each page is populated once: the new window starts where
        // the filled part ends.
        const qint64 start = pos - pos % MapAlign;
        const qint64 end = std::min(start + MapWindow + ahead, length_);
        if (start > start_) advise(start_, std::min(start, end_), MADV_DONTNEED);
        const qint64 from = std::max(start, end_);
        // One pass over the page tables instead of a fault per page later; a
        // kernel without MADV_POPULATE_READ (before 5.14) faults them instead.
        if (end > from) advise(from, end, MADV_POPULATE_READ);
        start_ = start;
        end_ = end;
    }
    return map_ + pos;
}

void MappedFileWindow::advise(qint64 from, qint64 to, int advice) {
    void* address = const_cast<uchar*>(map_) + from;
    const auto length = static_cast<size_t>(to - from);
    const qint64 filled = advice == MADV_DONTNEED ? from - to : to - from;
    filled_ += filled;
    countFilled(filled);
    if (helper_)
        helper_->post(address, length, advice);
    else
        ::madvise(address, length, advice);
}

void MappedFileWindow::unmap() {
    if (helper_) helper_->drain(); // no madvise may run on the range once it is unmapped
    if (map_) {
        ::munmap(const_cast<uchar*>(map_), static_cast<size_t>(length_));
        countFilled(-std::exchange(filled_, 0));
    }
    map_ = nullptr;
}

WholeMapping::WholeMapping(int fd, qint64 length) : length(length) {
    void* p = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) bytes = static_cast<const uchar*>(p);
}

WholeMapping::~WholeMapping() {
    if (bytes) ::munmap(const_cast<uchar*>(bytes), static_cast<size_t>(length));
}

namespace {

// The processor time this thread has used: what filling page tables costs,
// without the time another thread had the processor meanwhile.
qint64 threadNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

const uchar* ChunkBytes::chunk(qint64 pos, qint64 count) {
    // Slower than this per 4 MiB: the chunk lies in small folios.
    constexpr qint64 SlowFillNanoseconds = 60000;
    constexpr qint64 SlowFillBytes = 4 << 20;
    done();
    if (!map_) return nullptr;
    if (skip_ > 0) {
        --skip_;
        return nullptr;
    }
    auto* address = const_cast<uchar*>(map_ + pos);
    const qint64 started = threadNanoseconds();
    if (::madvise(address, static_cast<size_t>(count), MADV_POPULATE_READ) != 0) {
        if (errno == EINVAL) map_ = nullptr; // a kernel before 5.14
        return nullptr; // a page past the end (the file got shorter), a failing disk
    }
    mapped_ = address;
    mappedLength_ = static_cast<size_t>(count);
    countFilled(count);
    if (threadNanoseconds() - started > SlowFillNanoseconds * count / SlowFillBytes) {
        skip_ = backOff_;
        backOff_ = std::min<qint64>(2 * backOff_, 256);
    } else {
        backOff_ = 1;
    }
    return mapped_;
}

void ChunkBytes::done() {
    if (mapped_) {
        ::madvise(mapped_, mappedLength_, MADV_DONTNEED);
        countFilled(-qint64(mappedLength_));
    }
    mapped_ = nullptr;
}

MappedReadGuard::MappedReadGuard() {
    if (guardDepth++ > 0) return;
    struct sigaction action {};
    action.sa_sigaction = onMappedReadFault;
    // SA_NODEFER: the jump out of the handler leaves SIGBUS unblocked, so
    // readMapped needs no signal-mask call per read.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousBusAction);
}

MappedReadGuard::~MappedReadGuard() {
    if (--guardDepth == 0) sigaction(SIGBUS, &previousBusAction, nullptr);
}

bool readMapped(void (*read)(void* context), void* context) {
    sigjmp_buf jump;
    sigjmp_buf* const outer = mappedReadJump;
    if (sigsetjmp(jump, 0) != 0) {
        mappedReadJump = outer;
        return false;
    }
    mappedReadJump = &jump;
    read(context);
    mappedReadJump = outer;
    return true;
}

qint64 mostMappedBytesFilled() { return mostBytesFilled.load(); }
void resetMostMappedBytesFilled() { mostBytesFilled.store(bytesFilled.load()); }

#else // no mapping elsewhere: the callers read

qint64 mostMappedBytesFilled() { return 0; }
void resetMostMappedBytesFilled() {}

struct PageTableHelper::Thread {};
PageTableHelper::PageTableHelper() = default;
PageTableHelper::~PageTableHelper() = default;
bool PageTableHelper::running() const { return false; }
void PageTableHelper::post(void*, size_t, int) {}
void PageTableHelper::drain() {}
const uchar* MappedFileWindow::at(qint64, qint64, qint64) { return nullptr; }
void MappedFileWindow::advise(qint64, qint64, int) {}
void MappedFileWindow::unmap() {}
WholeMapping::WholeMapping(int, qint64 length) : length(length) {}
WholeMapping::~WholeMapping() = default;
const uchar* ChunkBytes::chunk(qint64, qint64) { return nullptr; }
void ChunkBytes::done() {}
MappedReadGuard::MappedReadGuard() {}
MappedReadGuard::~MappedReadGuard() {}
bool readMapped(void (*read)(void* context), void* context) {
    read(context);
    return true;
}

#endif
