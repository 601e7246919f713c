#include "split/FileCopy.h"

#include "app/FileError.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef Q_OS_LINUX
#include <csetjmp>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22 // Linux 5.14; older C libraries lack the name
#endif
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
// passes of copy_file_range's own pipe.
constexpr int SplicePipeSize = 1 << 20;

// Copies through a pipe with splice: the source's page-cache pages go into the
// pipe by reference and are copied once, into the output. Returns the bytes
// copied; sets `unsupported` (and returns what was done so far) when the kernel
// can't splice between these files, so that the caller goes on another way.
qint64 spliceCopy(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                  bool& unsupported) {
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
        const ssize_t n = ::splice(in.handle(), &inOff, pipe.fd[1], nullptr,
                                   static_cast<size_t>(std::min<qint64>(count - done, room)),
                                   SPLICE_F_MOVE);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR) continue;
            if (unsupportedByKernel(err)) {
                unsupported = true;
                return done;
            }
            throw FileError(osErrorText(QStringLiteral("Cannot read"), in, err));
        }
        if (n == 0)
            break;
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
                throw FileError(osErrorText(QStringLiteral("Cannot write"), out, err));
            }
            if (w == 0)
                throw FileError(osErrorText(QStringLiteral("Cannot write"), out, EIO));
            left -= w;
        }
        done += n;
    }
    return done;
}
#endif

qint64 copyWithReadWrite(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count) {
    constexpr qint64 chunk = 1 << 20;
    static std::vector<char> buffer(chunk); // one copy runs at a time, on the window's thread
    qint64 done = 0;
    if (!in.seek(inPos))
        throw FileError(QStringLiteral("Cannot read %1: %2").arg(in.fileName(), in.errorString()));
    if (!out.seek(outPos))
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
    while (done < count) {
        const qint64 n = in.read(buffer.data(), std::min(chunk, count - done));
        if (n < 0)
            throw FileError(QStringLiteral("Cannot read %1: %2").arg(in.fileName(), in.errorString()));
        if (n == 0)
            break;
        qint64 written = 0;
        while (written < n) {
            const qint64 w = out.write(buffer.data() + written, n - written);
            if (w <= 0)
                throw FileError(
                    QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
            written += w;
        }
        done += n;
    }
    return done;
}

} // namespace

void openForReading(QFile& file, const QString& path) {
    file.setFileName(path);
    if (QFileInfo(path).isDir())
        throw FileError(QStringLiteral("Cannot open %1: it is a folder, not a file").arg(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
}

void createForWriting(QFile& file, const QString& path) {
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
}

qint64 sizeOfOpenFile(const QFile& file) {
#ifdef Q_OS_LINUX
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        throw FileError(osErrorText(QStringLiteral("Cannot read the size of"), file, errno));
    return st.st_size;
#else
    return file.size();
#endif
}

qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count) {
    if (count <= 0)
        return 0;
#ifdef Q_OS_LINUX
    bool unsupported = false;
    qint64 done = spliceCopy(in, inPos, out, outPos, count, unsupported);
    if (!unsupported)
        return done;
    loff_t inOff = inPos + done;
    loff_t outOff = outPos + done;
    while (done < count) {
        const ssize_t n = ::copy_file_range(in.handle(), &inOff, out.handle(), &outOff,
                                            static_cast<size_t>(count - done), 0);
        if (n < 0) {
            const int err = errno;
            if (err == EINTR)
                continue;
            if (unsupportedByKernel(err))
                return done + copyWithReadWrite(in, inPos + done, out, outPos + done, count - done);
            if (err == ENOSPC || err == EDQUOT || err == EFBIG)
                throw FileError(osErrorText(QStringLiteral("Cannot write"), out, err));
            throw FileError(QStringLiteral("Cannot copy %1 to %2: %3")
                                .arg(in.fileName(), out.fileName(),
                                     QString::fromLocal8Bit(std::strerror(err))));
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
#else
    return copyWithReadWrite(in, inPos, out, outPos, count);
#endif
}

// ------------------------------------------------------------ mapped reading

#ifdef Q_OS_LINUX

namespace {

// Bytes mapped at once: a few MiB keeps the resident memory small whatever the
// file size; a step of any engine (at most a few hundred KiB) always fits.
constexpr qint64 MapWindow = 4 << 20;
constexpr qint64 MapAlign = 2 << 20;

// Where a vanished mapped page returns to, while readMapped runs on this thread.
thread_local sigjmp_buf* mappedReadJump = nullptr;
int guardDepth = 0;
struct sigaction previousBusAction;

extern "C" void onMappedReadFault(int signal, siginfo_t* info, void*) {
    if (mappedReadJump != nullptr && info->si_code > 0)
        siglongjmp(*mappedReadJump, 1);
    // Not one of ours: the previous disposition handles it. A fault raises
    // the signal again as soon as the faulting instruction is retried.
    sigaction(SIGBUS, &previousBusAction, nullptr);
    if (info->si_code <= 0)
        raise(signal);
}

} // namespace

const uchar* MappedFileWindow::at(qint64 pos, qint64 count, qint64 length) {
    if (failed_ || pos < 0 || count > MapAlign || pos + count > length)
        return nullptr;
    if (!map_) {
        // The whole file is mapped once (address space only); its page tables
        // are filled a window ahead of the reads and emptied behind them, so
        // the resident memory stays a few MiB whatever the file size.
        void* p = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED,
                         file_.handle(), 0);
        if (p == MAP_FAILED) {
            failed_ = true;
            return nullptr;
        }
        map_ = static_cast<const uchar*>(p);
        length_ = length;
        start_ = end_ = 0;
    }
    if (pos + count > end_) {
        // Windows start on 2 MiB boundaries of the file, so that the kernel can
        // map the page cache's large folios whole (one entry per 2 MiB instead
        // of 512). Each page is populated once: the new window starts where
        // the filled part ends.
        const qint64 start = pos - pos % MapAlign;
        const qint64 end = std::min(start + MapWindow, length_);
        if (start > start_)
            ::madvise(const_cast<uchar*>(map_) + start_, static_cast<size_t>(start - start_),
                      MADV_DONTNEED);
        const qint64 from = std::max(start, end_);
        // One pass over the page tables instead of a fault per page later; a
        // kernel without MADV_POPULATE_READ (before 5.14) faults them instead.
        ::madvise(const_cast<uchar*>(map_) + from, static_cast<size_t>(end - from),
                  MADV_POPULATE_READ);
        start_ = start;
        end_ = end;
    }
    return map_ + pos;
}

void MappedFileWindow::unmap() {
    if (map_)
        ::munmap(const_cast<uchar*>(map_), static_cast<size_t>(length_));
    map_ = nullptr;
}

MappedReadGuard::MappedReadGuard() {
    if (guardDepth++ > 0)
        return;
    struct sigaction action {};
    action.sa_sigaction = onMappedReadFault;
    // SA_NODEFER: the jump out of the handler leaves SIGBUS unblocked, so
    // readMapped needs no signal-mask call per read.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousBusAction);
}

MappedReadGuard::~MappedReadGuard() {
    if (--guardDepth == 0)
        sigaction(SIGBUS, &previousBusAction, nullptr);
}

bool readMapped(void (*read)(void* context), void* context) {
    sigjmp_buf jump;
    sigjmp_buf* const outer = mappedReadJump;
    if (sigsetjmp(jump, 0) != 0) {
        mappedReadJump = outer;
        return false;
    }
    mappedReadJump = &jump;
    read(context);
    mappedReadJump = outer;
    return true;
}

#else // no mapping elsewhere: the callers read

const uchar* MappedFileWindow::at(qint64, qint64, qint64) { return nullptr; }
void MappedFileWindow::unmap() {}
MappedReadGuard::MappedReadGuard() {}
MappedReadGuard::~MappedReadGuard() {}
bool readMapped(void (*read)(void* context), void* context) {
    read(context);
    return true;
}

#endif
