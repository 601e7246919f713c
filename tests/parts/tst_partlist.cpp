// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "parts/PartList.h"
#include "parts/PartSet.h"
#include "split/SplitEngine.h"

#include <QDir>
#include <QtTest>

using namespace tfs;

using namespace testutil;

class TestPartList : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString dir;

private slots:
    void init() {
        dir = tmp.path() + "/set/";
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
    }

    void writtenBytes() {
        const QString list = partListPath(dir, "movie.avi");
        QCOMPARE(list, dir + "movie.avi.txt");
        writePartList(list, {"movie.avi.001", "movie.avi.002", "movie.avi.003"});
        const QByteArray bytes = readFile(list);
        QCOMPARE(bytes.size(), 45);
        QCOMPARE(bytes, QByteArray("movie.avi.001\r\nmovie.avi.002\r\nmovie.avi.003\r\n"));
        QVERIFY(partListExists(list));

        // Rewritten whole; non-ASCII names are UTF-8 without a byte-order mark.
        writePartList(list, {QString::fromUtf8("čaša.001")});
        QCOMPARE(readFile(list), QByteArray("\xc4\x8d"
                                            "a\xc5\xa1"
                                            "a.001\r\n"));
        deletePartList(list);
        QVERIFY(!partListExists(list));
        deletePartList(list); // a second delete is harmless
    }

    void splitThenWriteListOfItsParts() {
        makeFile(dir + "movie.avi", 2500);
        SplitState s;
        s.SourceFileSize = 2500;
        s.SplitDestFolder = dir;
        splitIntoParts(s, dir + "movie.avi", 1000, SplitHooks());
        writePartList(partListPath(dir, "movie.avi"), s.SplitPartNames);
        QCOMPARE(readFile(dir + "movie.avi.txt").size(), 45);
    }

    void scanFindsMissingParts() {
        for (int i = 1; i <= 5; ++i)
            writeFile(dir + QString("movie.avi.00%1").arg(i), "x");
        writePartList(dir + "movie.avi.txt", {"movie.avi.001", "movie.avi.002", "movie.avi.003",
                                              "movie.avi.004", "movie.avi.005"});
        JoinState s;
        scanForMissingParts(s, readPartSet(dir + "movie.avi.002"));
        QCOMPARE(s.JoinListName, QString("movie.avi.txt"));
        QCOMPARE(s.JoinListEntries.size(), 5);
        QVERIFY(s.JoinMissingParts.isEmpty());

        QFile::remove(dir + "movie.avi.003");
        scanForMissingParts(s, readPartSet(dir + "movie.avi.005"));
        QCOMPARE(s.JoinMissingParts, QStringList{"movie.avi.003 "});
        QVERIFY(!s.JoinListFile);
    }

    // The entries are resolved against the chosen part's folder, not the working directory.
    void scanResolvesAgainstChosenFolder() {
        writeFile(dir + "a.001", "x");
        writeFile(dir + "a.txt", "a.001\r\n");
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(QDir::tempPath());
        JoinState s;
        scanForMissingParts(s, readPartSet(dir + "a.001"));
        QDir::setCurrent(cwd);
        QVERIFY(s.JoinMissingParts.isEmpty());
    }

    void scanLineEndsAndOddEntries() {
        writeFile(dir + "a.001", "x");
        writeFile(dir + "a.002", "x");
        QDir().mkpath(dir + "a.003"); // a folder does not count as a part
        // CR LF, LF only, CR only, an empty line, a last line without an end.
        writeFile(dir + "a.txt", "a.001\r\na.002\n\r\na.003\ra.004");
        JoinState s;
        scanForMissingParts(s, readPartSet(dir + "a.001"));
        QCOMPARE(s.JoinListEntries, (QStringList{"a.001", "a.002", "", "a.003", "a.004"}));
        QCOMPARE(s.JoinMissingParts, (QStringList{" ", "a.003 ", "a.004 "}));
    }

    // A list of exactly the bound is read; one byte more is refused unread.
    void sizeBound_data() {
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<bool>("read");
        const qint64 size = 30; // "movie.avi.001\r\nmovie.avi.002\r\n"
        QTest::newRow("no bound") << -1LL << true;
        QTest::newRow("bound above the size") << size + 1 << true;
        QTest::newRow("bound of exactly the size") << size << true;
        QTest::newRow("bound a byte under the size") << size - 1 << false;
        QTest::newRow("bound of nothing") << 0LL << false;
    }
    void sizeBound() {
        QFETCH(qint64, maxBytes);
        QFETCH(bool, read);
        writeFile(dir + "movie.avi.txt", "movie.avi.001\r\nmovie.avi.002\r\n");
        QStringList lines;
        QString error;
        QCOMPARE(readPartList(dir + "movie.avi.txt", lines, error, maxBytes), read);
        QCOMPARE(lines, (read ? QStringList{"movie.avi.001", "movie.avi.002"} : QStringList()));
        QCOMPARE(error.contains("larger than a part list"), !read);
    }

    // The split's test of a file named like its list reads it as a stream:
    // 16 MiB of part names are a list, and so is one a byte longer.
    void listOfTheLargestSize_data() {
        QTest::addColumn<qint64>("extra");
        QTest::addColumn<bool>("isList");
        QTest::newRow("16 MiB") << 0LL << true;
        QTest::newRow("16 MiB and a byte") << 1LL << true;
    }
    void listOfTheLargestSize() {
        QFETCH(qint64, extra);
        QFETCH(bool, isList);
        // 16 MiB of part names: lines of 11 bytes (CR LF) and of 10 (LF only).
        QByteArray content = QByteArray("notes.001\r\n").repeated(6) +
                             QByteArray("notes.002\n").repeated(((16 << 20) - 66) / 10);
        QCOMPARE(content.size(), 16 << 20);
        if (extra) content.replace(content.size() - 1, 1, "\r\n"); // still every line a name
        writeFile(dir + "notes.txt", content);
        QCOMPARE(isPartListOf(dir + "notes.txt", "notes"), isList);
    }

    void unreadableListIsAnOperationError() {
        QDir().mkpath(dir + "b.txt");
        JoinState s;
        QVERIFY_THROWS_EXCEPTION(OperationError,
                                 scanForMissingParts(s, readPartSet(dir + "b.001")));
    }
};

QTEST_GUILESS_MAIN(TestPartList)
#include "tst_partlist.moc"
