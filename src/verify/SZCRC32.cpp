#include "verify/SZCRC32.h"

#include "core/FileCopy.h"
#include "core/JobThread.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "core/Progress.h"
#include "core/StreamReader.h"
#include "verify/CheckFiles.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <QList>
#include <atomic>
#include <memory>
#include <mutex>

namespace tfs {

qint64 CrcBytesDone = 0;

void Crc32InitTable() {
    Crc32FastInit();
}

quint32 Crc32Update(const void* buffer, qint64 length, quint32 c) {
    const auto* p = static_cast<const uchar*>(buffer);
    for (qint64 i = 0; i < length; ++i)
        c = Crc32Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c;
}

namespace {

struct MappedCrc {
    const uchar* bytes;
    quint32 crc;
};

// The running value after the whole block at `pos`, taken straight from the
// page cache instead of a read into the block buffer: what reading it would
// give, when the file still holds the whole block. Returns false when it
// can't tell (no mapping, a page vanished, the file got shorter); the caller
// then reads the block.
bool crcMapped(MappedFileWindow& map, const QFile& file, qint64 pos, qint64 length,
               quint32& crc) {
    MappedCrc job{map.at(pos, CrcBlockSize, length), crc};
    if (!job.bytes)
        return false;
    const bool whole = readMapped(
        [](void* context) {
            auto* j = static_cast<MappedCrc*>(context);
            j->crc = Crc32Fast(j->bytes, CrcBlockSize, j->crc);
        },
        &job);
    // A file cut inside the block's last page maps the cut-off bytes as zeros.
    if (!whole || sizeOfOpenFile(file) < pos + CrcBlockSize)
        return false;
    crc = job.crc;
    return true;
}

// The block loop for a file mostly not in the page cache: it is read ahead on
// a thread of its own, in chunks of whole blocks, while the blocks before are
// folded. Counts, progress and values are those of the reading loop; the wait
// for a chunk turns the event loop. False when no reading thread could be
// started (nothing was done).
bool crcStreamed(const QFile& file, qint64 length, const CrcHooks& hooks,
                 const CancelRequest& cancel, quint32& crc) {
    StreamReader reader(4 * CrcBlockSize);
    if (!reader.running()) return false;
    reader.add(file.fileName(), 0, length);
    const auto keepWaiting = waitingTurn(hooks, cancel);
    StreamReader::Chunk chunk;
    qint64 offset = 0;
    for (;;) {
        if (cancel.requested()) break;
        qint64 n = 0; // a length of whole blocks ends with a pass that reads nothing
        if (CrcBytesDone < length) {
            if (offset >= chunk.size) {
                if (!reader.next(chunk, keepWaiting)) break; // cancelled while waiting
                if (chunk.error)
                    throw OperationError(systemErrorText(QStringLiteral("Cannot read"),
                                                         file.fileName(), chunk.error));
                offset = 0;
            }
            n = std::min(CrcBlockSize, chunk.size - offset);
            crc = Crc32Fast(reinterpret_cast<const uchar*>(chunk.data) + offset, n, crc);
            offset += n;
        }
        CrcBytesDone += n;
        if (hooks.yield)
            hooks.yield();
        if (hooks.progress)
            hooks.progress(splitProgress(CrcBytesDone, sizeOfOpenFile(file)));
        if (n != CrcBlockSize)
            break;
    }
    return true;
}

#ifdef Q_OS_UNIX

// Files from this size up are folded on two threads at once: the caller's
// takes blocks from the start, a helper chunks of whole blocks from the end.
// A block then counts for up to two blocks' progress, under one percent of
// such a file.
constexpr qint64 HalvesFrom = 64 << 20;
constexpr qint64 ChunkFromEnd = 16 * CrcBlockSize;

// The block at `pos`, read whole unless the file ends first: its length, or
// -1 on an error (set in `error`).
qint64 readBlock(int fd, uchar* block, qint64 pos, int& error) {
    const qint64 got = readFullyAt(fd, reinterpret_cast<char*>(block), pos, CrcBlockSize, error);
    return error != 0 ? -1 : got;
}

// The two threads' shares of the file's whole blocks. They meet wherever
// they meet: a helper that gets less of the processor (a virtual machine's
// second core is often busy elsewhere) leaves more to the caller, instead of
// the caller waiting for a fixed half.
struct FromBothEnds {
    FromBothEnds(int fd, qint64 whole) : fd(fd), back(whole) {}

    const int fd;
    std::mutex mutex;
    qint64 front = 0; // the caller's blocks end here
    qint64 back;      // the helper's chunks begin here
    QList<quint32> chunkCrcs; // each from 0, the last chunk first
    std::atomic<qint64> done{0}; // bytes the helper folded
    std::atomic<bool> quit{false};
    bool cut = false; // a short block: the file got shorter
    int error = 0;

    // The caller takes the block at `pos` unless the helper has.
    bool take(qint64 pos) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (pos + CrcBlockSize > back) return false;
        front = pos + CrcBlockSize;
        return true;
    }

    // The helper's loop: a chunk at a time, down from the end, while a whole
    // chunk is left between the two.
    void run() {
        const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
        while (!quit.load(std::memory_order_relaxed)) {
            qint64 at = 0;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (back - ChunkFromEnd < front) return;
                back -= ChunkFromEnd;
                at = back;
            }
            quint32 crc = 0;
            for (qint64 pos = at; pos < at + ChunkFromEnd; pos += CrcBlockSize) {
                if (quit.load(std::memory_order_relaxed)) return;
                const qint64 n = readBlock(fd, block.get(), pos, error);
                if (n < 0) return;
                if (n != CrcBlockSize) {
                    cut = true;
                    return;
                }
                crc = Crc32Fast(block.get(), n, crc);
                done.fetch_add(n, std::memory_order_release);
            }
            chunkCrcs.append(crc);
        }
    }
};

// The block loop for a large file in the page cache. Reading into a buffer
// and folding there, on two threads, beats the mapped loop of one; mapping
// on both threads would win only where the cache holds the file in 2 MiB
// folios, and lose more where it holds small pages. The caller's blocks have
// the event-loop turn and the progress (which counts both threads') after
// each; once the two meet, the helper's last chunk is waited for in 10 ms
// slices that turn the event loop, and the running values are joined. True
// when the run is over (the end reached in the caller's blocks, cancelled);
// false when the caller's loop goes on from CrcBytesDone, with nothing done
// when no helper could be started. A file that got shorter under the helper
// goes on from the caller's blocks, as a single loop would have read it.
bool crcInHalves(const QFile& file, qint64 length, const CrcHooks& hooks,
                 const CancelRequest& cancel, quint32& crc) {
    const qint64 whole = length / CrcBlockSize * CrcBlockSize;
    FromBothEnds ends(file.handle(), whole);
    JobThread helper(1);
    if (!helper.running()) return false;
    struct Quit { // however this ends, the helper stops before it is waited for
        FromBothEnds& ends;
        ~Quit() { ends.quit = true; }
    } quit{ends};
    helper.post([&ends] { ends.run(); });

    const auto report = [&](qint64 done) {
        CrcBytesDone = done;
        if (hooks.progress) hooks.progress(splitProgress(done, sizeOfOpenFile(file)));
    };
    const auto both = [&](qint64 first) {
        return first + ends.done.load(std::memory_order_acquire);
    };
    const auto readError = [&file](int error) {
        return OperationError(
            systemErrorText(QStringLiteral("Cannot read"), file.fileName(), error));
    };
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
    qint64 pos = 0;
    while (ends.take(pos)) {
        if (cancel.requested()) return true;
        int error = 0;
        const qint64 n = readBlock(file.handle(), block.get(), pos, error);
        if (n < 0) throw readError(error);
        crc = Crc32Fast(block.get(), n, crc);
        pos += n;
        if (hooks.yield) hooks.yield();
        if (n != CrcBlockSize) { // the file ends in the caller's blocks now
            report(pos);
            return true;
        }
        report(both(pos));
    }
    while (!helper.drain(std::chrono::milliseconds(10))) {
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) return true;
        report(both(pos));
    }
    if (ends.error != 0) throw readError(ends.error);
    if (ends.cut) {
        report(pos);
        return false;
    }
    for (auto c = ends.chunkCrcs.crbegin(); c != ends.chunkCrcs.crend(); ++c)
        crc = crc32Combine(crc, *c, ChunkFromEnd);
    report(whole);
    return false;
}

#endif

} // namespace

quint32 FileCrc32(const VerifyState& state, const QString& path, const CrcHooks& hooks) {
    // POSIX has no share modes: other programs can still write the file while it
    // is read; the progress then follows its current size.
    QFile file;
    openForReading(file, path);
    const qint64 length = sizeOfOpenFile(file);

    const CancelRequest cancel(state.ChecksumCancelFlag);
    CrcBytesDone = 0;
    quint32 crc = CrcInitialValue;
    if (StreamReader::isCold(path, 0, length) && crcStreamed(file, length, hooks, cancel, crc))
        return crc ^ 0xFFFFFFFF;
#ifdef Q_OS_UNIX
    if (length >= HalvesFrom && crcInHalves(file, length, hooks, cancel, crc))
        return crc ^ 0xFFFFFFFF;
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
        if (!crcMapped(map, file, CrcBytesDone, length, crc)) {
            if (!file.seek(CrcBytesDone))
                throw OperationError(
                    QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
            n = file.read(reinterpret_cast<char*>(block.get()), CrcBlockSize);
            if (n < 0)
                throw OperationError(
                    QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
            crc = Crc32Fast(block.get(), n, crc);
        }
        CrcBytesDone += n;
        if (hooks.yield)
            hooks.yield();
        const qint64 size = sizeOfOpenFile(file);
        if (hooks.progress)
            hooks.progress(splitProgress(CrcBytesDone, size));
        if (n != CrcBlockSize)
            break;
    }
    return crc ^ 0xFFFFFFFF;
}

} // namespace tfs
