// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts/Naming.h"

#include <QtTest>

using namespace tfs;

class TestNaming : public QObject {
    Q_OBJECT
private slots:
    void ordinalDigits_data() {
        QTest::addColumn<qint64>("ordinal");
        QTest::addColumn<QString>("digits");
        const QList<QPair<qint64, const char*>> rows{{1, "001"},
                                                     {9, "009"},
                                                     {10, "010"},
                                                     {99, "099"},
                                                     {100, "100"},
                                                     {101, "0101"},
                                                     {999, "0999"},
                                                     {1000, "01000"},
                                                     {9999, "09999"},
                                                     {10000, "010000"},
                                                     {4294967297LL, "04294967297"}};
        for (const auto& r : rows)
            QTest::newRow(r.second) << r.first << QString::fromLatin1(r.second);
    }
    void ordinalDigits() {
        QFETCH(qint64, ordinal);
        QFETCH(QString, digits);
        QCOMPARE(ordinalSuffix(ordinal), digits);
    }

    // The ordinal of a part's extension in either numbering, 0 for no part name.
    void ordinalOfAPart_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("ordinal");
        const QList<QPair<const char*, qint64>> rows{
            {"/o/m.avi.001", 1},   {"/o/m.avi.100", 100},   {"/o/m.avi.0120", 120},
            {"/o/m.avi.120", 120}, {"/o/m.avi.1000", 1000}, {"/o/m.avi.01000", 1000},
            {"/o/m.avi.0100", 0},  {"/o/m.avi.01", 0},      {"/o/m.avi.000", 0},
            {"/o/m.avi.00101", 0}, {"/o/m.avi.12a", 0},     {"/o.d/m", 0}};
        for (const auto& r : rows)
            QTest::newRow(r.first) << QString::fromLatin1(r.first) << r.second;
    }
    void ordinalOfAPart() {
        QFETCH(QString, path);
        QFETCH(qint64, ordinal);
        QCOMPARE(ordinalOfPart(path), ordinal);
        if (ordinal > 100)
            QCOMPARE(joinPartPath(basePathOf(path), ordinal, PartNumbering::Plain),
                     "/o/m.avi." + QString::number(ordinal));
    }

    void partPathsAndNames() {
        QCOMPARE(partPath("/mnt/parts/", "/video/movie.avi", 1),
                 QString("/mnt/parts/movie.avi.001"));
        QCOMPARE(partPath("/mnt/parts/", "/video/movie.avi", 2),
                 QString("/mnt/parts/movie.avi.002"));
        QCOMPARE(partName("/video/movie.avi", 101), QString("movie.avi.0101"));
        QCOMPARE(partPath("/mnt/parts/", "/data/backup", 1), QString("/mnt/parts/backup.001"));
        QCOMPARE(partPath("/mnt/", "/x/a.tar.gz", 1), QString("/mnt/a.tar.gz.001"));
        QCOMPARE(partPath("/", "/video/movie.avi", 1), QString("/movie.avi.001"));
    }

    void folders() {
        QCOMPARE(withTrailingSeparator("/"), QString("/"));
        QCOMPARE(withTrailingSeparator("/mnt/parts"), QString("/mnt/parts/"));
        QCOMPARE(withTrailingSeparator("/mnt/parts/"), QString("/mnt/parts/"));
        QCOMPARE(withTrailingSeparator("/mnt/parts//"), QString("/mnt/parts/"));
        QCOMPARE(folderOf("/mnt/parts/movie.avi.001"), QString("/mnt/parts/"));
        QCOMPARE(fileNameOf("/mnt/parts/movie.avi.001"), QString("movie.avi.001"));
        QCOMPARE(fileNameOf("movie"), QString("movie"));
    }

    // The join finds the split's parts again with the same digits.
    void joinSideDerivations() {
        QCOMPARE(basePathOf("/out/movie.avi.003"), QString("/out/movie.avi"));
        QCOMPARE(joinPartPath("/out/movie.avi", 101), QString("/out/movie.avi.0101"));
        QCOMPARE(joinOutputNameOf("/out/movie.avi.003"), QString("movie.avi"));
        QCOMPARE(joinListNameOf("/out/movie.avi.003"), QString("movie.avi.txt"));
        QCOMPARE(joinListNameOf("/out/data.001"), QString("data.txt"));
        // A dot in a folder name never makes the base path leave the chosen file's folder.
        QCOMPARE(basePathOf("/my.folder/data"), QString("/my.folder/data"));
        QCOMPARE(joinListNameOf("/my.folder/data"), QString("data.txt"));
        for (qint64 n = 1; n < 1200; ++n)
            QCOMPARE(joinPartPath(basePathOf(partPath("/o/", "/s/f.bin", n)), n),
                     partPath("/o/", "/s/f.bin", n));
    }
};

QTEST_GUILESS_MAIN(TestNaming)
#include "tst_naming.moc"
