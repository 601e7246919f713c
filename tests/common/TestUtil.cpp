// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <stdexcept>
#include <zlib.h>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace testutil {

QByteArray patternBytes(qint64 size, quint32 key) {
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = key * 2654435761u + 12345u;
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

void makeFile(const QString& path, qint64 size, quint32 key) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create test file " + path.toStdString());
    constexpr qint64 chunk = 1 << 20;
    const QByteArray block = patternBytes(std::min(size, chunk), key);
    qint64 left = size;
    qint64 round = 0;
    while (left > 0) {
        const qint64 n = std::min(left, chunk);
        // Vary the blocks so that a misplaced block shows.
        QByteArray b = block.left(n);
        b[0] = static_cast<char>(round++);
        if (f.write(b) != n)
            throw std::runtime_error("cannot write test file " + path.toStdString());
        left -= n;
    }
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

void writeFileInPieces(const QString& path, const QByteArray& content, qint64 piece) {
    if (piece <= 0) return writeFile(path, content);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw std::runtime_error("cannot write test file " + path.toStdString());
    for (qint64 at = 0; at < content.size(); at += piece) {
        const qint64 n = std::min<qint64>(piece, content.size() - at);
        if (f.write(content.constData() + at, n) != n)
            throw std::runtime_error("cannot write test file " + path.toStdString());
    }
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

QString digitsOf(qint64 ordinal) {
    return ordinal <= 100 ? QString::number(ordinal).rightJustified(3, QLatin1Char('0'))
                          : QLatin1Char('0') + QString::number(ordinal);
}

QByteArray concat(const QStringList& paths) {
    QByteArray all;
    for (const QString& p : paths)
        all += readFile(p);
    return all;
}

int openFileCount() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

bool evictFromCache(const QString& path) {
#if defined(Q_OS_UNIX) && defined(POSIX_FADV_DONTNEED)
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0 &&
           ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_DONTNEED) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

QByteArray marker(qint64 offset) {
    return patternBytes(4096, static_cast<quint32>(offset ^ (offset >> 32)) + 17);
}

bool makeSparse(const QString& path, qint64 size, const QList<qint64>& markerOffsets) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(size)) return false;
    for (qint64 offset : markerOffsets) {
        const QByteArray block = marker(offset).left(size - offset);
        if (!f.seek(offset) || f.write(block) != block.size()) return false;
    }
    return true;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

quint32 zlibCrc32Register(const char* data, qint64 length, quint32 running) {
    // zlib inverts the register on the way in and out.
    uLong crc = running ^ 0xFFFFFFFFu;
    // zlib takes lengths as uInt: large arrays go in pieces.
    for (qint64 at = 0; at < length; at += 1 << 30) {
        const qint64 n = std::min<qint64>(1 << 30, length - at);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(data + at), uInt(n));
    }
    return quint32(crc) ^ 0xFFFFFFFFu;
}

quint32 zlibCrc32(const QByteArray& bytes) {
    return zlibCrc32Register(bytes.constData(), bytes.size(), 0xFFFFFFFFu) ^ 0xFFFFFFFFu;
}

bool sameContent(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    if (fa.size() != fb.size()) return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20)) return false;
    }
    return true;
}

Tmpfs::Tmpfs(qint64 bytes) {
    if (!dir_.isValid()) {
        reason_ = QStringLiteral("no temporary folder");
        return;
    }
    const QStringList args{QStringLiteral("-t"),    QStringLiteral("tmpfs"),
                           QStringLiteral("-o"),    QStringLiteral("size=%1").arg(bytes),
                           QStringLiteral("tmpfs"), dir_.path()};
    QProcess p;
    p.start(QStringLiteral("mount"), args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        reason_ = QStringLiteral("cannot mount a tmpfs (needs root): %1")
                      .arg(QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        return;
    }
    mounted_ = true;
}

Tmpfs::~Tmpfs() {
    if (mounted_) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), dir_.path()});
}

QString Tmpfs::path() const { return dir_.path() + QLatin1Char('/'); }

QString freshPartsFolder(std::unique_ptr<QTemporaryDir>& tmp) {
    tmp = std::make_unique<QTemporaryDir>();
    if (!tmp->isValid()) return QString();
    const QString parts = tmp->path() + QStringLiteral("/parts/");
    return QDir().mkpath(parts) ? parts : QString();
}

namespace {

const QString BlkioRoot = QStringLiteral("/sys/fs/cgroup/blkio/");

bool writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush();
}

} // namespace

SlowReads::SlowReads(const QString& path, qint64 bytesPerSecond) {
    struct stat st {};
    if (!QFileInfo(BlkioRoot + "tasks").exists()) {
        reason_ = "no blkio cgroup (version 1) to slow the disk with";
        return;
    }
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        reason_ = "cannot stat " + path;
        return;
    }
    // A partition's reads are throttled on its disk.
    QString device = QStringLiteral("%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
    const QString sys = "/sys/dev/block/" + device;
    if (QFileInfo::exists(sys + "/partition"))
        device = QString::fromLatin1(readFile(sys + "/../dev")).trimmed();
    group_ = BlkioRoot + QStringLiteral("tfs-test-%1").arg(::getpid());
    const QByteArray tid = QByteArray::number(static_cast<qint64>(::syscall(SYS_gettid)));
    if (!QDir().mkpath(group_) ||
        !writeText(group_ + "/blkio.throttle.read_bps_device",
                   (device + " " + QString::number(bytesPerSecond)).toLatin1()) ||
        !writeText(group_ + "/tasks", tid)) {
        reason_ = "cannot throttle reads from device " + device + " (needs root and a disk)";
        return;
    }
    ok_ = true;
}

SlowReads::~SlowReads() {
    if (group_.isEmpty()) return;
    writeText(BlkioRoot + "tasks", QByteArray::number(static_cast<qint64>(::syscall(SYS_gettid))));
    QDir().rmdir(group_);
}

void preloadReadFault(QProcessEnvironment& env, const QString& library, const QString& mode,
                      const QString& file, qint64 offset) {
    env.insert("LD_PRELOAD", library);
    // Under AddressSanitizer the fault library comes before its runtime.
    const QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS",
               (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    env.insert("TFS_FAULT_MODE", mode);
    env.insert("TFS_FAULT_FILE", file);
    env.insert("TFS_FAULT_AT", QString::number(offset));
}

} // namespace testutil
