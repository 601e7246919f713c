// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jobs/JobHooks.h"
#include "verify/CompareEngine.h"

#include <QString>

namespace tfs {

// Two files compared byte for byte: the window's Compare Files and --compare.
struct CompareRequest {
    QString first;
    QString second;
};

struct CompareJobResult {
    CompareResult found;
    bool cancelled = false; // stopped by the cancel: found says what was seen so far
};

// Refuses anything but two regular files (a named pipe would wait for a
// writer; OperationError), tells hooks.started (the first file's size), then compares them.
CompareJobResult runCompare(const CompareRequest& request, const JobHooks& hooks,
                            CancelToken& cancel);

} // namespace tfs
