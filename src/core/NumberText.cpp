// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/NumberText.h"

#include "core/OperationError.h"

#include <QLocale>
#include <QtNumeric>

// The digits are always ASCII (0-9), whatever the locale writes: the part size
// takes only those, and the texts are compared character for character. Only
// the decimal separator is the user's.
namespace {
QString decimalSeparator() { return QLocale().decimalPoint(); }
} // namespace

QString numberText(double value) {
    QString text = QLocale::c().toString(value, 'g', 15);
    const QString separator = decimalSeparator();
    if (separator != QLatin1String(".")) text.replace(QLatin1Char('.'), separator);
    return text;
}

double parseNumberText(const QString& text) {
    QString plain = text.trimmed();
    const QString separator = decimalSeparator();
    if (separator != QLatin1String(".")) {
        if (plain.contains(QLatin1Char('.')))
            plain.clear(); // a point is no separator here: not a number text
        plain.replace(separator, QStringLiteral("."));
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(plain, &ok);
    if (!ok)
        throw OperationError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

qint64 parseWholeNumber(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (!ok) throw OperationError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

qint64 checkedMultiply(qint64 a, qint64 b) {
    qint64 r = 0;
    if (qMulOverflow(a, b, &r))
        throw OperationError(
            QStringLiteral("Integer overflow: %1 x %2 does not fit in 64 bits").arg(a).arg(b));
    return r;
}
