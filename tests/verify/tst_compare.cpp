// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/MappedFile.h"
#include "core/OperationError.h"
#include "verify/CompareEngine.h"

#include <QDir>
#include <QtTest>
#include <csignal>

using namespace tfs;

using namespace testutil;

class TestCompare : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    CancelToken cancel;
    QList<int> progress;
    int yields = 0;
    EngineHooks hooks;
    CompareResult last; // of the last run
    int filesOpen = 0;  // before it

    QString path(const QString& name) const { return tmp.path() + "/" + name; }
    bool identical(const QString& a, const QString& b) {
        filesOpen = openFileCount();
        last = CompareResult();
        last = compareFiles(path(a), path(b), hooks, cancel);
        return last.identical;
    }
    bool streamsClosed() const { return openFileCount() == filesOpen; }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void init() {
        cancel.reset();
        progress.clear();
        yields = 0;
        hooks = EngineHooks();
        hooks.progress = [this](int p) { progress.append(p); };
        hooks.yield = [this] { ++yields; };
    }

    // Two files of `size` bytes, the second with one byte changed at `diffAt`
    // (none when negative).
    void equalLengths_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("diffAt");
        QTest::addColumn<bool>("identical");
        QTest::addColumn<QList<int>>("progressSeen");
        QTest::newRow("two empty files") << 0LL << -1LL << true << QList<int>{100};
        QTest::newRow("one block, identical") << 100000LL << -1LL << true << QList<int>{100, 100};
        QTest::newRow("one block, last byte") << 100000LL << 99999LL << false << QList<int>{100};
        QTest::newRow("first byte") << 250000LL << 0LL << false << QList<int>{40};
        QTest::newRow("first byte of the second block")
            << 250000LL << 100000LL << false << QList<int>{40, 80};
        QTest::newRow("last byte of a short block")
            << 250000LL << 249999LL << false << QList<int>{40, 80, 100};
        QTest::newRow("three blocks, identical")
            << 250000LL << -1LL << true << QList<int>{40, 80, 100};
    }
    void equalLengths() {
        QFETCH(qint64, size);
        QFETCH(qint64, diffAt);
        QFETCH(bool, identical);
        QFETCH(QList<int>, progressSeen);
        const QByteArray content = patternBytes(size, 3);
        QByteArray other = content;
        if (diffAt >= 0) other[diffAt] = static_cast<char>(~other[diffAt]);
        // In the page cache, then read from the disk (streamed ahead): the same.
        for (const bool cold : {false, true}) {
            init();
            writeFile(path("a"), content);
            writeFile(path("b"), other);
            if (cold && !(evictFromCache(path("a")) && evictFromCache(path("b"))))
                QSKIP("this system can't drop a file from the page cache: files read from the "
                      "disk not tried");
            QCOMPARE(this->identical("a", "b"), identical);
            QCOMPARE(last.firstDifference, diffAt);
            QVERIFY(!last.differentLength);
            QCOMPARE(progress, progressSeen);
            // The event loop turns at least once a block (waiting for the disk too).
            QVERIFY2(yields >= progressSeen.size(), qPrintable(QString::number(yields)));
            QVERIFY(streamsClosed());
        }
    }

    // Long enough for several mapping windows of the page cache: a difference
    // in the very last byte is still found, whether the files lie in the page
    // cache or are read from the disk.
    void longFiles_data() {
        QTest::addColumn<bool>("cached");
        QTest::newRow("in the page cache") << true;
        QTest::newRow("read from the disk") << false;
    }
    void longFiles() {
        QFETCH(bool, cached);
        const auto evicted = [&] {
            return cached || (evictFromCache(path("a")) && evictFromCache(path("b")));
        };
        const QByteArray content = patternBytes(9 * 1048576 + 12345, 5);
        writeFile(path("a"), content);
        writeFile(path("b"), content);
        if (!evicted()) QSKIP("this system can't drop a file from the page cache");
        QVERIFY(identical("a", "b"));
        QByteArray other = content;
        other[other.size() - 1] = static_cast<char>(~other[other.size() - 1]);
        writeFile(path("b"), other);
        QVERIFY(evicted());
        QVERIFY(!identical("a", "b"));
        QCOMPARE(progress.last(), 100);
    }

    // Files in the page cache are compared through mappings of it, whose
    // page tables are filled ahead of the reads and emptied behind them:
    // however long the files, only a few MiB of each are mapped at any time,
    // as the program counts what it asks the kernel for. A whole file kept
    // mapped is far above the bound.
    void longFilesKeepFewPagesMapped() {
        const QByteArray content = patternBytes(48 << 20, 3);
        writeFile(path("long1"), content);
        writeFile(path("long2"), content);
        resetMostMappedBytesFilled();
        QVERIFY(identical("long1", "long2"));
        const qint64 most = mostMappedBytesFilled();
        if (most == 0) QSKIP("the files were read here, not mapped");
        QVERIFY2(most <= 24 << 20, qPrintable(QString("%1 bytes mapped at once").arg(most)));
    }

    void sameFileTwice() {
        makeFile(path("same"), 1234567, 11);
        QVERIFY(identical("same", "same"));
        QVERIFY2(yields >= 13, qPrintable(QString::number(yields))); // a turn a block of 100,000
        QCOMPARE(last.bytesCompared, 1234567);
    }

    void differentLengthsReadNothing() {
        writeFile(path("short"), "abc");
        writeFile(path("long"), "abcd");
        QVERIFY(!identical("short", "long"));
        QVERIFY(last.differentLength);
        QCOMPARE(last.firstDifference, -1);
        QCOMPARE(yields, 0);
        QVERIFY(progress.isEmpty());
        QCOMPARE(last.bytesCompared, 0);
        QVERIFY(streamsClosed());
    }

    void cancelStopsAtTheNextPass() {
        makeFile(path("a"), 350000, 4);
        makeFile(path("b"), 350000, 4);
        // A cancel left from an earlier comparison doesn't stop the next.
        cancel.cancel();
        QVERIFY(identical("a", "b"));
        QCOMPARE(progress.last(), 100);

        // Set during the first block's turn: that block is still compared, the
        // next one is never read.
        init();
        hooks.yield = [this] {
            ++yields;
            cancel.cancel();
        };
        QVERIFY(identical("a", "b"));
        QCOMPARE(yields, 1);
        QCOMPARE(progress, QList<int>{29});
        QVERIFY(cancel.requested());
        QCOMPARE(last.bytesCompared, 100000);
        QVERIFY(streamsClosed());
    }

    // A file that gets shorter during the comparison gives what reading it
    // gives, whether the bytes it lost lay in whole pages or in its new last page.
    void fileCutDuringTheComparison_data() {
        QTest::addColumn<QString>("cut"); // "a", "b" or "both"
        QTest::addColumn<qint64>("newSize");
        QTest::addColumn<bool>("identical");
        QTest::addColumn<QList<int>>("progressSeen");
        QTest::addColumn<qint64>("compared"); // of the second file
        QTest::newRow("second, whole pages gone")
            << "b" << 150000LL << false << QList<int>{29, 43} << 150000LL;
        QTest::newRow("second, inside its last page")
            << "b" << 199999LL << false << QList<int>{29, 57} << 199999LL;
        QTest::newRow("first") << "a" << 150000LL << false << QList<int>{29, 57} << 200000LL;
        QTest::newRow("both alike")
            << "both" << 250000LL << true << QList<int>{29, 57, 71} << 250000LL;
    }
    void fileCutDuringTheComparison() {
        QFETCH(QString, cut);
        QFETCH(qint64, newSize);
        QFETCH(bool, identical);
        QFETCH(QList<int>, progressSeen);
        QFETCH(qint64, compared);
        makeFile(path("a"), 350000, 4);
        makeFile(path("b"), 350000, 4);
        struct sigaction before {};
        sigaction(SIGBUS, nullptr, &before);
        hooks.yield = [&] {
            if (++yields != 1) return;
            if (cut != "b") QVERIFY(QFile::resize(path("a"), newSize));
            if (cut != "a") QVERIFY(QFile::resize(path("b"), newSize));
        };
        QCOMPARE(this->identical("a", "b"), identical);
        QCOMPARE(progress, progressSeen);
        QCOMPARE(last.bytesCompared, compared);
        QVERIFY(streamsClosed());
        // The comparison's own SIGBUS handling is gone again.
        struct sigaction after {};
        sigaction(SIGBUS, nullptr, &after);
        QVERIFY(after.sa_sigaction == before.sa_sigaction && after.sa_flags == before.sa_flags);
    }

    void errorsCloseBothStreams() {
        makeFile(path("present"), 500000);
        const int filesBefore = openFileCount();
        int runs = 0;
        hooks.progress = [&](int) { ++runs; };
        QVERIFY_THROWS_EXCEPTION(OperationError, identical("missing", "present"));
        QVERIFY(streamsClosed());
        QVERIFY_THROWS_EXCEPTION(OperationError, identical("present", "missing"));
        QVERIFY(streamsClosed());
        QVERIFY_THROWS_EXCEPTION(OperationError,
                                 compareFiles(path("present"), tmp.path(), hooks, cancel));
        QVERIFY(streamsClosed());
        QCOMPARE(runs, 0); // none got as far as a block

        // A handler failing inside the event-loop turn leaves no stream open either.
        hooks.yield = [] { throw std::runtime_error("handler failed"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, identical("present", "present"));
        QVERIFY(streamsClosed());
        QCOMPARE(openFileCount(), filesBefore);
    }
};

QTEST_GUILESS_MAIN(TestCompare)
#include "tst_compare.moc"
