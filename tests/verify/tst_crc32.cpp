// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QDir>
#include <QtTest>
#include <algorithm>

using namespace tfs;

using namespace testutil;

namespace {

quint32 referenceCrc(const QByteArray& bytes) { return zlibCrc32(bytes); }

} // namespace

class TestCrc32 : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QList<int> progress;
    QList<qint64> bytesSeen; // as told before each progress
    int yields = 0;
    CancelToken cancel;
    CrcHooks hooks;
    FileCrc last; // of the last run

    QString path(const QString& name) const { return tmp.path() + "/" + name; }
    quint32 crcOf(const QString& file) {
        last = fileCrc32(file, hooks, cancel);
        return last.crc;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        qInfo() << "kernels on this CPU:";
        for (Crc32Kernel k : crc32Kernels())
            qInfo() << " " << crc32KernelName(k);
    }

    void init() {
        progress.clear();
        yields = 0;
        cancel.reset();
        hooks = CrcHooks();
        bytesSeen.clear();
        hooks.progress = [this](int p) { progress.append(p); };
        hooks.bytesRead = [this](qint64 b) { bytesSeen.append(b); };
        hooks.yield = [this] { ++yields; };
    }

    void publishedValues() {
        QCOMPARE(Crc32Table[0], 0u);
        QCOMPARE(Crc32Table[1], 0x77073096u);
        QCOMPARE(Crc32Table[128], 0xEDB88320u);
        QCOMPARE(Crc32Table[255], 0x2D02EF8Du);
        QCOMPARE(referenceCrc("123456789"), 0xCBF43926u);
        QCOMPARE(referenceCrc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
        QCOMPARE(crc32Update("abc", 0, 0x12345678u), 0x12345678u);
        QCOMPARE(crc32Update("abc", -1, 0x12345678u), 0x12345678u);
    }

    // A progress report per block, the event loop turned at least as often;
    // the pass that reads less than a whole block is the last.
    void fileBlocks_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<int>>("progressSeen");
        QTest::newRow("empty") << 0LL << QList<int>{100};
        QTest::newRow("one byte") << 1LL << QList<int>{100};
        QTest::newRow("exactly one block") << 262144LL << QList<int>{100, 100};
        QTest::newRow("one block and a byte") << 262145LL << QList<int>{100, 100};
        QTest::newRow("three blocks") << 600000LL << QList<int>{44, 87, 100};
        // 12.5, 37.5, 62.5 and 87.5 % round to the even neighbour.
        QTest::newRow("eight blocks, ties to even")
            << 2097152LL << QList<int>{12, 25, 38, 50, 62, 75, 88, 100, 100};
    }
    void fileBlocks() {
        QFETCH(qint64, size);
        QFETCH(QList<int>, progressSeen);
        const QString file = path("blocks.bin");
        const QByteArray content = patternBytes(size, quint32(size));
        writeFile(file, content);
        const int filesBefore = openFileCount();

        QCOMPARE(crcOf(file), referenceCrc(content));
        QCOMPARE(last.bytesRead, size);
        QCOMPARE(progress, progressSeen);
        QCOMPARE(bytesSeen.size(), progress.size());
        QCOMPARE(bytesSeen.last(), size);
        QVERIFY2(yields >= progressSeen.size(), qPrintable(QString::number(yields)));
        QCOMPARE(openFileCount(), filesBefore);
    }

    // Long enough for many blocks and several mapping windows of the page
    // cache, read from the cache and from the disk.
    // From the disk the file is read ahead on a thread (waiting for it turns
    // the event loop too); what that does to the page cache is the stream
    // reader's test.
    void longFile_data() {
        QTest::addColumn<bool>("cached");
        QTest::addColumn<qint64>("size");
        QTest::newRow("in the page cache") << true << 9 * 1048576LL + 12345;
        QTest::newRow("read from the disk") << false << 9 * 1048576LL + 12345;
        QTest::newRow("read from the disk, whole blocks") << false << 8 * CrcBlockSize;
    }
    void longFile() {
        QFETCH(bool, cached);
        QFETCH(qint64, size);
        const QString file = path("long.bin");
        const QByteArray content = patternBytes(size, 21);
        writeFile(file, content);
        if (!cached && !evictFromCache(file))
            QSKIP("this system can't drop a file from the page cache");
        QCOMPARE(crcOf(file), referenceCrc(content));
        QCOMPARE(progress.size(), int(size / CrcBlockSize + 1));
        QVERIFY2(yields >= progress.size(), qPrintable(QString::number(yields)));
        QCOMPARE(progress.last(), 100);
    }

    // A large file in the page cache is folded on two threads at once, from
    // both ends: the same value and count, progress up to 100, however far
    // the helper got (it may not have started at all). Cancel and a
    // cut in the first blocks end it as they end the plain loop. Where the
    // kernel keeps large folios, a file written in one piece is folded from a
    // mapping, and one written in 4 KiB pieces (small pages) is read after
    // the first chunks.
    void largeFileInTwoHalves_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("cancelAt"); // the yield that sets the cancel flag (0: none)
        QTest::addColumn<qint64>("cutTo"); // the size the first yield cuts it to (-1: none)
        QTest::addColumn<int>("piece");    // the writes that made it (0: one)
        const qint64 large = 64LL << 20;
        const qint64 tail = 3 * CrcBlockSize + 12345;
        QTest::newRow("whole blocks and a tail") << large + tail << 0 << -1LL << 0;
        QTest::newRow("whole blocks only") << large << 0 << -1LL << 0;
        QTest::newRow("written in 4 KiB pieces") << large + tail << 0 << -1LL << 4096;
        QTest::newRow("cancelled in the first blocks") << large << 2 << -1LL << 0;
        QTest::newRow("cut in the first blocks") << large << 0 << 10 * CrcBlockSize + 7 << 0;
    }
    void largeFileInTwoHalves() {
        QFETCH(qint64, size);
        QFETCH(int, cancelAt);
        QFETCH(qint64, cutTo);
        QFETCH(int, piece);
        const QString file = path("large.bin");
        const QByteArray content = patternBytes(size, 31);
        writeFileInPieces(file, content, piece);
        const int filesBefore = openFileCount();
        hooks.yield = [&] {
            ++yields;
            if (yields == cancelAt) cancel.cancel();
            if (yields == 1 && cutTo >= 0) QVERIFY(QFile::resize(file, cutTo));
        };
        const quint32 crc = crcOf(file);
        QCOMPARE(openFileCount(), filesBefore);
        if (cancelAt > 0) { // the value of the first half's blocks read before
            QCOMPARE(crc, referenceCrc(content.left(cancelAt * CrcBlockSize)));
            QCOMPARE(yields, cancelAt);
            return;
        }
        const qint64 expected = cutTo >= 0 ? cutTo : size;
        QCOMPARE(crc, referenceCrc(content.left(expected)));
        QCOMPARE(last.bytesRead, expected);
        QCOMPARE(progress.last(), 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }

    void checkValueFromFile() {
        writeFile(path("digits"), "123456789");
        QCOMPARE(crcOf(path("digits")), 0xCBF43926u);
        writeFile(path("empty"), "");
        QCOMPARE(crcOf(path("empty")), 0u);
    }

    void cancelStopsBeforeTheNextRead() {
        const QString file = path("cancel.bin");
        const QByteArray content = patternBytes(600000, 7);
        writeFile(file, content);

        // Set before the start: nothing is read.
        last.bytesRead = 12345;
        cancel.cancel();
        QCOMPARE(crcOf(file), 0u);
        QCOMPARE(last.bytesRead, 0);
        QCOMPARE(yields, 0);
        QVERIFY(progress.isEmpty());

        // Set by a handler during the first block's event-loop turn: that block
        // is counted and reported, the next one is never read.
        cancel.reset();
        hooks.yield = [this] {
            ++yields;
            cancel.cancel();
        };
        QCOMPARE(crcOf(file), referenceCrc(content.left(CrcBlockSize)));
        QCOMPARE(last.bytesRead, CrcBlockSize);
        QCOMPARE(yields, 1);
        QCOMPARE(progress, QList<int>{44});
    }

    // A file that gets shorter during the run gives the value of the bytes that
    // reading it gives, whether it lost whole pages or the end of its last page.
    void fileCutDuringTheRun_data() {
        QTest::addColumn<qint64>("newSize");
        QTest::addColumn<QList<int>>("progressSeen");
        QTest::newRow("whole pages gone") << 300000LL << QList<int>{87, 100};
        QTest::newRow("inside its last page") << 2 * CrcBlockSize - 1 << QList<int>{50, 100};
    }
    void fileCutDuringTheRun() {
        QFETCH(qint64, newSize);
        QFETCH(QList<int>, progressSeen);
        const QString file = path("cut.bin");
        const QByteArray content = patternBytes(3 * CrcBlockSize + 5, 8);
        writeFile(file, content);
        hooks.yield = [&] {
            if (++yields == 1) QVERIFY(QFile::resize(file, newSize));
        };
        QCOMPARE(crcOf(file), referenceCrc(content.left(newSize)));
        QCOMPARE(last.bytesRead, newSize);
        QCOMPARE(progress, progressSeen);
    }

    void unreadableFilesThrowAndCloseEverything() {
        const int filesBefore = openFileCount();
        QVERIFY_THROWS_EXCEPTION(OperationError, crcOf(path("missing")));
        QVERIFY_THROWS_EXCEPTION(OperationError, crcOf(tmp.path()));
        try {
            crcOf(path("missing"));
        } catch (const OperationError& e) {
            QVERIFY2(e.text().contains("No such file or directory"), e.what());
        }

        // A handler error during the run ends it with the file closed.
        writeFile(path("some.bin"), patternBytes(300000));
        hooks.yield = [] { throw std::runtime_error("handler failed"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, crcOf(path("some.bin")));
        QCOMPARE(openFileCount(), filesBefore);
    }

    // Every kernel, and the byte-at-a-time update, gives zlib's value for
    // every length up to a few pages, from every alignment, from any running
    // value, and on a buffer longer than one block.
    void kernelsMatchReference() {
        const QByteArray data = patternBytes(4200 + 64, 99);
        for (Crc32Kernel kernel : crc32Kernels()) {
            const char* name = crc32KernelName(kernel);
            const bool firstKernel = kernel == crc32Kernels().front();
            for (int offset : {0, 1, 3, 8, 13, 63}) {
                const auto* base = data.constData() + offset;
                quint32 running = 0x9E3779B9u * quint32(offset + 1);
                for (qint64 length = 0; length <= 4100; ++length) {
                    running = running * 1664525u + 1013904223u;
                    const quint32 expected = zlibCrc32Register(base, length, running);
                    if (firstKernel) QCOMPARE(crc32Update(base, length, running), expected);
                    const quint32 actual = crc32With(kernel, base, length, running);
                    if (actual != expected)
                        QFAIL(qPrintable(QStringLiteral("%1: offset %2, length %3: %4 != %5")
                                             .arg(name)
                                             .arg(offset)
                                             .arg(length)
                                             .arg(actual, 8, 16)
                                             .arg(expected, 8, 16)));
                }
            }
            const QByteArray big = patternBytes(CrcBlockSize * 3 + 77, 5);
            QCOMPARE(crc32With(kernel, big.constData() + 1, big.size() - 1, CrcInitialValue),
                     zlibCrc32Register(big.constData() + 1, big.size() - 1, CrcInitialValue));
        }
        QCOMPARE(crc32Fast("123456789", 9, CrcInitialValue) ^ 0xFFFFFFFF, 0xCBF43926u);
    }
};

QTEST_GUILESS_MAIN(TestCrc32)
#include "tst_crc32.moc"
