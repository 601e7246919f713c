// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts/Naming.h"

#include <QDir>
#include <QFile>

namespace tfs {

namespace {

bool isSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':');
#else
    return c == QLatin1Char('/');
#endif
}

int lastSeparator(const QString& path) {
    for (int i = path.size() - 1; i >= 0; --i)
        if (isSeparator(path.at(i))) return i;
    return -1;
}

// Index of the last "." of the file name part of a path, or -1.
int lastDotInName(const QString& path) {
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > lastSeparator(path) ? dot : -1;
}

} // namespace

QString ordinalSuffix(qint64 ordinal) {
    QString digits = QStringLiteral("000");
    if (ordinal < 10) digits = QStringLiteral("00") + QString::number(ordinal);
    if (ordinal >= 10) digits = QStringLiteral("0") + QString::number(ordinal);
    if (ordinal == 100) digits = QStringLiteral("100");
    return digits;
}

QString fileNameOf(const QString& path) { return path.mid(lastSeparator(path) + 1); }

QString folderOf(const QString& path) { return path.left(lastSeparator(path) + 1); }

QString withTrailingSeparator(const QString& folder) {
    QString f = folder;
    if (f.isEmpty()) return f;
    while (f.size() > 1 && isSeparator(f.back()) && isSeparator(f.at(f.size() - 2)))
        f.chop(1);
    if (!isSeparator(f.back())) f += QDir::separator();
    return f;
}

QString partName(const QString& sourcePath, qint64 ordinal) {
    return fileNameOf(sourcePath) + QLatin1Char('.') + ordinalSuffix(ordinal);
}

qint64 partOrdinalOf(const QString& name, const QString& setName) {
    if (name.size() <= setName.size() + 1 || !name.startsWith(setName) ||
        name.at(setName.size()) != QLatin1Char('.'))
        return 0;
    const QString digits = name.mid(setName.size() + 1);
    bool number = false;
    const qint64 ordinal = digits.toLongLong(&number);
    return number && ordinal > 0 && ordinalSuffix(ordinal) == digits ? ordinal : 0;
}

QString partPath(const QString& destFolder, const QString& sourcePath, qint64 ordinal) {
    return destFolder + partName(sourcePath, ordinal);
}

QString basePathOf(const QString& chosenPart) {
    const int dot = lastDotInName(chosenPart);
    return dot < 0 ? chosenPart : chosenPart.left(dot);
}

QString ordinalDigits(qint64 ordinal, PartNumbering numbering) {
    if (numbering == PartNumbering::Ours) return ordinalSuffix(ordinal);
    return QStringLiteral("%1").arg(ordinal, 3, 10, QLatin1Char('0'));
}

qint64 ordinalOfPart(const QString& partPath) {
    const int dot = lastDotInName(partPath);
    if (dot < 0) return 0;
    const QString digits = partPath.mid(dot + 1);
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    bool ok = false;
    const qint64 ordinal = digits.toLongLong(&ok);
    if (!ok || ordinal < 1) return 0;
    const bool named = ordinalDigits(ordinal, PartNumbering::Ours) == digits ||
                       ordinalDigits(ordinal, PartNumbering::Plain) == digits;
    return named ? ordinal : 0;
}

QString joinPartPath(const QString& basePath, qint64 ordinal, PartNumbering numbering) {
    return basePath + QLatin1Char('.') + ordinalDigits(ordinal, numbering);
}

QString joinOutputNameOf(const QString& chosenPart) { return fileNameOf(basePathOf(chosenPart)); }

QString joinListNameOf(const QString& chosenPart) {
    return joinOutputNameOf(chosenPart) + QStringLiteral(".txt");
}

} // namespace tfs

namespace tfs {

QString hiddenNameOf(const QString& name, const QString& suffix) {
    constexpr int NameMax = 255; // bytes, on the usual file systems
    const QString whole = QLatin1Char('.') + name + suffix;
    if (QFile::encodeName(whole).size() <= NameMax) return whole;
    quint32 hash = 2166136261u; // FNV-1a of the whole name
    for (const char byte : QFile::encodeName(name)) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619u;
    }
    QString stem = name;
    const QString tail = QStringLiteral("~%1").arg(hash, 8, 16, QLatin1Char('0')) + suffix;
    while (!stem.isEmpty() && (QFile::encodeName(QLatin1Char('.') + stem + tail).size() > NameMax ||
                               stem.back().isHighSurrogate()))
        stem.chop(1);
    return QLatin1Char('.') + stem + tail;
}

} // namespace tfs
