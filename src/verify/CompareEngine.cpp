// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/CompareEngine.h"

#include "core/FileCopy.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "core/Progress.h"
#include "core/StreamReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tfs {

namespace {

// One comparison: the two files, a block buffer for each, the second file's
// count in the last pass (a whole block while the passes go on), and what it
// found so far.
struct Comparison {
    Comparison(const EngineHooks& hooks, const CancelToken& cancel)
        : hooks(hooks), cancel(cancel), buffer1(CompareBlockSize, '\0'),
          buffer2(CompareBlockSize, '\0') {}

    const EngineHooks& hooks;
    const CancelToken& cancel;
    QFile first;
    QFile second;
    QByteArray buffer1;
    QByteArray buffer2;
    qint64 lastRead = CompareBlockSize;
    CompareResult result;

    bool goesOn() const {
        return lastRead == CompareBlockSize && !cancel.requested() && result.identical;
    }
};

qint64 readBlockAt(QFile& file, qint64 pos, QByteArray& buffer) {
    return readAt(file, pos, buffer.data(), CompareBlockSize);
}

struct MappedCompare {
    const uchar* first;
    const uchar* second;
    int result;
};

// Compares the whole block at `pos` of both files straight from their page
// cache, without reading it into the buffers: what a full read of both would
// give, when both files still hold the whole block. Returns false when it
// can't tell (no mapping, a page vanished, a file got shorter); the caller
// then reads the block.
bool compareMapped(MappedFileWindow& map1, MappedFileWindow& map2, QFile& first, QFile& second,
                   qint64 pos, qint64 length, bool& same) {
    MappedCompare job{map1.at(pos, CompareBlockSize, length),
                      map2.at(pos, CompareBlockSize, length), 0};
    if (!job.first || !job.second) return false;
    const bool whole = readMapped(
        [](void* context) {
            auto* j = static_cast<MappedCompare*>(context);
            j->result = std::memcmp(j->first, j->second, CompareBlockSize);
        },
        &job);
    // A file cut inside the block's last page maps the cut-off bytes as zeros.
    if (!whole || sizeOfOpenFile(first) < pos + CompareBlockSize ||
        sizeOfOpenFile(second) < pos + CompareBlockSize)
        return false;
    same = job.result == 0;
    return true;
}

// The offset of the first byte that differs in the blocks at `pos` of both
// files, read again into the buffers (a block compared mapped was never read).
// A file that got shorter differs where it ends.
qint64 firstDifferenceAt(Comparison& c, qint64 pos) {
    const qint64 n =
        std::min(readBlockAt(c.first, pos, c.buffer1), readBlockAt(c.second, pos, c.buffer2));
    const char* a = c.buffer1.constData();
    const char* b = c.buffer2.constData();
    qint64 i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return pos + i;
}

// One pass of a block loop, as both loops end it.
struct Pass {
    qint64 secondCount; // the second file's bytes in the block
    qint64 done;        // bytes compared so far, of `length`
    qint64 length;
    qint64 blockStart;
    bool same;
};

// Records the second file's count, reports the progress, turns the event
// loop and, when the block differs, gives the verdict and the offset of its
// first difference.
void passDone(Comparison& c, const Pass& pass) {
    c.lastRead = pass.secondCount;
    c.result.bytesCompared = pass.done;
    if (c.hooks.progress) c.hooks.progress(splitProgress(pass.done, pass.length));
    if (c.hooks.yield) c.hooks.yield();
    if (!pass.same) {
        c.result.identical = false;
        c.result.firstDifference = firstDifferenceAt(c, pass.blockStart);
    }
}

// The block loop for files in the page cache: whole blocks inside the
// measured length are compared where they lie in the page cache; the last,
// short block (and any block a mapping can't serve) is read into the
// buffers. Both give the same counts and verdicts.
void compareCached(Comparison& c, qint64 length) {
    const MappedReadGuard guard;
    PageTableHelper helper; // before the windows: it must outlive them
    MappedFileWindow map1(c.first, &helper);
    MappedFileWindow map2(c.second, &helper);
    qint64 pos1 = 0;
    qint64 pos2 = 0;
    qint64 done = 0;
    while (c.goesOn()) {
        bool same = false;
        qint64 n1 = CompareBlockSize;
        qint64 n2 = CompareBlockSize;
        if (pos1 != pos2 || !compareMapped(map1, map2, c.first, c.second, pos1, length, same)) {
            n1 = readBlockAt(c.first, pos1, c.buffer1);
            c.lastRead = n1;
            n2 = readBlockAt(c.second, pos2, c.buffer2);
            // Unequal counts mean that a file changed length since it was measured.
            same = n1 == n2 && std::memcmp(c.buffer1.constData(), c.buffer2.constData(),
                                           static_cast<size_t>(n2)) == 0;
        }
        pos1 += n1;
        pos2 += n2;
        done += n2;
        passDone(c, {n2, done, length, pos1 - n1, same});
    }
}

// Ten blocks per chunk: the blocks lie whole inside the chunks read ahead.
constexpr qint64 StreamChunk = 10 * CompareBlockSize;

// The block loop for files mostly not in the page cache: each file is read
// ahead on a thread of its own, so both stream from the disk while the blocks
// are compared. Blocks, counts, progress and verdicts are those of the
// reading loop; the wait for a chunk turns the event loop. False when no
// reading thread could be started (nothing was done).
bool compareStreamed(Comparison& c, qint64 length) {
    StreamReader reader1(StreamChunk);
    StreamReader reader2(StreamChunk);
    if (!reader1.running() || !reader2.running()) return false;
    reader1.add(c.first.fileName(), 0, length);
    reader2.add(c.second.fileName(), 0, length);
    const auto keepWaiting = waitingTurn(c.hooks, c.cancel);
    const auto nextChunk = [&](StreamReader& reader, const QFile& file,
                               StreamReader::Chunk& chunk) {
        if (!reader.next(chunk, keepWaiting)) return false;
        if (chunk.error)
            throw OperationError(
                systemErrorText(QStringLiteral("Cannot read"), file.fileName(), chunk.error));
        return true;
    };
    StreamReader::Chunk chunk1, chunk2;
    qint64 offset = 0; // in both chunks
    qint64 pos = 0;
    qint64 done = 0;
    while (c.goesOn()) {
        qint64 n1 = 0;
        qint64 n2 = 0;
        bool same = true;
        // A length of whole blocks ends with a pass that reads nothing.
        if (pos < length) {
            if (offset >= chunk1.size || offset >= chunk2.size) {
                if (!nextChunk(reader1, c.first, chunk1) || !nextChunk(reader2, c.second, chunk2))
                    break; // cancelled while waiting
                offset = 0;
            }
            n1 = std::clamp<qint64>(chunk1.size - offset, 0, CompareBlockSize);
            n2 = std::clamp<qint64>(chunk2.size - offset, 0, CompareBlockSize);
            // Unequal counts mean that a file got shorter since it was measured.
            same = n1 == n2 && std::memcmp(chunk1.data + offset, chunk2.data + offset,
                                           static_cast<size_t>(n2)) == 0;
            offset += CompareBlockSize;
        }
        pos += n1;
        done += n2;
        passDone(c, {n2, done, length, pos - n1, same});
    }
    return true;
}

} // namespace

CompareResult compareFiles(const QString& firstPath, const QString& secondPath,
                           const EngineHooks& hooks, CancelToken& cancel) {
    cancel.reset();
    Comparison c(hooks, cancel);
    openForReading(c.first, firstPath);
    openForReading(c.second, secondPath);

    const qint64 length = sizeOfOpenFile(c.first);
    if (length != sizeOfOpenFile(c.second)) {
        c.result.identical = false;
        c.result.differentLength = true;
        return c.result;
    }
    const bool cold =
        StreamReader::isCold(firstPath, 0, length) || StreamReader::isCold(secondPath, 0, length);
    if (!cold || !compareStreamed(c, length)) compareCached(c, length);
    return c.result;
}

} // namespace tfs
