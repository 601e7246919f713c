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
#include <atomic>
#include <memory>

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

// Files from this size up are folded in two halves at once: one on the
// caller's thread, one on a helper. A block then counts for two blocks'
// progress, under one percent of such a file.
constexpr qint64 HalvesFrom = 64 << 20;

// The block at `pos`, read whole unless the file ends first: its length, or
// -1 on an error (set in `error`).
qint64 readBlock(int fd, uchar* block, qint64 pos, int& error) {
    const qint64 got = readFullyAt(fd, reinterpret_cast<char*>(block), pos, CrcBlockSize, error);
    return error != 0 ? -1 : got;
}

// The second half, on the helper: its blocks folded from 0, until its end, a
// short block (the file got shorter), an error, or `quit`.
struct SecondHalf {
    int fd;
    qint64 from;
    qint64 to;
    std::atomic<bool> quit{false};
    std::atomic<qint64> done{0}; // bytes folded
    quint32 crc = 0;
    bool cut = false; // a short block ended it
    int error = 0;

    void run() {
        const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
        for (qint64 pos = from; pos < to && !quit.load(std::memory_order_relaxed);) {
            const qint64 n = readBlock(fd, block.get(), pos, error);
            if (n < 0) return;
            crc = Crc32Fast(block.get(), n, crc);
            pos += n;
            done.store(pos - from, std::memory_order_release);
            if (n != CrcBlockSize) {
                cut = true;
                return;
            }
        }
    }
};

// The block loop for a large file in the page cache. Reading into a buffer
// and folding there, on two threads, beats the mapped loop of one; mapping
// on both threads would win only where the cache holds the file in 2 MiB
// folios, and lose more where it holds small pages. Its whole blocks are
// split in two: the first half is read here, block by block, with the
// event-loop turn and the progress (which counts both halves) after each;
// the second on a helper, waited for in 10 ms slices that turn the event
// loop. The two running values are then joined. True when the run is over
// (the end reached, cancelled); false when the caller's loop goes on from
// CrcBytesDone, with nothing done when no helper could be started.
bool crcInHalves(const QFile& file, qint64 length, const CrcHooks& hooks,
                 const CancelRequest& cancel, quint32& crc) {
    const qint64 whole = length / CrcBlockSize * CrcBlockSize;
    SecondHalf second{file.handle(), whole / 2 / CrcBlockSize * CrcBlockSize, whole};
    JobThread helper(1);
    if (!helper.running()) return false;
    struct Quit { // however this ends, the helper stops before it is waited for
        SecondHalf& half;
        ~Quit() { half.quit = true; }
    } quit{second};
    helper.post([&second] { second.run(); });

    const auto report = [&](qint64 done) {
        CrcBytesDone = done;
        if (hooks.progress) hooks.progress(splitProgress(done, sizeOfOpenFile(file)));
    };
    const auto bothHalves = [&](qint64 first) {
        return first + second.done.load(std::memory_order_acquire);
    };
    const auto readError = [&file](int error) {
        return OperationError(
            systemErrorText(QStringLiteral("Cannot read"), file.fileName(), error));
    };
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
    for (qint64 pos = 0; pos < second.from;) {
        if (cancel.requested()) return true;
        int error = 0;
        const qint64 n = readBlock(file.handle(), block.get(), pos, error);
        if (n < 0) throw readError(error);
        crc = Crc32Fast(block.get(), n, crc);
        pos += n;
        if (hooks.yield) hooks.yield();
        if (n != CrcBlockSize) { // the file ends in the first half now
            report(pos);
            return true;
        }
        report(bothHalves(pos));
    }
    while (!helper.drain(std::chrono::milliseconds(10))) {
        if (hooks.yield) hooks.yield();
        if (cancel.requested()) return true;
        report(bothHalves(second.from));
    }
    if (second.error != 0) throw readError(second.error);
    crc = crc32Combine(crc, second.crc, second.done);
    report(bothHalves(second.from));
    return second.cut;
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
