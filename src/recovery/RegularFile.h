// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

namespace tfs {

// Opens the file at `path` for reading when it is a regular file, whether its
// name is a symbolic link or not: a named pipe, a device or a folder under
// that name is refused without being waited on (an open for reading of a pipe
// waits for a writer for ever). On failure `why` says why ("it is not a
// regular file" or the system's message) and `file` stays closed.
bool openRegularFile(QFile& file, const QString& path, QString& why);

} // namespace tfs
