// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/FirstPartHold.h"

#include "core/OperationError.h"
#include "parts/HiddenFirstPart.h"
#include "parts/Naming.h"

#include <QFile>
#include <cstdio>
#include <utility>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

void FirstPartHold::lock(const QString& what, const QString& partPath) {
    final_ = partPath;
    const QString hidden = hiddenFirstPartPath(partPath);
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(hidden);
    for (int attempt = 0; attempt < 3 && fd_ < 0; ++attempt) {
        const int fd =
            ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0 && errno == ELOOP) { // a link of that name is no file of ours
            ::unlink(name.constData());
            continue;
        }
        if (fd < 0)
            throw OperationError(systemErrorText(QStringLiteral("Cannot create"), partPath, errno));
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            throw OperationError(QStringLiteral("Cannot create %1: %2 is in the way, not a file")
                                     .arg(partPath, hidden));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            throw OperationError(
                QStringLiteral("Cannot split %1: another split is writing the parts of a file "
                               "of the same name into %2")
                    .arg(what, folderOf(partPath)));
        }
        struct stat named {};
        const bool same = ::lstat(name.constData(), &named) == 0 && named.st_ino == opened.st_ino &&
                          named.st_dev == opened.st_dev;
        // A second name of a published part 1 (a split killed while it wrote
        // its list) is not written through: the name goes, and is made anew.
        if (same && opened.st_nlink > 1) ::unlink(name.constData());
        if (same && opened.st_nlink == 1)
            fd_ = fd;
        else
            ::close(fd); // a join's sweep took it meanwhile: made anew
    }
    if (fd_ < 0)
        throw OperationError(
            QStringLiteral("Cannot create %1: %2 keeps changing").arg(partPath, hidden));
#else
    Q_UNUSED(what);
#endif
    hidden_ = hidden;
}

void FirstPartHold::replaceName() {
    started_ = true;
#ifdef Q_OS_UNIX
    struct stat existing {};
    const QByteArray own = QFile::encodeName(final_);
    if (::lstat(own.constData(), &existing) != 0) {
        if (errno != ENOENT)
            throw OperationError(systemErrorText(QStringLiteral("Cannot create"), final_, errno));
        return;
    }
    if (S_ISDIR(existing.st_mode))
        throw OperationError(systemErrorText(QStringLiteral("Cannot create"), final_, EISDIR));
    if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        throw OperationError(
            QStringLiteral("Cannot create %1: something of that name is in the way, not a file")
                .arg(final_));
    if (::unlink(own.constData()) != 0)
        throw OperationError(systemErrorText(QStringLiteral("Cannot create"), final_, errno));
#else
    QFile::remove(final_);
#endif
}

void FirstPartHold::publish() {
    if (hidden_.isEmpty() || published_) return;
    const QByteArray from = QFile::encodeName(hidden_);
    const QByteArray to = QFile::encodeName(final_);
#ifdef Q_OS_UNIX
    // Whatever took the name meanwhile is replaced, never written through.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::link(from.constData(), to.constData()) == 0) {
            published_ = true;
            return;
        }
        if (errno != EEXIST || ::unlink(to.constData()) != 0) break;
    }
#endif
    // No hard links here (FAT, exFAT): part 1 is renamed.
    if (std::rename(from.constData(), to.constData()) != 0) {
        const int err = errno;
        discard();
        throw OperationError(systemErrorText(QStringLiteral("Cannot create"), final_, err));
    }
    hidden_.clear();
    unlock();
}

void FirstPartHold::discard() {
    if (!hidden_.isEmpty()) QFile::remove(std::exchange(hidden_, QString()));
    published_ = false;
    unlock();
}

void FirstPartHold::keep() {
    if (!published_ && !hidden_.isEmpty() &&
        (!started_ || std::rename(QFile::encodeName(hidden_).constData(),
                                  QFile::encodeName(final_).constData()) != 0))
        QFile::remove(hidden_);
    if (published_) QFile::remove(hidden_); // part 1 stays under its own name
    hidden_.clear();
    published_ = false;
    unlock();
}

void FirstPartHold::release() {
    if (published_) QFile::remove(std::exchange(hidden_, QString()));
    published_ = false;
    unlock();
}

void FirstPartHold::unlock() {
#ifdef Q_OS_UNIX
    if (fd_ >= 0) ::close(fd_);
#endif
    fd_ = -1;
}

} // namespace tfs
