// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/HiddenOutput.h"

#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "join/JoinEngine.h"
#include "parts/Naming.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

namespace {

// Longest output name (in bytes on disk) carried into the hidden file's name,
// leaving room for the dot, ".part-" and the suffix within the usual 255.
constexpr int HiddenNameStemMax = 200;

// Renames `from` to `to` unless something is at `to` (errno EEXIST then): in
// one step where the file system allows it, else by a hard link, else (no
// links on FAT) by a test just before the rename.
bool renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
#ifdef Q_OS_UNIX
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST) return false;
#endif
    const QFileInfo target(QFile::decodeName(to));
    if (target.exists() || target.isSymLink()) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.constData(), to.constData()) == 0;
}

const QString HiddenInfix = QStringLiteral(".part-");

// The mark that only this program gives its hidden files: a hash of the
// output's name as the hidden file carries it and of the name's random
// letters (FNV-1a, 32 bits, as 8 hex digits). The sweep removes a file only
// when its name carries the mark: a user's ".notes.part-draft1" never does.
QString hiddenMark(const QString& stem, const QString& letters) {
    quint32 hash = 2166136261u;
    for (const char byte :
         (QStringLiteral("tarvello-file-splitter:") + stem + QLatin1Char(':') + letters).toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619u;
    }
    return QStringLiteral("%1").arg(hash, 8, 16, QLatin1Char('0'));
}

// The output's name as the hidden file carries it: cut to HiddenNameStemMax
// bytes on disk.
QString hiddenStemOf(QString name) {
    while (QFile::encodeName(name).size() > HiddenNameStemMax ||
           (!name.isEmpty() && name.back().isHighSurrogate()))
        name.chop(1);
    return name;
}

} // namespace

HiddenOutput::HiddenOutput(const QString& outputPath) : outputPath_(outputPath) { create(); }

HiddenOutput::~HiddenOutput() { discard(); }

void HiddenOutput::commit(bool replace) {
    closeWritten(file_); // a failed close is a failed write
    const QByteArray from = QFile::encodeName(path());
    const QByteArray to = QFile::encodeName(outputPath_);
    if (!replace) {
        if (!renameWithoutReplacing(from, to))
            throw OperationError(
                systemErrorText(QStringLiteral("Cannot create"), outputPath_, errno));
        done_ = true;
        releaseLock();
        return;
    }
#ifndef Q_OS_UNIX
    QFile::remove(outputPath_); // rename() replaces the target only on POSIX systems
#endif
    if (std::rename(from.constData(), to.constData()) != 0)
        throw OperationError(systemErrorText(QStringLiteral("Cannot create"), outputPath_, errno));
    done_ = true;
    releaseLock();
}

void HiddenOutput::discard() {
    if (!done_) {
        file_.close();
        QFile::remove(path());
        done_ = true;
    }
    releaseLock();
}

void HiddenOutput::create() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QString stem = hiddenStemOf(fileNameOf(outputPath_));
    const QString prefix = folderOf(outputPath_) + QLatin1Char('.') + stem + HiddenInfix;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString random;
        for (int i = 0; i < 6; ++i)
            random += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        const QString name = prefix + random + QLatin1Char('-') + hiddenMark(stem, random);
        file_.setFileName(name);
        // NewOnly: O_EXCL, so an existing file or link is never opened.
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (lock(name)) return;
            file_.close(); // another join's cleanup took it: try another name
            continue;
        }
        const QFileInfo taken(name);
        if (!taken.exists() && !taken.isSymLink())
            throw OperationError(
                QStringLiteral("Cannot create %1: %2").arg(outputPath_, file_.errorString()));
    }
    throw OperationError(
        QStringLiteral("Cannot create %1: no free name for the temporary file").arg(outputPath_));
}

// Locks the new file as a running join's, so that no other join takes it for
// a leftover (removeAbandoned). False when another join's cleanup got to it
// between its creation and the lock. A file system without locks leaves it
// unlocked; the cleanup then leaves it alone too.
bool HiddenOutput::lock(const QString& name) {
#ifdef Q_OS_UNIX
    const int fd = file_.handle();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) != 0 || ::lstat(QFile::encodeName(name).constData(), &named) != 0 ||
        opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)
        return false;
    // The lock lasts as long as a descriptor of the file is open: this one
    // keeps it past the file's close until the rename or the removal.
    lockFd_ = ::dup(fd);
#else
    Q_UNUSED(name);
#endif
    return true;
}

void HiddenOutput::releaseLock() {
#ifdef Q_OS_UNIX
    if (lockFd_ >= 0) ::close(lockFd_);
#endif
    lockFd_ = -1;
}

void HiddenOutput::removeAbandoned(const QString& outputPath) {
#ifdef Q_OS_UNIX
    static const QRegularExpression hiddenName(
        QStringLiteral("^\\.(.+)\\.part-([A-Za-z0-9]{6})-([0-9a-f]{8})$"));
    const auto withoutClonePrefixes = [](QString name) {
        while (name.startsWith(QLatin1String(JoinClonePrefix)))
            name.remove(0, int(qstrlen(JoinClonePrefix)));
        return name;
    };
    const QString folder = folderOf(outputPath);
    const QString name = withoutClonePrefixes(fileNameOf(outputPath));
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = hiddenName.match(entry);
        if (!match.hasMatch()) continue;
        const QString stem = match.captured(1);
        if (match.captured(3) != hiddenMark(stem, match.captured(2))) continue; // not ours
        const QString stemName = withoutClonePrefixes(stem);
        // A long name was cut to make the hidden file's name.
        const bool cut =
            stem == hiddenStemOf(stem) && stem != hiddenStemOf(stem + QLatin1Char('x'));
        if (stemName != name && !(cut && !stemName.isEmpty() && name.startsWith(stemName)))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        // Only a file of ours, as the join made it: one name, this user's.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            S_ISREG(opened.st_mode) && opened.st_nlink == 1 && opened.st_uid == ::geteuid() &&
            ::lstat(path.constData(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev)
            ::unlink(path.constData());
        ::close(fd);
    }
#else
    Q_UNUSED(outputPath);
#endif
}

} // namespace tfs
