// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/JobThread.h"
#include "verify/CopyingThreadCrc.h"

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <exception>
#include <functional>

namespace tfs {

// A second writer for the split: copies one whole part on a thread of its own
// while the split's thread copies the part before it. Writing into the page
// cache is bound by the copying itself, so two copies on two cores take about
// half as long, and so do the stalls of memory that comes slowly.
class PartWriter {
public:
    // Copies from the open `source` (through a handle of its own); with
    // `takeCrc`, takes each part's CRC-32 as it copies it.
    explicit PartWriter(const QFile& source, bool takeCrc = false);
    // Stops a copy under way and waits for it; the part stays as far as it got.
    ~PartWriter();
    PartWriter(const PartWriter&) = delete;
    PartWriter& operator=(const PartWriter&) = delete;

    // Whether a thread copies; when none could be started, the split copies
    // every part itself.
    bool running() const;

    // Creates the part at `path` and copies `count` bytes of the source from
    // `from` into it, then closes it. One part at a time.
    void start(const QString& path, qint64 from, qint64 count);
    // Waits for the part, calling keepWaiting at least every 10 ms; when that
    // returns false, stops the copy and returns -1. Otherwise the bytes copied
    // (fewer than asked when the source ended early). Throws the copy's
    // OperationError.
    qint64 finish(const std::function<bool()>& keepWaiting);
    // The CRC-32 of the part finished last (with takeCrc).
    quint32 partCrc() const { return crc_.value(); }

private:
    qint64 copy(const QString& path, qint64 from, qint64 count);

    const QString sourceName_;
    QFile input_;
    std::atomic<bool> stop_{false};
    qint64 result_ = 0;
    std::exception_ptr error_;
    const bool takeCrc_;
    CopyingThreadCrc crc_;
    JobThread thread_{1}; // last: gone first, before what its job uses
};

} // namespace tfs
