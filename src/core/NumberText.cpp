#include "core/NumberText.h"

#include "core/FileError.h"

#include <QLocale>
#include <QtNumeric>

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
    if (qMulOverflow(a, b, &r))
        throw FileError(QStringLiteral("Integer overflow: %1 x %2 does not fit in 64 bits").arg(a).arg(b));
    return r;
}
