// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RegularFile.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

bool openRegularFile(QFile& file, const QString& path, QString& why) {
    const QString notRegular = QStringLiteral("it is not a regular file");
#ifdef Q_OS_UNIX
    // Opened without waiting, then looked at through the descriptor itself:
    // nothing can take the name's place between the look and the open.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = notRegular;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        why = file.errorString();
        return false;
    }
    return true;
#else
    if (!QFileInfo(path).isFile()) {
        why = notRegular;
        return false;
    }
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly)) return true;
    why = file.errorString();
    return false;
#endif
}

} // namespace tfs
