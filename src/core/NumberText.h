// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Number texts as the panels show them: the general floating-point form with at
// most 15 significant digits, no trailing zeros, the user's decimal separator.
QString numberText(double value);

// Parses a number text in the same form; throws OperationError when it isn't one.
double parseNumberText(const QString& text);

// Parses a whole number (signed 64-bit); throws OperationError for anything else,
// including a number beyond the 64-bit range.
qint64 parseWholeNumber(const QString& text);

// a x b, throwing OperationError when the product overflows 64 bits.
qint64 checkedMultiply(qint64 a, qint64 b);
