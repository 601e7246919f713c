// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

// Reading files that are not in the page cache (cold ones) from start to end
// on a thread of its own, a few chunks ahead of the engine that uses the
// bytes: the disk then streams while the engine compares or writes them.
//
// The pages it brings into the page cache are given back as soon as they are
// read, while those that were cached before stay: the cache is left as it was
// found, and the next reads reuse the memory just given back instead of taking
// pages the system has not touched for a while (which, on a virtual machine,
// can cost more than reading them from the disk).
class StreamReader {
public:
    // A piece of a range, in order. `size` 0 with `error` 0: the range ended
    // early (the file got shorter). `error`: the errno of a failed open or read.
    struct Chunk {
        const char* data = nullptr;
        qint64 size = 0;
        int error = 0;
    };

    // Chunks of at most chunkSize bytes, `buffers` of them filled ahead, each
    // read at most readSize bytes at a time (0: a chunk at a time).
    explicit StreamReader(qint64 chunkSize = 1 << 20, int buffers = 8, qint64 readSize = 0);
    // Stops the reading (the thread finishes its current read) and waits for it.
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Whether a thread reads; when none could be started, the callers read as
    // they would without it.
    bool running() const;

    // Queues `count` bytes of the file at `path`, from offset `from`, behind the
    // ranges queued before; the reader opens the file itself.
    void add(const QString& path, qint64 from, qint64 count);

    // The next chunk of the queued ranges, handed over in order. While it waits,
    // it calls keepWaiting at least every 10 ms; when that returns false, it
    // returns false without a chunk. The chunk's bytes stay valid until the
    // next call.
    bool next(Chunk& chunk, const std::function<bool()>& keepWaiting);

    // Whether most of `count` bytes of the file at `path` from `from` are not
    // in the page cache, judged from pages spread over the range. False where
    // the platform can't tell (the callers then take their usual way).
    static bool isCold(const QString& path, qint64 from, qint64 count);
    // Whether `count` bytes from `from` of the open file `fd` are in the page
    // cache, judged from their first and last pages. True where the platform
    // can't tell.
    static bool isCached(int fd, qint64 from, qint64 count);

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};
