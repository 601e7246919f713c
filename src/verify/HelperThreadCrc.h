// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/MappedFile.h"

#include <QList>
#include <QtGlobal>
#include <memory>

class QFile;

namespace tfs {

// The CRC-32 of the bytes an engine copies, taken from the page cache on a
// thread of its own while the engine goes on copying, so that the check
// files cost the copy next to nothing. The bytes are folded with the fast
// kernel where they lie, through a mapping, where the page cache holds them
// in large folios; elsewhere they are read again into a small buffer.
//
// For an engine that copies on one thread, so that the helper has the other
// core (the join); an engine whose copies take every core folds on its own
// threads instead (CopyingThreadCrc). A run is a sequence of ranges of one open file:
// the join's parts are one run each. Where no thread can be started, the
// work is done inside the calls.
class HelperThreadCrc {
public:
    HelperThreadCrc();
    ~HelperThreadCrc();
    HelperThreadCrc(const HelperThreadCrc&) = delete;
    HelperThreadCrc& operator=(const HelperThreadCrc&) = delete;

    // Starts a new run on `file`, which the caller may close or reuse
    // afterwards (the helper keeps its own handle).
    void begin(const QFile& file);
    // The run's next `count` bytes, at `pos` of its file. Contiguous ranges
    // are gathered into larger jobs.
    void add(qint64 pos, qint64 count);
    // Waits for the queued work and returns the CRC-32 of every run begun, in
    // order. Throws OperationError when bytes of a run couldn't be read.
    QList<quint32> results();

private:
    void flush();
    const MappedReadGuard guard_; // while the helper folds mapped bytes
    struct Worker;
    std::unique_ptr<Worker> worker_;
    qint64 pendingPos_ = 0;
    qint64 pendingCount_ = 0;
};

} // namespace tfs
