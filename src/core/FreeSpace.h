// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

// The bytes available to the user on the volume that holds `folder`: -1 when
// the volume can't be queried, for instance when the folder no longer exists.
double freeSpaceOf(const QString& folder);

// The root path (mount point) of the volume holding a folder, for messages;
// the folder itself when it can't be queried.
QString volumeRootOf(const QString& folder);

// Tests replace the free-space query (folder -> bytes, -1 for unknown) to
// reach exact margins; an empty function restores the real query.
using FreeSpaceQuery = std::function<double(const QString& folder)>;
void setFreeSpaceQuery(FreeSpaceQuery query);
