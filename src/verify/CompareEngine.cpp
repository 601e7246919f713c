// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/CompareEngine.h"

#include "core/FileCopy.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/Progress.h"
#include "core/StreamReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tfs {

namespace {

// Closes and drops both streams when the comparison leaves, however it leaves.
struct StreamCloser {
    VerifyState& state;
    ~StreamCloser() { close(); }
    void close() {
        state.CompareStream1.reset();
        state.CompareStream2.reset();
    }
};

std::unique_ptr<QFile> openStream(const QString& path) {
    auto file = std::make_unique<QFile>();
    openForReading(*file, path);
    return file;
}

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
qint64 firstDifferenceAt(VerifyState& state, QFile& first, QFile& second, qint64 pos) {
    const qint64 n = std::min(readBlockAt(first, pos, state.CompareBuffer1),
                              readBlockAt(second, pos, state.CompareBuffer2));
    const char* a = state.CompareBuffer1.constData();
    const char* b = state.CompareBuffer2.constData();
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
void passDone(VerifyState& state, QFile& first, QFile& second, const CompareHooks& hooks,
              const Pass& pass, bool& identical) {
    state.CompareLastRead = pass.secondCount;
    if (hooks.progress) hooks.progress(splitProgress(pass.done, pass.length));
    if (hooks.yield) hooks.yield();
    if (!pass.same) {
        identical = false;
        if (hooks.differentAt)
            hooks.differentAt(firstDifferenceAt(state, first, second, pass.blockStart));
    }
}

// The block loop for files in the page cache: whole blocks inside the
// measured length are compared where they lie in the page cache; the last,
// short block (and any block a mapping can't serve) is read into the
// buffers. Both give the same counts and verdicts.
void compareCached(VerifyState& state, QFile& first, QFile& second, qint64 length,
                   const CompareHooks& hooks, const CancelRequest& cancel, bool& identical) {
    const MappedReadGuard guard;
    PageTableHelper helper; // before the windows: it must outlive them
    MappedFileWindow map1(first, &helper);
    MappedFileWindow map2(second, &helper);
    qint64 pos1 = 0;
    qint64 pos2 = 0;
    qint64 done = 0;
    while (state.CompareLastRead == CompareBlockSize) {
        if (cancel.requested() || !identical) break;
        bool same = false;
        qint64 n1 = CompareBlockSize;
        qint64 n2 = CompareBlockSize;
        if (pos1 != pos2 || !compareMapped(map1, map2, first, second, pos1, length, same)) {
            n1 = readBlockAt(first, pos1, state.CompareBuffer1);
            state.CompareLastRead = n1;
            n2 = readBlockAt(second, pos2, state.CompareBuffer2);
            // Unequal counts mean that a file changed length since it was measured.
            same = n1 == n2 &&
                   std::memcmp(state.CompareBuffer1.constData(), state.CompareBuffer2.constData(),
                               static_cast<size_t>(n2)) == 0;
        }
        pos1 += n1;
        pos2 += n2;
        done += n2;
        passDone(state, first, second, hooks, {n2, done, length, pos1 - n1, same}, identical);
    }
}

// Ten blocks per chunk: the blocks lie whole inside the chunks read ahead.
constexpr qint64 StreamChunk = 10 * CompareBlockSize;

// The block loop for files mostly not in the page cache: each file is read
// ahead on a thread of its own, so both stream from the disk while the blocks
// are compared. Blocks, counts, progress and verdicts are those of the
// reading loop; the wait for a chunk turns the event loop. False when no
// reading thread could be started (nothing was done).
bool compareStreamed(VerifyState& state, QFile& first, QFile& second, qint64 length,
                     const CompareHooks& hooks, const CancelRequest& cancel, bool& identical) {
    StreamReader reader1(StreamChunk);
    StreamReader reader2(StreamChunk);
    if (!reader1.running() || !reader2.running()) return false;
    reader1.add(first.fileName(), 0, length);
    reader2.add(second.fileName(), 0, length);
    const auto keepWaiting = waitingTurn(hooks, cancel);
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
    while (state.CompareLastRead == CompareBlockSize) {
        if (cancel.requested() || !identical) break;
        qint64 n1 = 0;
        qint64 n2 = 0;
        bool same = true;
        // A length of whole blocks ends with a pass that reads nothing.
        if (pos < length) {
            if (offset >= chunk1.size || offset >= chunk2.size) {
                if (!nextChunk(reader1, first, chunk1) || !nextChunk(reader2, second, chunk2))
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
        passDone(state, first, second, hooks, {n2, done, length, pos - n1, same}, identical);
    }
    return true;
}

} // namespace

bool compareFiles(VerifyState& state, const QString& firstPath, const QString& secondPath,
                  const CompareHooks& hooks) {
    // The window must not start a comparison inside a running one's event-loop
    // turn: the streams and buffers exist once.
    Q_ASSERT(!state.CompareStream1 && !state.CompareStream2);
    if (hooks.started) hooks.started();
    state.CompareCancelFlag = 0;
    const CancelRequest cancel(state.CompareCancelFlag);
    bool identical = true;

    StreamCloser streams{state};
    state.CompareStream1 = openStream(firstPath);
    state.CompareStream2 = openStream(secondPath);
    QFile& first = *state.CompareStream1;
    QFile& second = *state.CompareStream2;

    const qint64 length = sizeOfOpenFile(first);
    if (length != sizeOfOpenFile(second)) {
        if (hooks.differentLength) hooks.differentLength();
        return false;
    }

    state.CompareBuffer1.fill('\0', CompareBlockSize);
    state.CompareBuffer2.fill('\0', CompareBlockSize);
    state.CompareLastRead = CompareBlockSize;
    const bool cold =
        StreamReader::isCold(firstPath, 0, length) || StreamReader::isCold(secondPath, 0, length);
    if (!cold || !compareStreamed(state, first, second, length, hooks, cancel, identical))
        compareCached(state, first, second, length, hooks, cancel, identical);

    streams.close();
    if (hooks.finished) hooks.finished();
    return identical;
}

} // namespace tfs
