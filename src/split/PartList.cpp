#include "split/PartList.h"

#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "split/Naming.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace tfs {

QString partListPath(const QString& destFolder, const QString& sourceName) {
    return destFolder + sourceName + QStringLiteral(".txt");
}

void writePartList(const QString& path, const QStringList& partNames) {
    QByteArray content;
    for (const QString& name : partNames) {
        content += name.toUtf8();
        content += "\r\n";
    }
    saveWholeFile(path, content);
}

void saveWholeFile(const QString& path, const QByteArray& content) {
    // Unbuffered, so that a write that fails (a full disk) is seen here: a
    // buffered QSaveFile may commit without noticing that its final flush failed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw OperationError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    if (file.write(content) != content.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        throw OperationError(QStringLiteral("Cannot write %1: %2").arg(path, error));
    }
    if (!file.commit())
        throw OperationError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

bool partListExists(const QString& path) { return QFileInfo(path).isFile(); }

void deletePartList(const QString& path) {
    if (partListExists(path)) QFile::remove(path);
}

namespace {

QStringList splitLines(const QByteArray& content) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = content.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = content.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(QString::fromUtf8(content.mid(start, i - start)));
            if (c == '\r' && i + 1 < n && content.at(i + 1) == '\n') ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n) lines.append(QString::fromUtf8(content.mid(start)));
    return lines;
}

} // namespace

bool readPartList(const QString& path, QStringList& lines, QString& error, qint64 maxBytes) {
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (maxBytes >= 0 && file.size() > maxBytes) {
        error = QStringLiteral("Cannot read %1: it is larger than a part list").arg(path);
        return false;
    }
    const QByteArray content = maxBytes >= 0 ? file.read(maxBytes + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (maxBytes >= 0 && content.size() > maxBytes) {
        error = QStringLiteral("Cannot read %1: it is larger than a part list").arg(path);
        return false;
    }
    lines = splitLines(content);
    return true;
}

bool isPartListOf(const QString& path, const QString& sourceName) {
    if (!QFileInfo(path).isFile()) return false;
    QStringList lines;
    QString error;
    if (!readPartList(path, lines, error, PartListMaxBytes) || lines.isEmpty()) return false;
    const QString prefix = sourceName + QLatin1Char('.');
    for (const QString& line : std::as_const(lines)) {
        bool number = false;
        const QString digits = line.mid(prefix.size());
        const qint64 ordinal = digits.toLongLong(&number);
        if (!line.startsWith(prefix) || !number || ordinal < 1 || ordinalSuffix(ordinal) != digits)
            return false;
    }
    return true;
}

QStringList removeEarlierPartList(const QString& path) {
    if (!partListExists(path)) return {};
    QStringList names;
    QString unreadable;
    readPartList(path, names, unreadable);
    QFile file(path);
    if (!file.remove())
        throw OperationError(QStringLiteral("Cannot delete %1, the part list of an earlier split "
                                            "whose parts this split replaces: %2")
                                 .arg(path, file.errorString()));
    return names;
}

void removeEarlierPartsBeyond(const QStringList& earlierNames, const QString& destFolder,
                              const QString& sourceName, qint64 newCount) {
    const QString prefix = sourceName + QLatin1Char('.');
    for (const QString& name : earlierNames) {
        if (!name.startsWith(prefix)) continue;
        bool number = false;
        const QString digits = name.mid(prefix.size());
        const qint64 ordinal = digits.toLongLong(&number);
        if (!number || ordinal <= newCount || ordinalSuffix(ordinal) != digits) continue;
        const QString path = destFolder + name;
        if (QFileInfo(path).isFile()) QFile::remove(path);
    }
}

void scanForMissingParts(JoinState& state, const QString& chosenPart) {
    state.JoinListEntries.clear();
    state.JoinMissingParts.clear();
    state.JoinListName = joinListNameOf(chosenPart);
    const QDir folder(folderOf(chosenPart).isEmpty() ? QStringLiteral(".") : folderOf(chosenPart));

    // JoinListFile stands for the list while its lines are read.
    state.JoinListFile = std::make_unique<QFile>(folder.filePath(state.JoinListName));
    QStringList lines;
    QString error;
    const bool read = readPartList(state.JoinListFile->fileName(), lines, error);
    state.JoinListFile.reset();
    if (!read) throw OperationError(error);

    for (const QString& line : std::as_const(lines)) {
        state.JoinListLine = line;
        state.JoinListEntries.append(line);
    }
    for (const QString& entry : std::as_const(state.JoinListEntries)) {
        state.JoinListedName = entry;
        const bool exists = !entry.isEmpty() && !entry.contains(QChar(0)) &&
                            QFileInfo(folder.filePath(entry)).isFile();
        if (!exists) state.JoinMissingParts.append(entry + QLatin1Char(' '));
    }
}

} // namespace tfs
