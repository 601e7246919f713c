// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/ChecksumJob.h"

#include "core/FileCopy.h"
#include "verify/Crc32.h"

#include <QFileInfo>

namespace tfs {

ChecksumResult runChecksum(const ChecksumRequest& request, const JobHooks& hooks,
                           const CancelToken& cancel) {
    requireRegularFile(request.path);
    if (hooks.started) hooks.started(QFileInfo(request.path).size());
    CrcHooks crcHooks;
    crcHooks.progress = hooks.progress;
    crcHooks.yield = hooks.yield;
    crcHooks.bytesRead = hooks.bytesDone;
    const FileCrc crc = fileCrc32(request.path, crcHooks, cancel);
    return {crc.crc, crc.bytesRead, cancel.requested()};
}

} // namespace tfs
