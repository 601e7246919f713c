// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/FileCopy.h"

#include <QFile>

// Copying through the 512 KiB pipe fills the output with large page-cache
// folios: the fastest copy while memory comes easily. Where large pieces of
// fresh memory come slowly (a virtual machine whose host took back what the
// guest freed), the same copy ran at a third of the speed of the kernel's own
// file copy, which fills small folios. An engine tells its pace how long its
// copies took; it watches every 64 MiB copied through the pipe and keeps the
// kernel's copy for the rest of the run once that was slow.
class CopyPace {
public:
    // What to pass to copyBytes as throughPipe.
    bool throughPipe() const { return throughPipe_; }
    // A copy (not shared) of `bytes` took `nanoseconds`.
    void copied(qint64 bytes, qint64 nanoseconds);
    // copyBytes the way the pace says, timed (without the watcher's time) and
    // told to it (when not shared).
    qint64 copy(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count, qint64* shared,
                CopyWatcher* watcher = nullptr);

private:
    bool throughPipe_ = true;
    qint64 bytes_ = 0;
    qint64 nanoseconds_ = 0;
};
