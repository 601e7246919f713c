// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/OperationError.h"

#include <cstring>

QString systemErrorText(const QString& what, const QString& path, int err) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(err)));
}
