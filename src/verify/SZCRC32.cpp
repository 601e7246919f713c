#include "verify/SZCRC32.h"

#include "core/FileCopy.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "core/Progress.h"
#include "core/StreamReader.h"
#include "verify/Crc32Fast.h"

#include <QFile>
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

} // namespace

quint32 FileCrc32(const VerifyState& state, const QString& path, const CrcHooks& hooks) {
    // POSIX has no share modes: other programs can still write the file while it
    // is read; the progress then follows its current size.
    QFile file;
    openForReading(file, path);
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);

    // Whole blocks inside the size measured at the start are taken from the
    // page cache where they lie; the last, short block (and any block a mapping
    // can't serve) is read. Both give the same counts and values.
    const MappedReadGuard guard;
    PageTableHelper helper; // before the window: it must outlive it
    MappedFileWindow map(file, &helper);
    const qint64 length = sizeOfOpenFile(file);

    const CancelRequest cancel(state.ChecksumCancelFlag);
    CrcBytesDone = 0;
    quint32 crc = CrcInitialValue;
    if (StreamReader::isCold(path, 0, length) && crcStreamed(file, length, hooks, cancel, crc))
        return crc ^ 0xFFFFFFFF;
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
