// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jobs/JobHooks.h"

#include <QString>

namespace tfs {

// The CRC-32 of one file: the window's CheckSum and --checksum.
struct ChecksumRequest {
    QString path;
};

struct ChecksumResult {
    quint32 crc = 0;
    qint64 bytesRead = 0;
    bool cancelled = false; // stopped by the cancel: the value covers bytesRead only
};

// Refuses anything but a regular file (a named pipe would wait for a writer;
// OperationError), tells hooks.started (its size), then reads the file whole.
ChecksumResult runChecksum(const ChecksumRequest& request, const JobHooks& hooks,
                           const CancelToken& cancel);

} // namespace tfs
