#include "split/SourceChecks.h"

#include "core/FileError.h"
#include "split/Naming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

void requireRegularFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw FileError(systemErrorText(QStringLiteral("Cannot open"), path, errno));
    if (S_ISREG(st.st_mode)) return;
    const QString what = S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder, not a file")
                         : S_ISFIFO(st.st_mode)
                             ? QStringLiteral("it is a named pipe, not a file")
                             : QStringLiteral("it is a device or socket, not a file");
#else
    const QFileInfo info(path);
    if (!info.exists())
        throw FileError(QStringLiteral("Cannot open %1: it does not exist").arg(path));
    if (info.isFile()) return;
    const QString what = info.isDir() ? QStringLiteral("it is a folder, not a file")
                                      : QStringLiteral("it is not a regular file");
#endif
    throw FileError(QStringLiteral("Cannot open %1: %2").arg(path, what));
}

// Checked again right before a split: the source may have changed since it was
// chosen. An empty file has nothing to split. A part is created over whatever
// bears its name, so a link to the source named like one of its parts (a
// symbolic or a hard one) would have the split empty its own source.
void requireSplittableSource(const QString& path, const QString& destFolder) {
    requireRegularFile(path);
    if (QFileInfo(path).size() == 0)
        throw FileError(QStringLiteral("Cannot split %1: the file is empty").arg(path));

    const QString prefix = fileNameOf(path) + QLatin1Char('.');
    const QDir dest(destFolder);
#ifdef Q_OS_UNIX
    struct stat source;
    if (::stat(QFile::encodeName(path).constData(), &source) != 0)
        throw FileError(systemErrorText(QStringLiteral("Cannot open"), path, errno));
#endif
    for (const QString& name : dest.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix) || name.size() == prefix.size()) continue;
        const QStringView digits = QStringView(name).mid(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        const QString partPath = dest.filePath(name);
#ifdef Q_OS_UNIX
        struct stat part;
        const bool same = ::stat(QFile::encodeName(partPath).constData(), &part) == 0 &&
                          part.st_dev == source.st_dev && part.st_ino == source.st_ino;
#else
        const bool same =
            QFileInfo(partPath).canonicalFilePath() == QFileInfo(path).canonicalFilePath();
#endif
        if (same)
            throw FileError(QStringLiteral("Cannot split %1: %2 is the same file (a link to it), "
                                           "and writing that part would destroy it")
                                .arg(path, partPath));
    }
}
