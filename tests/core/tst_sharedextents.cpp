// SPDX-License-Identifier: GPL-3.0-or-later
// Split and join on file systems that share extents (btrfs, XFS), each on a
// loop-mounted image of its own: parts and joined files whose ranges line up
// with the file system's blocks share the source's extents instead of holding
// a copy; other sizes are copied. Either way the bytes and the check files
// are right. On ext4, where room is set aside for each file before it is
// written, a file that stops early holds no more than its bytes, and a full
// disk is still reported.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/RoomAhead.h"
#include "join/JoinEngine.h"
#include "split/SplitCheckFiles.h"
#include "split/SplitEngine.h"
#include "verify/CheckFiles.h"

#include <QtTest>
#include <numeric>

#include <sys/stat.h>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace testutil;
using namespace tfs;

namespace {

// A file system made on a sparse image in a fresh temporary folder and
// mounted through a loop device; unmounted and removed on destruction.
class LoopVolume {
public:
    LoopVolume(const QString& type, qint64 bytes) {
        if (::geteuid() != 0) {
            reason_ = "mounting a loop image needs root";
            return;
        }
        if (faults::tool("mkfs." + type).isEmpty()) {
            reason_ = "mkfs." + type + " is missing (tools/install-deps installs it)";
            return;
        }
        const QString image = dir_.filePath("image");
        QDir().mkpath(path());
        if (!QFile(image).open(QIODevice::WriteOnly) || !QFile::resize(image, bytes)) return;
        reason_ = faults::run("mkfs." + type, {"-q", image});
        if (reason_.isEmpty()) reason_ = faults::run("mount", {"-o", "loop", image, path()});
        mounted_ = reason_.isEmpty();
    }
    ~LoopVolume() {
        if (mounted_) faults::run("umount", {path()});
    }
    bool ok() const { return mounted_; }
    QString reason() const { return reason_; }
    QString path() const { return dir_.filePath("mnt") + '/'; }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString reason_;
};

// Bytes of the file that lie in extents shared with another file.
qint64 sharedBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    constexpr int extents = 512;
    QByteArray buf(sizeof(fiemap) + extents * sizeof(fiemap_extent), '\0');
    qint64 shared = 0;
    for (quint64 start = 0;;) {
        buf.fill('\0');
        auto* map = reinterpret_cast<fiemap*>(buf.data());
        map->fm_start = start;
        map->fm_length = ~0ULL - start;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = extents;
        if (::ioctl(f.handle(), FS_IOC_FIEMAP, map) != 0) return -1;
        if (map->fm_mapped_extents == 0) return shared;
        for (quint32 i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            if (e.fe_flags & FIEMAP_EXTENT_SHARED) shared += qint64(e.fe_length);
            start = e.fe_logical + e.fe_length;
            if (e.fe_flags & FIEMAP_EXTENT_LAST) return shared;
        }
    }
}

// Bytes of disk the file holds beyond its size rounded up to 4 KiB blocks.
qint64 heldBeyondSize(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return qint64(st.st_blocks) * 512 - (qint64(st.st_size) + 4095) / 4096 * 4096;
}

quint32 crcOf(const QByteArray& bytes) { return zlibCrc32(bytes); }

} // namespace

class TestSharedExtents : public QObject {
    Q_OBJECT

private slots:
    void splitAndJoin_data() {
        QTest::addColumn<QString>("fs");
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<bool>("shares");
        // 12 MiB parts are copied in blocks that don't end on a block boundary.
        for (const char* fs : {"btrfs", "xfs"}) {
            QTest::addRow("%s, 12 MiB parts", fs) << QString(fs) << qint64(12 << 20) << true;
            QTest::addRow("%s, 1 MiB parts", fs) << QString(fs) << qint64(1 << 20) << true;
            QTest::addRow("%s, 12,000,000-byte parts", fs)
                << QString(fs) << qint64(12000000) << false;
        }
    }
    void splitAndJoin() {
        QFETCH(QString, fs);
        QFETCH(qint64, partSize);
        QFETCH(bool, shares);
        // Room for the split's free-space margin; XFS needs at least 300 MiB.
        LoopVolume volume(fs, 640 << 20);
        if (!volume.ok()) QSKIP(qPrintable(volume.reason()));
        const QString source = volume.path() + "movie.avi";
        const qint64 size = (40 << 20) + 1234; // the last part ends inside a block
        makeFile(source, size, 5);
        const QByteArray original = readFile(source);

        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = size;
        s.SplitDestFolder = volume.path() + "parts/";
        QDir().mkpath(s.SplitDestFolder);
        QCOMPARE(splitIntoParts(s, source, partSize, SplitHooks()), SplitOutcome::Completed);
        QCOMPARE(concat(s.SplitPartPaths), original);
        QList<qint64> partShared;
        for (const QString& part : std::as_const(s.SplitPartPaths))
            partShared << sharedBytes(part);

        // The check files hold the CRC-32 of the bytes on disk.
        const QString base = s.SplitDestFolder + "movie.avi";
        writeCheckFiles(base, s.SplitPartNames, s.SplitPartCrcs);
        const SfvContent sfv = readSfv(base + ".sfv");
        QCOMPARE(sfv.entries.size(), s.SplitPartPaths.size());
        for (int i = 0; i < sfv.entries.size(); ++i)
            QCOMPARE(sfv.entries[i].crc, crcOf(readFile(s.SplitPartPaths[i])));
        QCOMPARE(readCrcFile(base + ".crc").crc, crcOf(original));

        const QString joined = volume.path() + "joined.avi";
        JoinHooks hooks;
        hooks.partCrcs = true;
        JoinState j;
        joinParts(j, readPartSet(s.SplitPartPaths.first()), joined, hooks);
        QCOMPARE(readFile(joined), original);
        QCOMPARE(j.JoinPartCrcs.size(), sfv.entries.size());
        for (int i = 0; i < sfv.entries.size(); ++i)
            QCOMPARE(j.JoinPartCrcs[i].crc, sfv.entries[i].crc);

        // Sharing: all but a block at every copy step's boundary. Of the
        // other sizes, only the first part starts on a block boundary.
        const qint64 joinedShared = sharedBytes(joined);
        QVERIFY(!partShared.contains(-1) && joinedShared >= 0);
        if (shares) {
            const qint64 all = std::accumulate(partShared.begin(), partShared.end(), qint64(0));
            QVERIFY2(all > size * 95 / 100, qPrintable(QString::number(all)));
            QVERIFY2(joinedShared > size * 95 / 100, qPrintable(QString::number(joinedShared)));
        } else {
            QCOMPARE(partShared.mid(1), QList<qint64>(partShared.size() - 1, 0));
        }
    }

    void ext4RoomGivenBack_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<qint64>("volumeSize");
        // One writer (the source is less than two parts); the second writer's
        // part cut short; a volume that fills up; a join onto it.
        QTest::newRow("one writer, source cut") << "cut" << qint64(24 << 20) << qint64(64 << 20);
        // Cut at a block's end: shorter than the file was, an error all the same.
        QTest::newRow("one writer, cut between blocks")
            << "cut0" << qint64(24 << 20) << qint64(64 << 20);
        QTest::newRow("two writers, source cut") << "cut2" << qint64(8 << 20) << qint64(64 << 20);
        QTest::newRow("split, disk full") << "full" << qint64(8 << 20) << qint64(24 << 20);
        QTest::newRow("join, disk full") << "join" << qint64(8 << 20) << qint64(24 << 20);
    }
    void ext4RoomGivenBack() {
        QFETCH(QString, ending);
        QFETCH(qint64, partSize);
        QFETCH(qint64, volumeSize);
        LoopVolume volume("ext4", volumeSize);
        if (!volume.ok()) QSKIP(qPrintable(volume.reason()));
        setFreeSpaceQuery([](const QString&) { return 1e15; });
        QTemporaryDir dir;
        const QString source = dir.filePath("movie.avi");
        const bool oneWriter = ending == "cut" || ending == "cut0"; // less than two parts
        makeFile(source, oneWriter ? (30 << 20) : (40 << 20) + 5, 7);
        const QByteArray original = readFile(source);

        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = original.size();
        s.SplitDestFolder = (ending == "join" ? dir.path() + "/" : volume.path());
        SplitHooks hooks;
        int started = 0;
        hooks.partStarted = [&] {
            if (++started == 2 && ending == "cut2") QFile::resize(source, partSize + 7);
        };
        hooks.yield = [&] {
            if (ending == "cut") QFile::resize(source, SplitBlockSize + 7);
            if (ending == "cut0") QFile::resize(source, SplitBlockSize);
        };
        QString error;
        try {
            splitIntoParts(s, source, partSize, hooks);
            if (ending == "join") {
                JoinState j;
                joinParts(j, readPartSet(s.SplitPartPaths.first()), volume.path() + "joined.avi",
                          JoinHooks());
            }
        } catch (const OperationError& e) {
            error = e.text();
        }
        QVERIFY2(error.contains(ending.startsWith("cut") ? "became shorter" : "No space left"),
                 qPrintable(error));
        if (ending == "join") {
            // The hidden file went with its room.
            QCOMPARE(QDir(volume.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
            return;
        }
        const QStringList kept = QDir(volume.path()).entryList(QDir::Files, QDir::Name);
        QVERIFY(!kept.isEmpty());
        for (const QString& name : kept) {
            const QString path = volume.path() + name;
            QVERIFY2(heldBeyondSize(path) < 64 * 1024,
                     qPrintable(name + ": " + QString::number(heldBeyondSize(path))));
            // Each part holds the start of its own stretch of the source.
            const qint64 ordinal = QFileInfo(name).suffix().toLongLong();
            QVERIFY(original.mid((ordinal - 1) * partSize, partSize).startsWith(readFile(path)));
        }
    }

    // A long join sets its room aside a stretch ahead of the bytes written,
    // never the whole file at once.
    void ext4RoomInStretches() {
        LoopVolume volume("ext4", 640 << 20);
        if (!volume.ok()) QSKIP(qPrintable(volume.reason()));
        QTemporaryDir dir;
        const QString source = dir.filePath("movie.avi");
        const qint64 size = 3 * RoomAhead::Stretch + 12345;
        makeFile(source, size, 9);
        SplitState s;
        s.SplitDestFolder = dir.path() + "/";
        QCOMPARE(splitIntoParts(s, source, 50 << 20, SplitHooks()), SplitOutcome::Completed);

        JoinHooks hooks;
        qint64 mostAhead = 0;
        hooks.progress = [&](int) {
            const QStringList hidden =
                QDir(volume.path()).entryList({".*"}, QDir::Files | QDir::Hidden);
            if (hidden.size() == 1)
                mostAhead = std::max(mostAhead, heldBeyondSize(volume.path() + hidden.first()));
        };
        JoinState j;
        joinParts(j, readPartSet(s.SplitPartPaths.first()), volume.path() + "joined.avi", hooks);
        QCOMPARE(readFile(volume.path() + "joined.avi"), readFile(source));
        QVERIFY2(mostAhead > RoomAhead::Stretch / 2 &&
                     mostAhead <= RoomAhead::Stretch * 3 / 2 + (1 << 20),
                 qPrintable(QString::number(mostAhead)));
    }
};

QTEST_GUILESS_MAIN(TestSharedExtents)
#include "tst_sharedextents.moc"
