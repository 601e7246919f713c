// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/Crc32.h"

#include "core/FileCopy.h"
#include "core/JobThread.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "core/Progress.h"
#include "core/StreamReader.h"
#include "verify/CheckFiles.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <QList>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>

namespace tfs {

quint32 crc32Update(const void* buffer, qint64 length, quint32 c) {
    const auto* p = static_cast<const uchar*>(buffer);
    for (qint64 i = 0; i < length; ++i)
        c = Crc32Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c;
}

namespace {

struct MappedCrc {
    const uchar* bytes;
    qint64 length;
    quint32 crc;
};

// Folds `length` mapped bytes into `crc`; false (crc untouched) when a page
// vanished meanwhile.
bool foldMapped(const uchar* bytes, qint64 length, quint32& crc) {
    MappedCrc job{bytes, length, crc};
    const bool whole = readMapped(
        [](void* context) {
            auto* j = static_cast<MappedCrc*>(context);
            j->crc = crc32Fast(j->bytes, j->length, j->crc);
        },
        &job);
    if (whole) crc = job.crc;
    return whole;
}

} // namespace

bool foldMappedRange(const uchar* bytes, qint64 length, int fd, qint64 end, quint32& crc) {
    quint32 folded = crc;
    if (!bytes || !foldMapped(bytes, length, folded) || sizeOfFd(fd) < end) return false;
    crc = folded;
    return true;
}

namespace {

// One run of fileCrc32: its hooks, its cancel and the bytes read so far.
struct CrcRun {
    const CrcHooks& hooks;
    const CancelToken& cancel;
    qint64 done = 0;

    // The bytes read so far of a file of `size` bytes now: told, with the progress.
    void report(qint64 size) const {
        if (hooks.bytesRead) hooks.bytesRead(done);
        if (hooks.progress) hooks.progress(splitProgress(done, size));
    }
};

// The running value after the whole block at `pos`, taken from `bytes`, its
// mapping (or nullptr), instead of a read into the block buffer: what reading
// it would give, when the file still holds the whole block. Returns false
// when it can't tell (no mapping, a page vanished, the file got shorter); the
// caller then reads the block. `size`: the file's size, measured after it.
bool crcMapped(const uchar* bytes, const QFile& file, qint64 pos, quint32& crc, qint64& size) {
    quint32 folded = crc;
    if (!bytes || !foldMapped(bytes, CrcBlockSize, folded)) return false;
    // A file cut inside the block's last page maps the cut-off bytes as zeros.
    size = sizeOfOpenFile(file);
    if (size < pos + CrcBlockSize) return false;
    crc = folded;
    return true;
}

// The block loop for a file mostly not in the page cache: it is read ahead on
// a thread of its own, in chunks of whole blocks, while the blocks before are
// folded. Counts, progress and values are those of the reading loop; the wait
// for a chunk turns the event loop. False when no reading thread could be
// started (nothing was done).
bool crcStreamed(const QFile& file, qint64 length, CrcRun& run, quint32& crc) {
    StreamReader reader(4 * CrcBlockSize);
    if (!reader.running()) return false;
    reader.add(file.fileName(), 0, length);
    const auto keepWaiting = waitingTurn(run.hooks, run.cancel);
    StreamReader::Chunk chunk;
    qint64 offset = 0;
    for (;;) {
        if (run.cancel.requested()) break;
        qint64 n = 0; // a length of whole blocks ends with a pass that reads nothing
        if (run.done < length) {
            if (offset >= chunk.size) {
                if (!reader.next(chunk, keepWaiting)) break; // cancelled while waiting
                if (chunk.error)
                    throw OperationError(systemErrorText(QStringLiteral("Cannot read"),
                                                         file.fileName(), chunk.error));
                offset = 0;
            }
            n = std::min(CrcBlockSize, chunk.size - offset);
            crc = crc32Fast(reinterpret_cast<const uchar*>(chunk.data) + offset, n, crc);
            offset += n;
        }
        run.done += n;
        if (run.hooks.yield) run.hooks.yield();
        run.report(sizeOfOpenFile(file));
        if (n != CrcBlockSize) break;
    }
    return true;
}

#ifdef Q_OS_UNIX

// Files from this size up are folded on two threads at once: the caller's
// takes chunks from the start, a helper from the end. A block then counts
// for up to two blocks' progress, under one percent of such a file.
constexpr qint64 HalvesFrom = 64 << 20;
// Chunks start on multiples of their size, so that they map 2 MiB folios whole.
constexpr qint64 ChunkSize = 16 * CrcBlockSize;

// The block at `pos`, read whole unless the file ends first: its length, or
// -1 on an error (set in `error`).
qint64 readBlock(int fd, uchar* block, qint64 pos, int& error) {
    const qint64 got = readFullyAt(fd, reinterpret_cast<char*>(block), pos, CrcBlockSize, error);
    return error != 0 ? -1 : got;
}

// The two threads' shares of the file's whole blocks. They meet wherever
// they meet: a helper that gets less of the processor (a virtual machine's
// second core is at times busy elsewhere) leaves more to the caller, instead
// of the caller waiting for a fixed half.
struct FromBothEnds {
    FromBothEnds(int fd, qint64 whole, const uchar* map) : fd(fd), back(whole), map(map) {}

    struct Chunk {
        quint32 crc; // from 0
        qint64 length;
    };

    const int fd;
    std::mutex mutex;
    qint64 front = 0; // the caller's chunks end here
    qint64 back;      // the helper's chunks begin here
    const uchar* const map;
    QList<Chunk> chunks;         // the helper's, the last one first
    std::atomic<qint64> done{0}; // bytes the helper folded
    std::atomic<bool> quit{false};
    bool cut = false; // a short block: the file got shorter
    int error = 0;

    // The caller's next chunk, from where its last one ended: its length, 0
    // once the two have met.
    qint64 takeFront() {
        const std::lock_guard<std::mutex> lock(mutex);
        const qint64 count = std::min(ChunkSize, back - front);
        front += count;
        return count;
    }

    // The helper's next chunk: the stretch past the last whole chunk first,
    // then whole chunks, while one is left between the two. False when none.
    bool takeBack(qint64& at, qint64& count) {
        const std::lock_guard<std::mutex> lock(mutex);
        count = back % ChunkSize != 0 ? back % ChunkSize : ChunkSize;
        if (back - count < front) return false;
        back -= count;
        at = back;
        return true;
    }

    // The helper's loop, down from the end.
    void run() {
        const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
        ChunkBytes bytes(map);
        qint64 at = 0;
        qint64 count = 0;
        while (!quit.load(std::memory_order_relaxed) && takeBack(at, count)) {
            quint32 crc = 0;
            if (!foldMappedRange(bytes.chunk(at, count), count, fd, at + count, crc)) {
                for (qint64 pos = at; pos < at + count; pos += CrcBlockSize) {
                    if (quit.load(std::memory_order_relaxed)) return;
                    const qint64 n = readBlock(fd, block.get(), pos, error);
                    if (n < 0) return;
                    if (n != CrcBlockSize) {
                        cut = true;
                        return;
                    }
                    crc = crc32Fast(block.get(), n, crc);
                }
            }
            chunks.append({crc, count});
            done.fetch_add(count, std::memory_order_release);
        }
    }
};

// The block loop for a large file in the page cache, on two threads. The
// caller's blocks have the event-loop turn and the progress (which counts
// both threads') after each; once the two meet, the helper's last chunk is
// waited for in 10 ms slices that turn the event loop, and the running
// values are joined. True when the run is over (the end reached in the
// caller's blocks, cancelled); false when the caller's loop goes on from
// run.done, with nothing done when no helper could be started. A file
// that got shorter under the helper goes on from the caller's blocks, as a
// single loop would have read it.
bool crcInHalves(const QFile& file, qint64 length, CrcRun& run, quint32& crc) {
    const CrcHooks& hooks = run.hooks;
    const CancelToken& cancel = run.cancel;
    const qint64 whole = length / CrcBlockSize * CrcBlockSize;
    const MappedReadGuard guard; // these three outlive the helper
    const WholeMapping mapping(file.handle(), whole);
    FromBothEnds ends(file.handle(), whole, mapping.bytes);
    JobThread helper(1);
    if (!helper.running()) return false;
    struct Quit { // however this ends, the helper stops before it is waited for
        FromBothEnds& ends;
        ~Quit() { ends.quit = true; }
    } quit{ends};
    helper.post([&ends] { ends.run(); });

    const auto report = [&run](qint64 done, qint64 size) {
        run.done = done;
        run.report(size);
    };
    const auto both = [&](qint64 first) {
        return first + ends.done.load(std::memory_order_acquire);
    };
    const auto readError = [&file](int error) {
        return OperationError(
            systemErrorText(QStringLiteral("Cannot read"), file.fileName(), error));
    };
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
    ChunkBytes bytes(mapping.bytes);
    qint64 pos = 0;
    for (qint64 count = ends.takeFront(); count > 0; count = ends.takeFront()) {
        const qint64 start = pos;
        const uchar* mapped = bytes.chunk(start, count);
        while (pos < start + count) {
            if (cancel.requested()) return true;
            qint64 n = CrcBlockSize;
            qint64 size = 0;
            if (!crcMapped(mapped ? mapped + (pos - start) : nullptr, file, pos, crc, size)) {
                int error = 0;
                n = readBlock(file.handle(), block.get(), pos, error);
                if (n < 0) throw readError(error);
                crc = crc32Fast(block.get(), n, crc);
                size = sizeOfOpenFile(file);
            }
            pos += n;
            if (hooks.yield) hooks.yield();
            if (n != CrcBlockSize) { // the file ends in the caller's blocks now
                report(pos, size);
                return true;
            }
            report(both(pos), size);
        }
    }
    bytes.done();
    while (!helper.drain(std::chrono::milliseconds(10))) {
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) return true;
        report(both(pos), sizeOfOpenFile(file));
    }
    if (ends.error != 0) throw readError(ends.error);
    if (ends.cut) {
        report(pos, sizeOfOpenFile(file));
        return false;
    }
    for (auto c = ends.chunks.crbegin(); c != ends.chunks.crend(); ++c)
        crc = crc32Combine(crc, c->crc, c->length);
    report(whole, sizeOfOpenFile(file));
    return false;
}

#endif

} // namespace

FileCrc fileCrc32(const QString& path, const CrcHooks& hooks, const CancelToken& cancel) {
    // POSIX has no share modes: other programs can still write the file while it
    // is read; the progress then follows its current size.
    QFile file;
    openForReading(file, path);
    const qint64 length = sizeOfOpenFile(file);

    CrcRun run{hooks, cancel};
    quint32 crc = CrcInitialValue;
    if (StreamReader::isCold(path, 0, length) && crcStreamed(file, length, run, crc))
        return {crc ^ 0xFFFFFFFF, run.done};
#ifdef Q_OS_UNIX
    if (length >= HalvesFrom && crcInHalves(file, length, run, crc))
        return {crc ^ 0xFFFFFFFF, run.done};
#endif

    // Whole blocks inside the size measured at the start are taken from the
    // page cache where they lie; the last, short block (and any block a mapping
    // can't serve) is read. Both give the same counts and values.
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
    const MappedReadGuard guard;
    PageTableHelper helper; // before the window: it must outlive it
    MappedFileWindow map(file, &helper);
    for (;;) {
        if (cancel.requested()) break;
        qint64 n = CrcBlockSize;
        qint64 measured = 0;
        if (!crcMapped(map.at(run.done, CrcBlockSize, length), file, run.done, crc, measured)) {
            // A short read before the end is read again; an error is an error.
            n = readAt(file, run.done, reinterpret_cast<char*>(block.get()), CrcBlockSize);
            crc = crc32Fast(block.get(), n, crc);
        }
        run.done += n;
        if (hooks.yield) hooks.yield();
        run.report(sizeOfOpenFile(file));
        if (n != CrcBlockSize) break;
    }
    return {crc ^ 0xFFFFFFFF, run.done};
}

} // namespace tfs
