// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/OpenedFile.h"

#include "parts/Naming.h"

#include <QFileInfo>

using namespace tfs;

bool isPartName(const QString& fileName) {
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return false;
    const QStringView digits = QStringView(fileName).mid(dot + 1);
    if (digits.size() < 3) return false;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

QString firstPartOfList(const QString& path) {
    const QString name = fileNameOf(path);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return QString();
    const QString extension = name.mid(dot + 1).toLower();
    if (extension != QLatin1String("txt") && extension != QLatin1String("sfv") &&
        extension != QLatin1String("crc"))
        return QString();
    return joinPartPath(basePathOf(path), 1);
}

QStringList refusalReport(const QString& headline, const QString& fileName) {
    QStringList lines{QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("  ") + headline};
    if (!fileName.isEmpty()) lines << QStringLiteral("  ") + fileName;
    return lines;
}

QStringList unusableFileReport(const QString& path) {
    const QFileInfo info(path);
    const char* refused = nullptr;
    if (mayNameLookAlike(path))
        refused = refusal::NotUtf8;
    else if (!info.exists())
        refused = refusal::Missing;
    else if (info.isDir())
        refused = refusal::Folder;
    else if (!info.isFile())
        refused = refusal::NotRegular;
    else if (!info.isReadable())
        refused = refusal::Unreadable;
    if (!refused) return QStringList();
    return refusalReport(QLatin1String(refused),
                         info.fileName().isEmpty() ? path : info.fileName());
}

OpenedFile classifyOpened(const QString& path) {
    OpenedFile opened;
    opened.report = unusableFileReport(path);
    if (!opened.report.isEmpty()) return opened;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QString absolute = info.absoluteFilePath();
    if (isPartName(name)) {
        opened.panel = OpenedFile::Join;
        opened.path = absolute;
        return opened;
    }
    const QString firstPart = firstPartOfList(absolute);
    if (!firstPart.isEmpty() && QFileInfo(firstPart).isFile()) {
        opened.panel = OpenedFile::Join;
        opened.path = firstPart;
        return opened;
    }
    // A check file is no source to split; a text file without parts beside
    // it may well be one.
    if (!firstPart.isEmpty() && !name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        opened.report = refusalReport(QLatin1String(refusal::NoFirstPart), name);
        return opened;
    }
    opened.panel = OpenedFile::Split;
    opened.path = absolute;
    return opened;
}
