// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/HelperThreadCrc.h"

#include "core/FileCopy.h"
#include "core/JobThread.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tfs {

namespace {

// Bytes gathered into one job, at most; jobs end on multiples of it in the
// file, so that a mapped job holds whole 2 MiB folios.
constexpr qint64 JobBytes = 4 << 20;
constexpr qint64 PageBytes = 4096;
// Jobs queued before the copying side waits: the helper stays close behind,
// where the bytes are still in the page cache.
constexpr size_t MaxJobs = 16;

// The helper's own handle of a run's file, closed with the last job that holds it.
struct Handle {
    int fd = -1;
    QString name;                          // for an error text
    std::unique_ptr<WholeMapping> mapping; // made by the helper, at its first job
    ~Handle() {
#ifdef Q_OS_UNIX
        if (fd >= 0) ::close(fd);
#endif
    }
};

} // namespace

struct HelperThreadCrc::Worker {
    // The helper's own; the copying side reads them only after drain().
    std::shared_ptr<Handle> file;
    quint32 crc = CrcInitialValue;
    QList<quint32> crcs;
    QString error;
    std::vector<uchar> buffer;
    std::unique_ptr<ChunkBytes> chunks; // of the run's mapping

    JobThread jobs{MaxJobs}; // last: its jobs use the members above

    void endRun() {
        if (file) crcs.append(crc ^ CrcInitialValue);
        chunks.reset();
        file.reset();
    }

    void take(qint64 pos, qint64 count) {
        if (error.isEmpty() && file && !crcMapped(pos, count)) crcRead(pos, count);
    }

    // The running value over the range, folded where it lies in the page
    // cache, when its page tables fill quickly (the cache holds large folios
    // there); false when the range is to be read instead (also when the file
    // got shorter: reading it tells).
    bool crcMapped(qint64 pos, qint64 count) {
        if (!chunks) {
            const qint64 size = sizeOfFd(file->fd);
            if (size <= 0) return false;
            file->mapping = std::make_unique<WholeMapping>(file->fd, size);
            chunks = std::make_unique<ChunkBytes>(file->mapping->bytes);
        }
        const qint64 from = pos - pos % PageBytes;
        if (pos + count > file->mapping->length) return false;
        const uchar* bytes = chunks->chunk(from, pos + count - from);
        return foldMappedRange(bytes ? bytes + (pos - from) : nullptr, count, file->fd, pos + count,
                               crc);
    }

    // The running value over the range, read again from the page cache into a
    // buffer that stays in the processor's cache.
    void crcRead(qint64 pos, qint64 count) {
        constexpr qint64 Piece = 256 << 10;
        buffer.resize(Piece);
        for (qint64 done = 0; done < count;) {
            const qint64 want = std::min(count - done, Piece);
            int err = 0;
            const qint64 n = readFullyAt(file->fd, reinterpret_cast<char*>(buffer.data()),
                                         pos + done, want, err);
            if (n < want) { // an error, or the file got shorter
                error = systemErrorText(QStringLiteral("Cannot read"), file->name,
                                        err != 0 ? err : EIO);
                return;
            }
            crc = crc32Fast(buffer.data(), n, crc);
            done += n;
        }
    }
};

HelperThreadCrc::HelperThreadCrc() : worker_(std::make_unique<Worker>()) {}

HelperThreadCrc::~HelperThreadCrc() = default;

void HelperThreadCrc::begin(const QFile& file) {
    flush();
    auto handle = std::make_shared<Handle>();
#ifdef Q_OS_UNIX
    handle->fd = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    if (handle->fd < 0)
        throw OperationError(
            systemErrorText(QStringLiteral("Cannot read"), file.fileName(), errno));
#endif
    handle->name = file.fileName();
    Worker* w = worker_.get();
    w->jobs.post([w, handle] {
        w->endRun();
        w->file = handle;
        w->crc = CrcInitialValue;
    });
}

void HelperThreadCrc::add(qint64 pos, qint64 count) {
    if (count <= 0) return;
    if (pendingCount_ > 0 && pendingPos_ + pendingCount_ != pos) flush();
    if (pendingCount_ == 0) pendingPos_ = pos;
    pendingCount_ += count;
    for (;;) {
        const qint64 boundary = (pendingPos_ / JobBytes + 1) * JobBytes;
        const qint64 count = boundary - pendingPos_;
        if (pendingCount_ < count) break;
        Worker* w = worker_.get();
        const qint64 from = pendingPos_;
        w->jobs.post([w, from, count] { w->take(from, count); });
        pendingPos_ = boundary;
        pendingCount_ -= count;
    }
}

void HelperThreadCrc::flush() {
    if (pendingCount_ > 0) {
        Worker* w = worker_.get();
        const qint64 from = pendingPos_, count = pendingCount_;
        w->jobs.post([w, from, count] { w->take(from, count); });
    }
    pendingCount_ = 0;
}

QList<quint32> HelperThreadCrc::results() {
    flush();
    Worker* w = worker_.get();
    w->jobs.post([w] { w->endRun(); });
    w->jobs.drain();
    if (!worker_->error.isEmpty()) throw OperationError(worker_->error);
    return worker_->crcs;
}

} // namespace tfs
