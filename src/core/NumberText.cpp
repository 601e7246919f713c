#include "core/NumberText.h"

#include "core/FileError.h"

#include <QLocale>
#include <limits>

QString numberText(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'g', 15);
    return text;
}

double parseNumberText(const QString& text) {
    QLocale locale;
    bool ok = false;
    const double v = locale.toDouble(text.trimmed(), &ok);
    if (!ok)
        throw FileError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

qint64 parseWholeNumber(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw FileError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

qint64 checkedMultiply(qint64 a, qint64 b) {
    qint64 r = 0;
#if defined(__GNUC__) || defined(__clang__)
    const bool overflow = __builtin_mul_overflow(a, b, &r);
#else
    const bool overflow = a != 0 && ((a == -1 && b == std::numeric_limits<qint64>::min()) ||
                                     (b == -1 && a == std::numeric_limits<qint64>::min()) ||
                                     (r = a * b) / a != b);
#endif
    if (overflow)
        throw FileError(QStringLiteral("Integer overflow: %1 x %2 does not fit in 64 bits").arg(a).arg(b));
    return r;
}
