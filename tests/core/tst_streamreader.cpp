// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/StreamReader.h"

#include <QtTest>
#include <cerrno>
#include <sys/stat.h>

using namespace testutil;

// The reading thread hands over the queued ranges' bytes in order, says where
// a range ends early or can't be read, never keeps a waiting caller from its
// event loop, and leaves the page cache as it found it.
class TestStreamReader : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

    // Every chunk of the queued ranges until `chunks` were handed over.
    static QList<StreamReader::Chunk> take(StreamReader& reader, int chunks, QByteArray& bytes) {
        QList<StreamReader::Chunk> seen;
        StreamReader::Chunk chunk;
        while (seen.size() < chunks && reader.next(chunk, [] { return true; })) {
            seen << chunk;
            bytes.append(chunk.data, chunk.size);
        }
        return seen;
    }

private slots:
    void rangesInOrder() {
        const QByteArray a = patternBytes(25000, 1);
        const QByteArray b = patternBytes(7000, 2);
        writeFile(path("a"), a);
        writeFile(path("b"), b);
        StreamReader reader(10000, 2); // fewer buffers than chunks: the thread waits for room
        QVERIFY(reader.running());
        reader.add(path("a"), 0, 25000);
        reader.add(path("b"), 1000, 6000);
        reader.add(path("a"), 24000, 1000);
        QByteArray bytes;
        QList<qint64> sizes;
        for (const StreamReader::Chunk& c : take(reader, 5, bytes)) {
            QCOMPARE(c.error, 0);
            sizes << c.size;
        }
        QCOMPARE(sizes, (QList<qint64>{10000, 10000, 5000, 6000, 1000}));
        QCOMPARE(bytes, a + b.mid(1000) + a.mid(24000));
    }

    void rangesThatEndEarly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<int>("error");
        QTest::newRow("shorter than asked")
            << "a" << 35000LL << QList<qint64>{10000, 10000, 5000, 0} << 0;
        QTest::newRow("ends at a chunk's end")
            << "b" << 30000LL << QList<qint64>{10000, 10000, 0} << 0;
        QTest::newRow("missing file") << "none" << 100LL << QList<qint64>{0} << ENOENT;
        QTest::newRow("a folder") << "." << 100LL << QList<qint64>{0} << EISDIR;
        QTest::newRow("a named pipe, not waited on")
            << "fifo" << 100LL << QList<qint64>{0} << EINVAL;
    }
    void rangesThatEndEarly() {
        QFETCH(QString, name);
        QFETCH(qint64, count);
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, error);
        writeFile(path("a"), patternBytes(25000, 1));
        writeFile(path("b"), patternBytes(20000, 2));
        QVERIFY(QFile::exists(path("fifo")) || ::mkfifo(qPrintable(path("fifo")), 0600) == 0);
        QVERIFY(!StreamReader::isCold(path(name), 0, count));
        StreamReader reader(10000);
        reader.add(path(name), 0, count);
        reader.add(path("a"), 0, 10); // the next range still comes
        QByteArray bytes;
        const QList<StreamReader::Chunk> seen = take(reader, sizes.size() + 1, bytes);
        QCOMPARE(seen.size(), sizes.size() + 1);
        for (int i = 0; i < sizes.size(); ++i)
            QCOMPARE(seen[i].size, sizes[i]);
        QCOMPARE(seen[sizes.size() - 1].error, error);
        QCOMPARE(seen.last().size, 10LL);
    }

    // Chunks larger than one read, from the disk: the same bytes, ranges that
    // end inside a chunk or past the file's end, and the cache left as found
    // by a range that reaches the end (read-ahead may pass a range's end).
    void chunksOfSeveralReads_data() {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::newRow("whole file, a short last chunk")
            << 0LL << 1500000LL << QList<qint64>{600000, 600000, 300000};
        QTest::newRow("from inside a page") << 100LL << 700000LL << QList<qint64>{600000, 100000};
        QTest::newRow("past the end") << 1000000LL << 900000LL << QList<qint64>{500000, 0};
    }
    void chunksOfSeveralReads() {
        QFETCH(qint64, from);
        QFETCH(qint64, count);
        QFETCH(QList<qint64>, sizes);
        const QByteArray content = patternBytes(1500000, 6);
        writeFile(path("d"), content);
        const bool evicted = evictFromCache(path("d"));
        auto reader = std::make_unique<StreamReader>(600000, 2, 256 << 10);
        reader->add(path("d"), from, count);
        QByteArray bytes;
        QList<qint64> seen;
        for (const StreamReader::Chunk& c : take(*reader, sizes.size(), bytes)) {
            QCOMPARE(c.error, 0);
            seen << c.size;
        }
        reader.reset(); // the last pages go back after the last chunk was handed over
        QCOMPARE(seen, sizes);
        QCOMPARE(bytes, content.mid(from, count));
        if (!evicted) QSKIP("this system can't drop a file from the page cache");
        if (from + count >= content.size())
            QVERIFY(StreamReader::isCold(path("d"), 0, content.size()));
    }

    // Nothing comes: the caller's hook runs while it waits, and it can stop
    // waiting.
    void waitingTurnsTheEventLoop() {
        StreamReader reader;
        int calls = 0;
        StreamReader::Chunk chunk;
        QVERIFY(!reader.next(chunk, [&] { return ++calls < 3; }));
        QCOMPARE(calls, 3);
    }

    // Pages read from the disk go back; pages that were cached stay.
    void leavesThePageCacheAsFound() {
        writeFile(path("cold"), patternBytes(6 << 20, 3));
        writeFile(path("cached"), patternBytes(6 << 20, 4));
        if (!evictFromCache(path("cold")))
            QSKIP("this system can't drop a file from the page cache");
        QVERIFY(StreamReader::isCold(path("cold"), 0, 6 << 20));
        QVERIFY(!StreamReader::isCold(path("cached"), 0, 6 << 20));
        StreamReader reader;
        reader.add(path("cold"), 0, 6 << 20);
        reader.add(path("cached"), 0, 6 << 20);
        QByteArray bytes;
        take(reader, 12, bytes);
        QCOMPARE(bytes, patternBytes(6 << 20, 3) + patternBytes(6 << 20, 4));
        QVERIFY(StreamReader::isCold(path("cold"), 0, 6 << 20));
        QVERIFY(!StreamReader::isCold(path("cached"), 0, 6 << 20));
    }
};

QTEST_GUILESS_MAIN(TestStreamReader)
#include "tst_streamreader.moc"
