// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the fault tests: what a folder holds byte for byte, a read-only
// remount of a test tmpfs, named pipes with a watchdog that tells (and ends) a
// read that waits for a writer, system tools, a FAT32 volume on a sparse
// image, and sparse sources with marker blocks.

#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "gui/MainWindow.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Mounts a small tmpfs as `name`, or skips the test with the reason (not root).
#define TFS_MOUNT_OR_SKIP(name, bytes)                                                             \
    testutil::Tmpfs name(bytes);                                                                   \
    if (!name.ok()) QSKIP(qPrintable(name.reason()))

namespace faults {

// A click of the real mouse button on a control.
using testutil::click;
using testutil::during;

// The free-space query claims room on every existing folder (and fails on a
// missing one, as the real query does), so that a small tmpfs passes the split's
// 200 MiB margin and then really fills.
inline void claimRoom() {
    setFreeSpaceQuery(
        [](const QString& folder) { return QFileInfo(folder).isDir() ? 1e15 : -1.0; });
}

// The message boxes so far number `count`; the last one names the file and
// the system's reason.
inline void checkError(const QStringList& errors, int count, const QString& file,
                       const QString& reason) {
    QCOMPARE(errors.size(), count);
    QVERIFY2(errors.last().contains(file) && errors.last().contains(reason),
             qPrintable(errors.last()));
}

// The join's completion report when the set's part list lies beside it.
inline const QStringList CompletedWithList{"", "", "", "              Joining completed,"};

// Everything below a folder, hidden entries included: relative path -> bytes
// of a file, "<folder>" for a folder, "<other>" for anything else. Two equal
// snapshots mean nothing was added, removed or changed.
inline QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> out;
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = root.relativeFilePath(info.filePath());
        if (info.isSymLink())
            out[name] = "<link>" + QFile::encodeName(info.symLinkTarget());
        else if (info.isDir())
            out[name] = "<folder>";
        else if (info.isFile())
            out[name] = testutil::readFile(info.filePath());
        else
            out[name] = "<other>";
    }
    return out;
}

// Remounts a mounted test tmpfs read-only. Returns an empty text, or why it failed.
inline QString remountReadOnly(const testutil::Tmpfs& fs) {
    QProcess p;
    p.start(QStringLiteral("mount"),
            {QStringLiteral("-o"), QStringLiteral("remount,ro"), fs.path()});
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("cannot remount read-only: %1")
            .arg(QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    return QString();
}

inline bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Watches a named pipe while the test runs a step that must not open it for
// reading: an open for reading waits for a writer, so a step that opens it
// would never return. After `patience` the watchdog opens the pipe for
// writing without waiting, which succeeds only when a reader is waiting; that
// releases the reader and is remembered, so the test fails instead of hanging.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& fifo,
                          std::chrono::milliseconds patience = std::chrono::milliseconds(2000))
        : path_(QFile::encodeName(fifo)), thread_([this, patience] { watch(patience); }) {}
    ~FifoWatchdog() { stop(); }
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // Ends the watch; true when a reader was found waiting on the pipe.
    bool readerWasBlocked() {
        stop();
        return blocked_;
    }

private:
    void watch(std::chrono::milliseconds patience) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            if (wake_.wait_for(lock, patience, [this] { return done_; })) return;
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) { // a reader is waiting: let it go (it reads end of file)
                blocked_ = true;
                ::close(fd);
            }
        }
    }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    QByteArray path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> blocked_{false};
    std::thread thread_;
};

// The full path of a system tool, also where root's PATH lacks the sbin
// folders; empty when it is not installed.
inline QString tool(const QString& name) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty()
               ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
               : found;
}

// Runs a system tool to its end; an empty text, or what went wrong.
inline QString run(const QString& name, const QStringList& args) {
    const QString program = tool(name);
    if (program.isEmpty()) return QStringLiteral("%1 is not installed").arg(name);
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice()); // a daemon it starts must not hold our pipe
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("%1 %2: %3 %4")
            .arg(program, args.join(QLatin1Char(' ')), p.errorString(),
                 QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    return QString();
}

// A FAT32 file system made by mkfs.vfat on a sparse image (which takes only
// the blocks written) and mounted on a fresh folder: by the kernel through a
// loop device, or, where the kernel has no FAT driver, by fusefat. Needs root.
// When it can't, ok() is false and reason() says why, for a skip message.
class FatVolume {
public:
    explicit FatVolume(qint64 bytes) {
        const QString image = dir_.filePath(QStringLiteral("fat.img"));
        mountPoint_ = dir_.filePath(QStringLiteral("volume"));
        QFile file(image);
        if (!dir_.isValid() || !QDir().mkpath(mountPoint_) || !file.open(QIODevice::WriteOnly) ||
            !file.resize(bytes)) {
            reason_ = QStringLiteral("cannot make a %1-byte image").arg(bytes);
            return;
        }
        file.close();
        if (const QString failed = run(QStringLiteral("mkfs.vfat"), {"-F", "32", image});
            !failed.isEmpty()) {
            reason_ = QStringLiteral("cannot make a FAT file system (package dosfstools): %1")
                          .arg(failed);
            return;
        }
        const QString kernel =
            run(QStringLiteral("mount"), {"-t", "vfat", "-o", "loop", image, mountPoint_});
        if (kernel.isEmpty()) {
            mounted_ = true;
            return;
        }
        if (tool(QStringLiteral("fusefat")).isEmpty()) {
            reason_ = QStringLiteral("cannot mount a FAT image (needs root, and the kernel's vfat "
                                     "or the package fusefat): %1")
                          .arg(kernel);
            return;
        }
        const QString fuse = run(QStringLiteral("fusefat"), {"-o", "rw+", image, mountPoint_});
        if (!fuse.isEmpty()) {
            reason_ = QStringLiteral("cannot mount a FAT image: %1; %2").arg(kernel, fuse);
            return;
        }
        mounted_ = true;
    }
    ~FatVolume() {
        if (mounted_) run(QStringLiteral("umount"), {mountPoint_});
    }
    FatVolume(const FatVolume&) = delete;
    FatVolume& operator=(const FatVolume&) = delete;

    bool ok() const { return mounted_; }
    QString reason() const { return reason_; }
    // The mount point, without a trailing separator (as the folder browser gives it).
    QString path() const { return mountPoint_; }

private:
    QTemporaryDir dir_;
    QString mountPoint_;
    bool mounted_ = false;
    QString reason_;
};

} // namespace faults
