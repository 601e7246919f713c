// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LookAlikeNames.h"

bool isUtf8Name(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

bool mayNameLookAlike(const QString& path) { return path.contains(QChar::ReplacementCharacter); }

QString lookAlikeRefusal(const QString& shownName) {
    return QStringLiteral("Cannot use %1: the name is not UTF-8 text, and this program would "
                          "open another file in its place; rename the file")
        .arg(shownName);
}
