// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "split/SplitEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using namespace tfs;

using namespace testutil;

class TestSplitEngine : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString src, dst;
    QList<int> progress;
    QStringList refusal;
    int cancelledCalls = 0;
    SplitHooks hooks;

    // A state as the window leaves it after loading `source` with `dest` as destination.
    SplitState stateFor(const QString& source) {
        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = QFileInfo(source).size();
        s.SplitDestFolder = dst;
        return s;
    }

    QStringList partsOnDisk() { return QDir(dst).entryList(QDir::Files, QDir::Name); }
    // The bytes in the destination, part 1 under its hidden name included.
    qint64 bytesCopied() const {
        qint64 bytes = 0;
        for (const QFileInfo& file : QDir(dst).entryInfoList(QDir::Files | QDir::Hidden))
            bytes += file.size();
        return bytes;
    }

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        src = tmp.path() + "/src/";
        dst = tmp.path() + "/dst/";
        QDir().mkpath(src);
        QDir(dst).removeRecursively();
        QDir().mkpath(dst);
        progress.clear();
        refusal.clear();
        cancelledCalls = 0;
        hooks = SplitHooks();
        hooks.progress = [this](int p) { progress.append(p); };
        hooks.refused = [this](const QStringList& l) { refusal = l; };
        hooks.cancelled = [this] { ++cancelledCalls; };
        setFreeSpaceQuery({});
    }
    void cleanup() { setFreeSpaceQuery({}); }

    void partSizesAndProgress_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<QList<qint64>>("parts");
        QTest::addColumn<QList<int>>("progressSeen");
        QTest::newRow("25M/10M") << 25000000LL << 10000000LL
                                 << QList<qint64>{10000000, 10000000, 5000000}
                                 << QList<int>{40, 80, 100};
        QTest::newRow("30M in one part, three blocks")
            << 30000000LL << 30000000LL << QList<qint64>{30000000} << QList<int>{33, 67, 100};
        QTest::newRow("exact multiple, no empty part")
            << 3145728LL << 1048576LL << QList<qint64>{1048576, 1048576, 1048576}
            << QList<int>{33, 67, 100};
        QTest::newRow("parts under a block")
            << 2500LL << 1000LL << QList<qint64>{1000, 1000, 500} << QList<int>{40, 80, 100};
        QTest::newRow("one byte") << 1LL << 1LL << QList<qint64>{1} << QList<int>{100};
    }
    void partSizesAndProgress() {
        QFETCH(qint64, size);
        QFETCH(qint64, partSize);
        QFETCH(QList<qint64>, parts);
        QFETCH(QList<int>, progressSeen);
        const QString source = src + "movie.avi";
        makeFile(source, size);
        SplitState s = stateFor(source);
        QCOMPARE(splitIntoParts(s, source, partSize, hooks), SplitOutcome::Completed);

        const QStringList expectNames =
            QStringList{"movie.avi.001", "movie.avi.002", "movie.avi.003"}.mid(0, parts.size());
        QCOMPARE(partsOnDisk(), expectNames);
        QCOMPARE(s.SplitPartNames, expectNames);
        QCOMPARE(s.SplitPartPaths.size(), parts.size());
        for (int i = 0; i < parts.size(); ++i) {
            QCOMPARE(s.SplitPartPaths[i], dst + expectNames[i]);
            QCOMPARE(QFileInfo(s.SplitPartPaths[i]).size(), parts[i]);
        }
        QCOMPARE(s.CurrentPartPath, s.SplitPartPaths.last());
        QCOMPARE(progress, progressSeen);
        QCOMPARE(concat(s.SplitPartPaths), readFile(source));
        QCOMPARE(s.SplitCancelFlag, quint8(0));
    }

    // Parts beyond 100 carry the longer digits and still concatenate to the source.
    void roundTripManySizes() {
        const QList<QPair<qint64, qint64>> cases{
            {150 * 100 + 37, 100}, {101 * 7, 7}, {5, 3}, {999, 1000}, {4096, 4096}};
        for (const auto& [size, partSize] : cases) {
            QDir(dst).removeRecursively();
            QDir().mkpath(dst);
            const QString source = src + QString("file-%1.bin").arg(size);
            makeFile(source, size, quint32(size));
            SplitState s = stateFor(source);
            splitIntoParts(s, source, partSize, hooks);
            const qint64 expected = (size + partSize - 1) / partSize;
            QCOMPARE(s.SplitPartPaths.size(), expected);
            QCOMPARE(concat(s.SplitPartPaths), readFile(source));
            if (size == 15037) {
                QVERIFY(QFileInfo::exists(dst + "file-15037.bin.100"));
                QVERIFY(QFileInfo::exists(dst + "file-15037.bin.0101"));
                QVERIFY(QFileInfo::exists(dst + "file-15037.bin.0151"));
            }
        }
    }

    // The window is served at least every slice (a block read from a slow
    // disk takes long), and a cancel asked for at a turn is honoured there:
    // nothing more is written, and the parts go.
    void turnsAtLeastEverySliceAndCancelWithinOne() {
        const QString source = src + "movie.avi";
        makeFile(source, 25000000);
        SplitState s = stateFor(source);
        qint64 lastSize = 0, largestGrowth = 0, grownAfterCancel = 0;
        int turns = 0;
        hooks.yield = [&] {
            const qint64 size = QFileInfo(s.CurrentPartPath).size();
            largestGrowth = std::max(largestGrowth, size - lastSize);
            if (s.SplitCancelFlag) grownAfterCancel += size - lastSize;
            lastSize = size;
            if (++turns == 7) s.SplitCancelFlag = 1;
        };
        QCOMPARE(splitIntoParts(s, source, 25000000, hooks), SplitOutcome::Cancelled);
        QVERIFY2(largestGrowth <= SplitSliceSize, qPrintable(QString::number(largestGrowth)));
        QCOMPARE(grownAfterCancel, 0);
        QCOMPARE(cancelledCalls, 1);
        QCOMPARE(partsOnDisk(), QStringList());
    }

    // A source on a slow disk: the event loop turns while the read-ahead
    // brings the first slice in, before a byte is copied, and at least once
    // a slice after that.
    void slowDiskKeepsTheLoopTurning() {
        const QString source = src + "slow.bin";
        makeFile(source, 8 * SplitSliceSize);
        if (!evictFromCache(source)) QSKIP("this system can't drop a file from the page cache");
        SlowReads slow(source, 16 << 20); // half a second for the file
        if (!slow.ok()) QSKIP(qPrintable(slow.reason()));
        SplitState s = stateFor(source);
        int turns = 0;
        qint64 firstTurnAt = -1; // the first part's size at the first turn
        qint64 copiedAtTurn = 0, mostBetweenTurns = 0;
        hooks.yield = [&] {
            const qint64 copied = bytesCopied();
            if (++turns == 1) firstTurnAt = copied;
            mostBetweenTurns = std::max(mostBetweenTurns, copied - copiedAtTurn);
            copiedAtTurn = copied;
        };
        QCOMPARE(splitIntoParts(s, source, 3 * SplitSliceSize, hooks), SplitOutcome::Completed);
        QCOMPARE(concat(s.SplitPartPaths), readFile(source));
        QCOMPARE(firstTurnAt, 0);
        QVERIFY2(mostBetweenTurns <= SplitSliceSize, qPrintable(QString::number(mostBetweenTurns)));
    }

    // A source that gets shorter in the middle of a block, with one writer,
    // ends the split with an error naming it, never with a shorter set; what
    // stays on disk is listed, holds the source's own bytes, and no list.
    void sourceCutInTheMiddleOfABlock_data() {
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<qint64>("cutAfter"); // bytes in the parts at the turn that cuts
        QTest::addColumn<qint64>("cutTo");
        // A source of 30,000,000 bytes, cut at the first event-loop turn that
        // finds at least cutAfter bytes copied.
        QTest::newRow("inside a slice of the first block")
            << 25000000LL << 2 * SplitSliceSize << 5000000LL;
        QTest::newRow("at a slice's end") << 25000000LL << 2 * SplitSliceSize << 3 * SplitSliceSize;
        QTest::newRow("emptied") << 25000000LL << 2 * SplitSliceSize << 0LL;
        QTest::newRow("inside the second block")
            << 25000000LL << SplitBlockSize + SplitSliceSize << 11000000LL;
        // Parts of one block each: the turn after the second part's block,
        // before the third part is begun.
        QTest::newRow("between two blocks, inside the third part")
            << 2000000LL << 4000000LL << 5000000LL;
    }
    void sourceCutInTheMiddleOfABlock() {
        QFETCH(qint64, partSize);
        QFETCH(qint64, cutAfter);
        QFETCH(qint64, cutTo);
        const QString source = src + "movie.avi";
        makeFile(source, 30000000, 11);
        const QByteArray original = readFile(source);
        SplitState s = stateFor(source);
        qint64 copiedAtCut = -1;
        hooks.yield = [&] {
            if (copiedAtCut >= 0) return;
            const qint64 copied = bytesCopied();
            if (copied < cutAfter) return;
            copiedAtCut = copied;
            QVERIFY(QFile::resize(source, cutTo));
        };
        QString error;
        try {
            const SplitOutcome outcome = splitIntoParts(s, source, partSize, hooks);
            QFAIL(qPrintable(QString("ended with %1, not an error").arg(int(outcome))));
        } catch (const OperationError& e) {
            error = e.text();
        }
        QVERIFY2(error.contains(source) && error.contains("became shorter"), qPrintable(error));
        QVERIFY2(copiedAtCut >= cutAfter && copiedAtCut < 30000000,
                 qPrintable(QString::number(copiedAtCut)));
        for (const QString& name : partsOnDisk()) {
            QVERIFY2(s.SplitPartPaths.contains(dst + name), qPrintable(name));
            QVERIFY2(name.startsWith("movie.avi.0"), qPrintable(name));
            const qint64 ordinal = name.mid(10).toLongLong();
            QVERIFY(
                original.mid((ordinal - 1) * partSize, partSize).startsWith(readFile(dst + name)));
        }
    }

    void cancelDuringThirdPartRemovesEverything() {
        const QString source = src + "movie.avi";
        makeFile(source, 5000);
        SplitState s = stateFor(source);
        hooks.yield = [&] {
            if (s.CurrentPartPath.endsWith(".003")) s.SplitCancelFlag = 1;
        };
        QCOMPARE(splitIntoParts(s, source, 1000, hooks), SplitOutcome::Cancelled);
        QCOMPARE(partsOnDisk(), QStringList());
        QCOMPARE(s.SplitPartPaths.size(), 3);
        QCOMPARE(s.SplitCancelFlag, quint8(1));
        QCOMPARE(cancelledCalls, 1);
        QCOMPARE(QFileInfo(source).size(), 5000);
        // The flag left at 1 doesn't stop the next split.
        hooks.yield = {};
        s.SplitPartPaths.clear();
        splitIntoParts(s, source, 1000, hooks);
        QCOMPARE(partsOnDisk().size(), 5);
    }

    void freeSpaceMargin() {
        const QString source = src + "movie.avi";
        makeFile(source, 3000);
        SplitState s = stateFor(source);
        s.SplitPartNames = QStringList{"previous.001"};
        setFreeSpaceQuery([](const QString&) { return double(3000 + FreeSpaceMargin - 1); });
        QCOMPARE(splitIntoParts(s, source, 1000, hooks), SplitOutcome::RefusedForSpace);
        QCOMPARE(refusal, (QStringList{" ", " ", " ",
                                       "There is Not enough Free Space on drive  " +
                                           volumeRootOf(dst) + "  to complete operation"}));
        QCOMPARE(partsOnDisk(), QStringList());
        QCOMPARE(s.SplitPartNames, QStringList{"previous.001"});
        QVERIFY(s.SplitPartPaths.isEmpty());

        refusal.clear();
        setFreeSpaceQuery([](const QString&) { return double(3000 + FreeSpaceMargin); });
        splitIntoParts(s, source, 1000, hooks);
        QVERIFY(refusal.isEmpty());
        QCOMPARE(partsOnDisk().size(), 3);
        QCOMPARE(s.FreeSpaceBytes, double(3000 + FreeSpaceMargin));
    }

    void unqueryableDestinationIsRefused() {
        const QString source = src + "movie.avi";
        makeFile(source, 10);
        SplitState s = stateFor(source);
        s.SplitDestFolder = tmp.path() + "/gone/";
        splitIntoParts(s, source, 5, hooks);
        QCOMPARE(s.FreeSpaceBytes, -1.0);
        QCOMPARE(refusal.value(3), "There is Not enough Free Space on drive  " + s.SplitDestFolder +
                                       "  to complete operation");
    }

    void realRefusalOnSmallTmpfs() {
        Tmpfs fs(1 << 20);
        if (!fs.ok()) QSKIP(qPrintable(fs.reason()));
        const QString source = src + "movie.avi";
        makeFile(source, 1000);
        SplitState s = stateFor(source);
        s.SplitDestFolder = fs.path();
        splitIntoParts(s, source, 100, hooks);
        QCOMPARE(refusal.size(), 4);
        QVERIFY(refusal[3].contains(QDir::cleanPath(fs.path())));
        QCOMPARE(QDir(fs.path()).entryList(QDir::Files), QStringList());
    }

    void diskFillsDuringSplit() {
        Tmpfs fs(256 * 1024);
        if (!fs.ok()) QSKIP(qPrintable(fs.reason()));
        const QString source = src + "movie.avi";
        makeFile(source, 1 << 20);
        const QByteArray before = readFile(source);
        SplitState s = stateFor(source);
        s.SplitDestFolder = fs.path();
        setFreeSpaceQuery([](const QString&) { return 1e15; });
        const int fds = openFileCount();
        try {
            splitIntoParts(s, source, 100000, hooks);
            QFAIL("a full disk must end the split with an error");
        } catch (const OperationError& e) {
            QVERIFY2(e.text().contains("No space left"), qPrintable(e.text()));
        }
        QCOMPARE(openFileCount(), fds);
        QCOMPARE(readFile(source), before);
        // Every part on disk is listed, so the panel's Cancel can remove them.
        const QStringList onDisk = QDir(fs.path()).entryList(QDir::Files, QDir::Name);
        QVERIFY(!onDisk.isEmpty());
        for (const QString& name : onDisk)
            QVERIFY(s.SplitPartPaths.contains(fs.path() + name));
        QCOMPARE(s.SplitCancelFlag, quint8(0));
    }

    void fileErrors() {
        SplitState s = stateFor(src + "missing.bin");
        s.SourceFileSize = 10;
        QVERIFY_THROWS_EXCEPTION(OperationError, splitIntoParts(s, src + "missing.bin", 5, hooks));
        QVERIFY(s.SplitPartPaths.isEmpty());

        // A part that can't be created: a folder has its name.
        const QString source = src + "movie.avi";
        makeFile(source, 10);
        s = stateFor(source);
        QDir().mkpath(dst + "movie.avi.002");
        const int fds = openFileCount();
        try {
            splitIntoParts(s, source, 5, hooks);
            QFAIL("expected a file error");
        } catch (const OperationError& e) {
            QVERIFY(e.text().contains("movie.avi.002"));
        }
        QCOMPARE(openFileCount(), fds);
        QCOMPARE(s.SplitPartPaths, (QStringList{dst + "movie.avi.001", dst + "movie.avi.002"}));
    }

    // Large parts of a cached source are written two at a time; the set, its
    // CRC-32s and every way of ending are as with one writer.
    void twoPartsAtOnce_data() {
        QTest::addColumn<QString>("ending");
        for (const char* ending : {"complete", "cancel", "part in the way", "disk full", "cut"})
            QTest::newRow(ending) << QString(ending);
    }
    void twoPartsAtOnce() {
        QFETCH(QString, ending);
        const qint64 part = ParallelPartSize;
        const QString source = src + "movie.avi";
        makeFile(source, 4 * part + 5, 3);
        const QByteArray bytes = readFile(source);
        SplitState s = stateFor(source);
        std::unique_ptr<Tmpfs> fs;
        if (ending == "disk full") {
            fs = std::make_unique<Tmpfs>(part + part / 2);
            if (!fs->ok()) QSKIP(qPrintable(fs->reason()));
            s.SplitDestFolder = fs->path();
            setFreeSpaceQuery([](const QString&) { return 1e15; });
        }
        if (ending == "part in the way") QDir().mkpath(dst + "movie.avi.002");
        int started = 0;
        hooks.partStarted = [&] { ++started; };
        int turns = 0;
        hooks.yield = [&] {
            if (++turns == 2 && ending == "cancel") s.SplitCancelFlag = 1;
            if (turns == 2 && ending == "cut") QFile::resize(source, part + 7);
        };
        const int fds = openFileCount();
        QString error;
        SplitOutcome outcome = SplitOutcome::Completed;
        try {
            outcome = splitIntoParts(s, source, part, hooks);
        } catch (const OperationError& e) {
            error = e.text();
        }
        QCOMPARE(openFileCount(), fds);
        const QStringList onDisk = QDir(s.SplitDestFolder).entryList(QDir::Files, QDir::Name);
        for (const QString& name : onDisk)
            QVERIFY(s.SplitPartPaths.contains(s.SplitDestFolder + name));
        if (ending == "complete") {
            QCOMPARE(error, QString());
            QCOMPARE(onDisk.size(), 5);
            QCOMPARE(concat(s.SplitPartPaths), bytes);
            QCOMPARE(s.SplitPartCrcs.size(), 5);
            for (int i = 0; i < 5; ++i) {
                const QByteArray b = readFile(s.SplitPartPaths[i]);
                QCOMPARE(s.SplitPartCrcs[i].crc, zlibCrc32(b));
                QCOMPARE(s.SplitPartCrcs[i].size, b.size());
            }
            QCOMPARE(progress.last(), 100);
            QCOMPARE(started, 5); // each part announced once
        } else if (ending == "cancel") {
            QCOMPARE(outcome, SplitOutcome::Cancelled);
            QCOMPARE(onDisk, QStringList());
        } else {
            const char* expected = ending == "disk full" ? "No space left"
                                   : ending == "cut"     ? "became shorter"
                                                         : "movie.avi.002";
            QVERIFY2(error.contains(expected), qPrintable(error));
        }
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }

    void existingPartIsOverwritten() {
        const QString source = src + "movie.avi";
        makeFile(source, 10);
        writeFile(dst + "movie.avi.001", QByteArray(100, 'x'));
        SplitState s = stateFor(source);
        splitIntoParts(s, source, 10, hooks);
        QCOMPARE(readFile(dst + "movie.avi.001"), readFile(source));
    }
};

QTEST_GUILESS_MAIN(TestSplitEngine)
#include "tst_splitengine.moc"
