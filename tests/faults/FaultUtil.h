#pragma once
// Helpers of the window-level fault tests: what a folder holds byte for byte,
// a read-only remount of a test tmpfs, named pipes with a watchdog that tells
// (and ends) a read that waits for a writer, and actions run from inside a
// running operation's event-loop turn.

#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
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
#define TFS_MOUNT_OR_SKIP(name, bytes)                                                            \
    testutil::Tmpfs name(bytes);                                                                  \
    if (!name.ok())                                                                               \
    QSKIP(qPrintable(name.reason()))

namespace faults {

// A click of the real mouse button on a control.
using testutil::click;
using testutil::during;

// The free-space query claims room on every existing folder (and fails on a
// missing one, as the real query does), so that a small tmpfs passes the split's
// 200 MiB margin and then really fills.
inline void claimRoom() {
    setFreeSpaceQuery([](const QString& folder) { return QFileInfo(folder).isDir() ? 1e15 : -1.0; });
}

// The message boxes so far number `count`; the last one names the file and
// the system's reason.
inline void checkError(const QStringList& errors, int count, const QString& file, const QString& reason) {
    QCOMPARE(errors.size(), count);
    QVERIFY2(errors.last().contains(file) && errors.last().contains(reason), qPrintable(errors.last()));
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

// The names in a folder (files, folders, hidden ones too), sorted.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Remounts a mounted test tmpfs read-only. Returns an empty text, or why it failed.
inline QString remountReadOnly(const testutil::Tmpfs& fs) {
    QProcess p;
    p.start(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), fs.path()});
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
            if (wake_.wait_for(lock, patience, [this] { return done_; }))
                return;
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
        if (thread_.joinable())
            thread_.join();
    }

    QByteArray path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> blocked_{false};
    std::thread thread_;
};

} // namespace faults
