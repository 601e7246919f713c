// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LookAlikeNames.h"

bool isUtf8Name(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

bool mayNameLookAlike(const QString& path) { return path.contains(QChar::ReplacementCharacter); }

QString lookAlikeRefusal(const QString& shownName) {
    return QStringLiteral("Cannot use %1: the name is not UTF-8 text, and this program would "
                          "open another file in its place; rename the file")
        .arg(shownName);
}

QString nameBytesShown(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7F ? QString(QLatin1Char(c))
                                     : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}
