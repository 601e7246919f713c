// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FreeSpace.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace {

FreeSpaceQuery& overrideQuery() {
    static FreeSpaceQuery query;
    return query;
}

double realFreeSpace(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return -1;
    QStorageInfo info(folder);
    if (!info.isValid()) return -1;
    const qint64 bytes = info.bytesAvailable();
    return bytes < 0 ? -1.0 : static_cast<double>(bytes);
}

} // namespace

void setFreeSpaceQuery(FreeSpaceQuery query) { overrideQuery() = std::move(query); }

double freeSpaceOf(const QString& folder) {
    const FreeSpaceQuery& query = overrideQuery();
    return query ? query(folder) : realFreeSpace(folder);
}

QString volumeRootOf(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return folder;
    QStorageInfo info(folder);
    return info.isValid() ? info.rootPath() : folder;
}
