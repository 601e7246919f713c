// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/PartWriter.h"

#include "core/CopyPace.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/RoomAhead.h"
#include "split/SplitEngine.h"

#include <algorithm>
#include <utility>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tfs {

PartWriter::PartWriter(const QFile& source, bool takeCrc)
    : sourceName_(source.fileName()), takeCrc_(takeCrc) {
    input_.setFileName(source.fileName());
#ifdef Q_OS_UNIX
    // The same open file, so that a source renamed or replaced meanwhile is
    // not read in its place.
    const int fd = ::fcntl(source.handle(), F_DUPFD_CLOEXEC, 0);
    if (fd >= 0 &&
        !input_.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        ::close(fd);
#else
    input_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
#endif
}

PartWriter::~PartWriter() { stop_ = true; }

bool PartWriter::running() const { return thread_.running() && input_.isOpen(); }

void PartWriter::start(const QString& path, qint64 from, qint64 count) {
    stop_ = false;
    thread_.post([this, path, from, count] {
        try {
            result_ = copy(path, from, count);
        } catch (const OperationError& e) {
            // The source is read through a descriptor of its own, which has
            // no name: the message names the file all the same.
            QString text = e.text();
            text.replace(QStringLiteral("Cannot read : "),
                         QStringLiteral("Cannot read %1: ").arg(sourceName_));
            error_ = std::make_exception_ptr(OperationError(text));
        } catch (...) {
            error_ = std::current_exception();
        }
    });
}

// Copies in slices, stopping between two when asked.
qint64 PartWriter::copy(const QString& path, qint64 from, qint64 count) {
    QFile part;
    createReplacingLinks(part, path);
    RoomAhead room; // a part that stops early keeps only the blocks it holds
    room.start(part, count);
    CopyPace pace;
    crc_.reset();
    qint64 done = 0;
    while (done < count && !stop_) {
        const qint64 slice = std::min(count - done, SplitSliceSize);
        const qint64 n =
            pace.copy(input_, from + done, part, done, slice, nullptr, takeCrc_ ? &crc_ : nullptr);
        done += n;
        if (n < slice) break;
        room.reached(done);
    }
    room.ended(done);
    closeWritten(part);
    return done;
}

qint64 PartWriter::finish(const std::function<bool()>& keepWaiting) {
    bool cancelled = false;
    while (!thread_.drain(std::chrono::milliseconds(10))) {
        if (cancelled || !keepWaiting || keepWaiting()) continue;
        cancelled = true;
        stop_ = true;
    }
    if (cancelled) {
        error_ = nullptr; // the copy was stopped: its end is no error
        return -1;
    }
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return result_;
}

} // namespace tfs
