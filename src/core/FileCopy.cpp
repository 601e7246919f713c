// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileCopy.h"

#include "core/ExtentSharing.h"
#include "core/OperationError.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString osErrorText(const QString& what, const QFile& file, int err) {
    return systemErrorText(what, file.fileName(), err);
}

#ifdef Q_OS_LINUX
// Whether copy_file_range failed because it can't serve this pair of files
// (other file system type, old kernel, special file), so that read and write
// must do the copy instead.
bool unsupportedByKernel(int err) {
    return err == EXDEV || err == ENOSYS || err == EOPNOTSUPP || err == EINVAL || err == EBADF ||
           err == ETXTBSY || err == EPERM;
}
#endif

#ifdef Q_OS_LINUX
// The pipe that spliceCopy moves bytes through, closed on every exit.
struct SplicePipe {
    int fd[2] = {-1, -1};
    ~SplicePipe() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
};

// Bytes that one pass through the pipe moves: large writes let the file system
// fill large page-cache folios, which costs less per byte than the 64 KiB
// passes of copy_file_range's own pipe. Not larger: with 1 MiB passes (1 MiB
// folios), a virtual machine whose host had taken back the guest's free
// memory made the same copies up to three times slower, run after run, where
// 512 KiB passes kept their speed.
constexpr int SplicePipeSize = 512 << 10;

// Copies through a pipe with splice: the source's page-cache pages go into the
// pipe by reference and are copied once, into the output. Returns the bytes
// copied; sets `unsupported` (and returns what was done so far) when the kernel
// can't splice between these files, so that the caller goes on another way.
qint64 spliceCopy(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                  bool& unsupported, CopyWatcher* watcher) {
    unsupported = false;
    SplicePipe pipe;
    if (::pipe2(pipe.fd, O_CLOEXEC) != 0) {
        unsupported = true;
        return 0;
    }
    const int room = std::max(::fcntl(pipe.fd[1], F_SETPIPE_SZ, SplicePipeSize),
                              ::fcntl(pipe.fd[1], F_GETPIPE_SZ));
    loff_t inOff = inPos;
    loff_t outOff = outPos;
    qint64 done = 0;
    while (done < count) {
        const ssize_t n =
            ::splice(in.handle(), &inOff, pipe.fd[1], nullptr,
                     static_cast<size_t>(std::min<qint64>(count - done, room)), SPLICE_F_MOVE);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (unsupportedByKernel(err)) {
                unsupported = true;
                return done;
            }
            throw OperationError(osErrorText(QStringLiteral("Cannot read"), in, err));
        }
        if (n == 0) break;
        for (ssize_t left = n; left > 0;) {
            const ssize_t w = ::splice(pipe.fd[0], nullptr, out.handle(), &outOff,
                                       static_cast<size_t>(left), SPLICE_F_MOVE);
            if (w < 0) {
                const int err = errno;
                if (err == EINTR) continue;
                // What is still in the pipe is copied again from the source.
                if (unsupportedByKernel(err)) {
                    unsupported = true;
                    return done + (n - left);
                }
                throw OperationError(osErrorText(QStringLiteral("Cannot write"), out, err));
            }
            if (w == 0) throw OperationError(osErrorText(QStringLiteral("Cannot write"), out, EIO));
            left -= w;
        }
        done += n;
        if (watcher) watcher->copied(in, inOff - n, n);
    }
    return done;
}
#endif

qint64 copyWithReadWrite(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                         CopyWatcher* watcher) {
    constexpr qint64 chunk = 1 << 20;
    static std::vector<char> buffer(chunk); // one copy runs at a time, on the window's thread
    qint64 done = 0;
    while (done < count) {
        const qint64 want = std::min(chunk, count - done);
        const qint64 n = readAt(in, inPos + done, buffer.data(), want);
        if (n > 0) writeBytesAt(out, outPos + done, buffer.data(), n);
        if (n > 0 && watcher) watcher->copied(in, inPos + done, n);
        done += n;
        if (n < want) break; // the file ends here
    }
    return done;
}

} // namespace

void openForReading(QFile& file, const QString& path) {
    file.setFileName(path);
    if (QFileInfo(path).isDir())
        throw OperationError(
            QStringLiteral("Cannot open %1: it is a folder, not a file").arg(path));
#ifdef Q_OS_UNIX
    // Looked at through a descriptor that doesn't wait: a named pipe put in a
    // file's place is refused rather than waited on.
    const int probe =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe >= 0) {
        struct stat st {};
        const bool regular = ::fstat(probe, &st) == 0 && S_ISREG(st.st_mode);
        ::close(probe);
        if (!regular) requireRegularFile(path);
    }
#endif
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw OperationError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
}

void createForWriting(QFile& file, const QString& path) {
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw OperationError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
}

void createReplacingLinks(QFile& file, const QString& path) {
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        const bool link = S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink > 1);
        if (link && ::unlink(name.constData()) != 0)
            throw OperationError(systemErrorText(QStringLiteral("Cannot create"), path, errno));
        if (!link && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            throw OperationError(
                QStringLiteral("Cannot create %1: a %2 of that name is in the way, not a file")
                    .arg(path, S_ISFIFO(st.st_mode) ? QStringLiteral("named pipe")
                                                    : QStringLiteral("device or socket")));
    }
#endif
    createForWriting(file, path);
}

void closeWritten(QFile& file) {
    if (!file.isOpen()) return;
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw OperationError(
            QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString()));
}

qint64 sizeOfOpenFile(const QFile& file) {
#ifdef Q_OS_LINUX
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        throw OperationError(osErrorText(QStringLiteral("Cannot read the size of"), file, errno));
    return st.st_size;
#else
    return file.size();
#endif
}

qint64 sizeOfFd(int fd) {
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
#else
    Q_UNUSED(fd);
    return -1;
#endif
}

namespace {

// Copies the bytes themselves (see copyBytes).
qint64 copyData(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count, bool throughPipe,
                CopyWatcher* watcher) {
    if (count <= 0) return 0;
#ifdef Q_OS_LINUX
    bool unsupported = !throughPipe;
    qint64 done = throughPipe ? spliceCopy(in, inPos, out, outPos, count, unsupported, watcher) : 0;
    if (!unsupported) return done;
    loff_t inOff = inPos + done;
    loff_t outOff = outPos + done;
    while (done < count) {
        const ssize_t n = ::copy_file_range(in.handle(), &inOff, out.handle(), &outOff,
                                            static_cast<size_t>(count - done), 0);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (unsupportedByKernel(err))
                return done + copyWithReadWrite(in, inPos + done, out, outPos + done, count - done,
                                                watcher);
            if (err == ENOSPC || err == EDQUOT || err == EFBIG)
                throw OperationError(osErrorText(QStringLiteral("Cannot write"), out, err));
            throw OperationError(QStringLiteral("Cannot copy %1 to %2: %3")
                                     .arg(in.fileName(), out.fileName(),
                                          QString::fromLocal8Bit(std::strerror(err))));
        }
        if (n == 0) break;
        if (watcher) watcher->copied(in, inOff - n, n);
        done += n;
    }
    return done;
#else
    Q_UNUSED(throughPipe);
    return copyWithReadWrite(in, inPos, out, outPos, count, watcher);
#endif
}

} // namespace

qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                 qint64* sharedBytes, bool throughPipe, CopyWatcher* watcher) {
    if (sharedBytes) *sharedBytes = 0;
    if (count <= 0) return 0;
    const SharedRange shared = sharableRange(in, inPos, out, outPos, count);
    if (shared.length > 0) {
        const qint64 head = copyData(in, inPos, out, outPos, shared.head, throughPipe, watcher);
        if (head < shared.head) return head;
        if (shareExtents(in, inPos + head, out, outPos + head, shared.length)) {
            if (sharedBytes) *sharedBytes = shared.length;
            if (watcher) watcher->copied(in, inPos + head, shared.length);
            const qint64 done = head + shared.length;
            return done + copyData(in, inPos + done, out, outPos + done, count - done, throughPipe,
                                   watcher);
        }
        return head +
               copyData(in, inPos + head, out, outPos + head, count - head, throughPipe, watcher);
    }
    return copyData(in, inPos, out, outPos, count, throughPipe, watcher);
}

void writeBytesAt(QFile& out, qint64 outPos, const char* data, qint64 count) {
#ifdef Q_OS_UNIX
    for (qint64 done = 0; done < count;) {
        const ssize_t n =
            ::pwrite(out.handle(), data + done, static_cast<size_t>(count - done), outPos + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw OperationError(
                osErrorText(QStringLiteral("Cannot write"), out, n < 0 ? errno : EIO));
        done += n;
    }
#else
    if (!out.seek(outPos) || out.write(data, count) != count)
        throw OperationError(
            QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
#endif
}

qint64 readFullyAt(int fd, char* buffer, qint64 pos, qint64 count, int& error, qint64 piece) {
#ifdef Q_OS_UNIX
    qint64 got = 0;
    while (got < count) {
        const qint64 ask = piece > 0 ? std::min(piece, count - got) : count - got;
        const ssize_t n = ::pread(fd, buffer + got, static_cast<size_t>(ask), pos + got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        got += n;
    }
    return got;
#else
    Q_UNUSED(fd);
    Q_UNUSED(buffer);
    Q_UNUSED(pos);
    Q_UNUSED(count);
    Q_UNUSED(piece);
    error = EIO;
    return 0;
#endif
}

qint64 readAt(const QFile& file, qint64 pos, char* buffer, qint64 count) {
#ifdef Q_OS_UNIX
    int error = 0;
    const qint64 got = readFullyAt(file.handle(), buffer, pos, count, error);
    if (error != 0)
        throw OperationError(
            systemErrorText(QStringLiteral("Cannot read"), file.fileName(), error));
    return got;
#else
    QFile& f = const_cast<QFile&>(file);
    const qint64 got = f.seek(pos) ? f.read(buffer, count) : -1;
    if (got < 0)
        throw OperationError(
            QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
    return got;
#endif
}

// A source must be a regular file before anything opens it: opening a named
// pipe for reading waits for a writer, which would freeze the window, and a
// folder or a device is no file to split.
void requireRegularFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw OperationError(systemErrorText(QStringLiteral("Cannot open"), path, errno));
    if (S_ISREG(st.st_mode)) return;
    const QString what = S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder, not a file")
                         : S_ISFIFO(st.st_mode)
                             ? QStringLiteral("it is a named pipe, not a file")
                             : QStringLiteral("it is a device or socket, not a file");
#else
    const QFileInfo info(path);
    if (!info.exists())
        throw OperationError(QStringLiteral("Cannot open %1: it does not exist").arg(path));
    if (info.isFile()) return;
    const QString what = info.isDir() ? QStringLiteral("it is a folder, not a file")
                                      : QStringLiteral("it is not a regular file");
#endif
    throw OperationError(QStringLiteral("Cannot open %1: %2").arg(path, what));
}

qint64 measureFile(const QString& path) {
    requireRegularFile(path);
    QFile file;
    openForReading(file, path);
    return sizeOfOpenFile(file);
}
