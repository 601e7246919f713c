// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts/HiddenFirstPart.h"

#include "parts/Naming.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

QString hiddenFirstPartPath(const QString& partPath) {
    return folderOf(partPath) + hiddenNameOf(fileNameOf(partPath), QStringLiteral(".splitting"));
}

void removeAbandonedFirstPart(const QString& partPath) {
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(hiddenFirstPartPath(partPath));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        S_ISREG(opened.st_mode) && ::lstat(path.constData(), &named) == 0 &&
        opened.st_ino == named.st_ino && opened.st_dev == named.st_dev)
        ::unlink(path.constData());
    ::close(fd);
#else
    Q_UNUSED(partPath);
#endif
}

} // namespace tfs
