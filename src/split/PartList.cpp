#include "split/PartList.h"

#include "core/FileError.h"
#include "core/ProgramState.h"
#include "split/Naming.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString partListPath(const QString& destFolder, const QString& sourceName) {
    return destFolder + sourceName + QStringLiteral(".txt");
}

void writePartList(const QString& path, const QStringList& partNames) {
    QByteArray content;
    for (const QString& name : partNames) {
        content += name.toUtf8();
        content += "\r\n";
    }
    // Unbuffered, so that a write that fails (a full disk) is seen here: a
    // buffered QSaveFile may commit without noticing that its final flush failed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    if (file.write(content) != content.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(path, error));
    }
    if (!file.commit())
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

bool partListExists(const QString& path) { return QFileInfo(path).isFile(); }

void deletePartList(const QString& path) {
    if (partListExists(path))
        QFile::remove(path);
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
            if (c == '\r' && i + 1 < n && content.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < n)
        lines.append(QString::fromUtf8(content.mid(start)));
    return lines;
}

} // namespace

void scanForMissingParts(ProgramState& state, const QString& chosenPart) {
    state.JoinListEntries.clear();
    state.JoinMissingParts.clear();
    state.JoinListName = joinListNameOf(chosenPart);
    const QDir folder(folderOf(chosenPart).isEmpty() ? QStringLiteral(".") : folderOf(chosenPart));

    state.JoinListFile = std::make_unique<QFile>(folder.filePath(state.JoinListName));
    QFile& list = *state.JoinListFile;
    if (!list.open(QIODevice::ReadOnly))
        throw FileError(
            QStringLiteral("Cannot open %1: %2").arg(list.fileName(), list.errorString()));
    const QByteArray content = list.readAll();
    const bool failed = list.error() != QFileDevice::NoError;
    const QString error = list.errorString();
    list.close();
    state.JoinListFile.reset();
    if (failed)
        throw FileError(QStringLiteral("Cannot read %1: %2").arg(folder.filePath(state.JoinListName), error));

    for (const QString& line : splitLines(content)) {
        state.JoinListLine = line;
        state.JoinListEntries.append(line);
    }
    for (const QString& entry : std::as_const(state.JoinListEntries)) {
        state.JoinListedName = entry;
        const bool exists = !entry.isEmpty() && !entry.contains(QChar(0)) &&
                            QFileInfo(folder.filePath(entry)).isFile();
        if (!exists)
            state.JoinMissingParts.append(entry + QLatin1Char(' '));
    }
}
