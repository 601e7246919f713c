// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts/PartList.h"

#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "parts/Naming.h"
#include "parts/PartSet.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <cstdio>
#include <functional>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    // Written under a new hidden name beside it, then renamed over the name:
    // the file appears only once complete, and whatever had the name (a link
    // to a file elsewhere among others) loses it rather than being written
    // through. Unbuffered, so that a write that fails (a full disk) is seen.
    QFile file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(
            folderOf(path) +
            hiddenNameOf(fileNameOf(path), QStringLiteral(".new-%1").arg(
                                               QRandomGenerator::global()->bounded(1 << 30))));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) break;
        const QFileInfo taken(file.fileName());
        if (!taken.exists() && !taken.isSymLink()) break; // the folder refuses, not a name taken
    }
    if (!file.isOpen())
        throw OperationError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    const QString temporary = file.fileName();
    try {
        writeBytesAt(file, 0, content.constData(), content.size());
        closeWritten(file);
        if (std::rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(path).constData()) != 0)
            throw OperationError(systemErrorText(QStringLiteral("Cannot write"), path, errno));
    } catch (const OperationError& e) {
        file.close();
        QFile::remove(temporary);
        throw OperationError(e.text().replace(temporary, path));
    }
}

bool partListExists(const QString& path) { return QFileInfo(path).isFile(); }

void deletePartList(const QString& path) {
    if (partListExists(path)) QFile::remove(path);
}

namespace {

// Reads the file at `path` a bounded piece at a time and hands `take` every
// line without its end (CR LF, LF or CR end a line; a last line without an
// end counts; empty lines too), until `take` returns false. Only a regular
// file is read (a named pipe is never waited on), and a line longer than
// PartListLineMaxBytes ends the reading: whatever the file's size, the memory
// stays a piece and a line. False, with the reason in `error`, when the file
// can't be opened or read, or holds such a line or a line that isn't UTF-8
// text (no file name could be made of it exactly).
bool forEachListLine(const QString& path, const std::function<bool(const QString&)>& take,
                     QString& error) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemErrorText(QStringLiteral("Cannot open"), path, errno);
        return false;
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("Cannot open %1: it is not a regular file").arg(path);
        return false;
    }
    constexpr qint64 piece = 64 << 10;
    std::vector<char> buffer(static_cast<size_t>(piece));
    QByteArray line;
    qint64 pos = 0;
    int number = 1;
    bool afterCr = false; // a CR ended the last line: an LF right after it is its end too
    bool more = true;
    const auto finish = [&]() -> bool {
        const QString text = QString::fromUtf8(line);
        if (text.toUtf8() != line) {
            error =
                QStringLiteral("Cannot read %1: line %2 is not UTF-8 text").arg(path).arg(number);
            return false;
        }
        more = take(text);
        line.clear();
        ++number;
        return true;
    };
    for (;;) {
        int err = 0;
        const qint64 n = readFullyAt(fd, buffer.data(), pos, piece, err);
        if (err != 0) {
            error = systemErrorText(QStringLiteral("Cannot read"), path, err);
            return false;
        }
        for (qint64 i = 0; i < n && more; ++i) {
            const char c = buffer[static_cast<size_t>(i)];
            if (afterCr && c == '\n') {
                afterCr = false;
                continue;
            }
            afterCr = c == '\r';
            if (c == '\r' || c == '\n') {
                if (!finish()) return false;
                continue;
            }
            if (line.size() >= PartListLineMaxBytes) {
                error = QStringLiteral("Cannot read %1: line %2 is too long for a part list")
                            .arg(path)
                            .arg(number);
                return false;
            }
            line += c;
        }
        if (!more) return true;
        if (n < piece) break;
        pos += n;
    }
    return line.isEmpty() || finish();
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(PartListLineMaxBytes + 2);
        if (!take(QString::fromUtf8(line).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'))))
            break;
    }
    return true;
#endif
}

} // namespace

bool readPartList(const QString& path, QStringList& lines, QString& error, qint64 maxBytes) {
    lines.clear();
    if (maxBytes >= 0 && QFileInfo(path).size() > maxBytes) {
        error = QStringLiteral("Cannot read %1: it is larger than a part list").arg(path);
        return false;
    }
    return forEachListLine(
        path,
        [&lines](const QString& line) {
            lines.append(line);
            return true;
        },
        error);
}

bool isPartListOf(const QString& path, const QString& sourceName) {
    if (!QFileInfo(path).isFile()) return false;
    const QString prefix = sourceName + QLatin1Char('.');
    bool all = true;
    qint64 count = 0;
    QString error;
    const bool read = forEachListLine(
        path,
        [&](const QString& line) {
            bool number = false;
            const QString digits = line.mid(prefix.size());
            const qint64 ordinal = digits.toLongLong(&number);
            all = line.startsWith(prefix) && number && ordinal >= 1 &&
                  ordinalSuffix(ordinal) == digits;
            ++count;
            return all;
        },
        error);
    return read && all && count > 0;
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

void scanForMissingParts(JoinState& state, const PartSet& set) {
    state.JoinListEntries.clear();
    state.JoinMissingParts.clear();
    state.JoinListName = set.listName();
    const QDir folder(set.folder.isEmpty() ? QStringLiteral(".") : set.folder);

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
