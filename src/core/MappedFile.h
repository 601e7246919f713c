// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <cstddef>
#include <memory>

// Reading files through memory mappings of their page cache, for the engines
// that read whole files (CRC-32, comparison) or hand their bytes to the kernel
// (join).

// Fills and empties the page tables of mappings on a thread of its own, in
// the order asked, while the caller's thread reads them. Reads never wait for
// it: a page it hasn't reached yet is simply faulted in by the read. It holds
// a few jobs at a time; when it falls that far behind, the caller waits for
// room, so the page tables filled stay few. Where no thread can be started,
// the jobs run on the caller's thread.
class PageTableHelper {
public:
    PageTableHelper();
    ~PageTableHelper();
    PageTableHelper(const PageTableHelper&) = delete;
    PageTableHelper& operator=(const PageTableHelper&) = delete;

    // Whether a thread does the jobs.
    bool running() const;
    // Queues madvise(address, length, advice).
    void post(void* address, size_t length, int advice);
    // Waits until every job queued so far is done.
    void drain();

private:
    struct Thread;
    std::unique_ptr<Thread> thread_;
};

// A read-only view of part of an open file through a memory mapping, a window
// of a few MiB at a time, so that an engine can hand file bytes to the kernel
// (write) or compare them without copying them into a buffer first. The
// mapping is an optimisation only: where the platform or the file system
// can't map, at() returns nullptr and the caller reads as usual.
//
// A mapped page whose file got shorter raises SIGBUS when this program reads
// it. Reading mapped bytes in the program's own code is therefore done only
// inside readMapped(), which turns that signal into a result. Handing the
// bytes to a system call (pwrite) needs no guard: the kernel then fails the
// call with EFAULT instead.
class MappedFileWindow {
public:
    // With a helper (which must outlive the window), the page tables are
    // filled ahead of the reads and emptied behind them on the helper's
    // thread; otherwise inside at().
    explicit MappedFileWindow(const QFile& file, PageTableHelper* helper = nullptr)
        : file_(file), helper_(helper) {}
    ~MappedFileWindow() { unmap(); }
    MappedFileWindow(const MappedFileWindow&) = delete;
    MappedFileWindow& operator=(const MappedFileWindow&) = delete;

    // Bytes pos .. pos + count of the file (count at most 2 MiB), mapped so far
    // as `length` (the file's size as measured, the same at every call), or
    // nullptr.
    const uchar* at(qint64 pos, qint64 count, qint64 length);

private:
    void advise(qint64 from, qint64 to, int advice);
    void unmap();

    const QFile& file_;
    PageTableHelper* const helper_;
    const uchar* map_ = nullptr; // the whole file, as long as it was measured
    qint64 length_ = 0;
    qint64 start_ = 0; // the window whose page tables are (being) filled
    qint64 end_ = 0;
    qint64 filled_ = 0; // bytes whose page tables were asked filled, not yet emptied
    bool failed_ = false;
};

// A file mapped whole (address space only; ChunkBytes fills and empties the
// page tables), or nothing (bytes == nullptr) where it can't be.
struct WholeMapping {
    WholeMapping(int fd, qint64 length);
    ~WholeMapping();
    WholeMapping(const WholeMapping&) = delete;
    WholeMapping& operator=(const WholeMapping&) = delete;
    const qint64 length;
    const uchar* bytes = nullptr;
};

// Where the chunks of a file are read from, one after the other. Reading a
// chunk straight from a mapping of the page cache spares copying it, but
// filling its page tables costs: under 10 us for 4 MiB where the cache holds
// 2 MiB folios (an entry each), 300-450 us where it holds 4 KiB pages,
// against about 200 us for reading the chunk into a buffer. A file may hold
// both (a stretch written in small pieces). So each chunk's filling is timed
// (in the thread's own processor time, which a busy machine doesn't inflate);
// after a slow one, the next chunk is read, then twice as many after each
// further slow one in a row, and the mapping tried again after them. The
// mapped chunk's page tables are emptied when it is done: the resident
// memory stays a chunk. Mapped bytes are read only inside readMapped().
class ChunkBytes {
public:
    // `map`: the file's WholeMapping bytes, or nullptr (every chunk is read).
    explicit ChunkBytes(const uchar* map) : map_(map) {}
    ~ChunkBytes() { done(); }
    ChunkBytes(const ChunkBytes&) = delete;
    ChunkBytes& operator=(const ChunkBytes&) = delete;

    // The chunk at `pos` (a multiple of the page size), `count` bytes, is
    // read next: its mapped bytes, or nullptr when it is to be read instead.
    const uchar* chunk(qint64 pos, qint64 count);
    // The chunk is read.
    void done();

private:
    const uchar* map_;
    uchar* mapped_ = nullptr;
    size_t mappedLength_ = 0;
    qint64 skip_ = 0;
    qint64 backOff_ = 1;
};

// The bytes of files whose page tables the readers above (MappedFileWindow,
// ChunkBytes) have asked filled and not yet asked emptied, across the
// process: the most at any one time since the last reset. However long the
// files, it stays a few MiB per file being read.
qint64 mostMappedBytesFilled();
void resetMostMappedBytesFilled();

// Catches SIGBUS for as long as it exists (nested guards are fine), so that
// readMapped() can report a vanished page. Any other SIGBUS still goes where
// it went before.
class MappedReadGuard {
public:
    MappedReadGuard();
    ~MappedReadGuard();
    MappedReadGuard(const MappedReadGuard&) = delete;
    MappedReadGuard& operator=(const MappedReadGuard&) = delete;
};

// Runs read(context), which reads mapped bytes, under a MappedReadGuard that
// the caller holds. Returns false when a mapped page vanished meanwhile (the
// file got shorter, or its storage failed): read was cut short, and the
// caller reads those bytes with a system call instead. `read` must not own
// anything that needs destroying, as it is left by a jump.
bool readMapped(void (*read)(void* context), void* context);
