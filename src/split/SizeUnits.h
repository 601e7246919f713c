// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The four size units of the split panel, in the order of its unit box.
// All are powers of 1,024.
namespace sizeunits {

inline const QStringList Names{QStringLiteral("Bytes"), QStringLiteral("Kilobytes"),
                               QStringLiteral("Megabytes"), QStringLiteral("Gigabytes")};
inline constexpr qint64 Factors[] = {1, 1024, 1048576, 1073741824};
inline constexpr int Megabytes = 2;

// Index of the unit whose name the text is exactly, -1 for any other text.
inline int indexOf(const QString& text) { return Names.indexOf(text); }

} // namespace sizeunits
