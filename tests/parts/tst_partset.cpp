// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "parts/PartSet.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tfs;
using namespace testutil;

// A set on disk read from one of its paths: where it lies, its name, its
// numbering past 100 and the parts that are there.
class TestPartSet : public QObject {
    Q_OBJECT

    // "movie.avi.001" ... "movie.avi.100"
    static QStringList firstHundred() {
        QStringList names;
        for (int n = 1; n <= 100; ++n)
            names << QString("movie.avi.%1").arg(n, 3, 10, QChar('0'));
        return names;
    }
    static QList<qint64> upTo(qint64 last) {
        QList<qint64> ordinals;
        for (qint64 n = 1; n <= last; ++n)
            ordinals << n;
        return ordinals;
    }

private slots:
    void namesItsFiles() {
        const PartSet set = readPartSet("/nowhere/out/movie.avi.003");
        QCOMPARE(set.chosen, QString("/nowhere/out/movie.avi.003"));
        QCOMPARE(set.folder, QString("/nowhere/out/"));
        QCOMPARE(set.name, QString("movie.avi"));
        QCOMPARE(set.basePath(), QString("/nowhere/out/movie.avi"));
        QCOMPARE(set.partPath(7), QString("/nowhere/out/movie.avi.007"));
        QCOMPARE(set.partName(100), QString("movie.avi.100"));
        QCOMPARE(set.listName(), QString("movie.avi.txt"));
        QCOMPARE(set.listPath(), QString("/nowhere/out/movie.avi.txt"));
        QCOMPARE(set.sfvPath(), QString("/nowhere/out/movie.avi.sfv"));
        QCOMPARE(set.crcPath(), QString("/nowhere/out/movie.avi.crc"));
        QVERIFY(set.present.isEmpty());
    }

    void readsWhatIsThere_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("part101"); // the name the set gives part 101
        QTest::addColumn<QList<qint64>>("present");
        QTest::newRow("three parts, 002 chosen")
            << QStringList{"movie.avi.001", "movie.avi.002", "movie.avi.003"} << "movie.avi.002"
            << "movie.avi.101" << QList<qint64>{1, 2, 3};
        QTest::newRow("a gap") << QStringList{"movie.avi.001", "movie.avi.003"} << "movie.avi.003"
                               << "movie.avi.101" << QList<qint64>{1, 3};
        QTest::newRow("read from its list")
            << QStringList{"movie.avi.001", "movie.avi.002", "movie.avi.txt"} << "movie.avi.txt"
            << "movie.avi.101" << QList<qint64>{1, 2};
        QTest::newRow("another set beside it")
            << QStringList{"movie.avi.001", "movie.mkv.002", "movie.avi.x.003"} << "movie.avi.001"
            << "movie.avi.101" << QList<qint64>{1};
        QTest::newRow("ours past 100")
            << firstHundred() + QStringList{"movie.avi.0101", "movie.avi.0102"} << "movie.avi.050"
            << "movie.avi.0101" << upTo(102);
        QTest::newRow("ours past 100, 0101 missing")
            << firstHundred() + QStringList{"movie.avi.0102"} << "movie.avi.0102"
            << "movie.avi.0101" << upTo(100) + QList<qint64>{102};
        QTest::newRow("plain past 100")
            << firstHundred() + QStringList{"movie.avi.101", "movie.avi.102"} << "movie.avi.101"
            << "movie.avi.101" << upTo(102);
    }
    void readsWhatIsThere() {
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        QFETCH(QString, part101);
        QFETCH(QList<qint64>, present);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString folder = tmp.path() + "/";
        for (const QString& name : files)
            writeFile(folder + name, "x");
        const PartSet set = readPartSet(folder + chosen);
        QCOMPARE(set.folder, folder);
        QCOMPARE(set.name, QString("movie.avi"));
        QCOMPARE(set.partName(101), part101);
        QCOMPARE(set.present, present);
    }
};

QTEST_GUILESS_MAIN(TestPartSet)
#include "tst_partset.moc"
