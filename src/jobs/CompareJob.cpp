// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/CompareJob.h"

#include "core/FileCopy.h"

#include <QFileInfo>

namespace tfs {

CompareJobResult runCompare(const CompareRequest& request, const JobHooks& hooks,
                            CancelToken& cancel) {
    requireRegularFile(request.first);
    requireRegularFile(request.second);
    if (hooks.started) hooks.started(QFileInfo(request.first).size());
    CompareJobResult result;
    result.found = compareFiles(request.first, request.second, hooks, cancel);
    result.cancelled = cancel.requested();
    return result;
}

} // namespace tfs
