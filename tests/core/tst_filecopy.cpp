// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/CopyPace.h"
#include "core/FileCopy.h"

#include <QtTest>

using namespace testutil;

// Both ways of copying give the same bytes and counts and tell a watcher every
// stretch they moved, in order; the pace keeps the pipe only while it is fast.
class TestFileCopy : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

private slots:
    void bothWaysCopyTheSame_data() {
        QTest::addColumn<bool>("throughPipe");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("copied");
        for (const bool pipe : {true, false}) {
            const char* way = pipe ? "pipe" : "kernel copy";
            QTest::addRow("%s, whole file", way) << pipe << 0LL << 3000001LL << 3000001LL;
            QTest::addRow("%s, from inside", way) << pipe << 12345LL << 1500000LL << 1500000LL;
            QTest::addRow("%s, past the end", way) << pipe << 2999000LL << 5000LL << 1001LL;
        }
    }
    void bothWaysCopyTheSame() {
        QFETCH(bool, throughPipe);
        QFETCH(qint64, from);
        QFETCH(qint64, count);
        QFETCH(qint64, copied);
        const QByteArray content = patternBytes(3000001, 9);
        writeFile(path("in"), content);
        QFile in(path("in"));
        QFile out(path("out"));
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        struct Stretches : CopyWatcher {
            qint64 end = -1; // where the stretches told so far end, -1 when out of order
            void copied(QFile&, qint64 pos, qint64 count) override {
                end = pos == end && count > 0 ? pos + count : -1;
            }
        } told;
        told.end = from;
        QCOMPARE(copyBytes(in, from, out, 777, count, nullptr, throughPipe, &told), copied);
        out.close();
        QCOMPARE(readFile(path("out")), QByteArray(777, '\0') + content.mid(from, copied));
        QCOMPARE(told.end, from + copied);
    }

    // Copies told to the pace, 16 MiB each: a steady fast copy keeps the
    // pipe, a lone slow copy among fast ones doesn't lose it, and a copy that
    // stays slow gives it up by the end of 1 GiB (when exactly is the pace's
    // own business).
    void paceKeepsThePipeWhileFast_data() {
        QTest::addColumn<QList<qint64>>(
            "nanosecondsPer16MiB");            // the first ones, then the last one again
        QTest::addColumn<bool>("throughPipe"); // after 64 copies
        const qint64 fast = 2'000'000;         // 8.4 GB/s
        const qint64 blip = 20'000'000;        // 0.84 GB/s
        const qint64 slow = 100'000'000;       // 0.17 GB/s
        QTest::newRow("fast") << QList<qint64>{fast} << true;
        QTest::newRow("slow") << QList<qint64>{slow} << false;
        QTest::newRow("one slow copy among fast ones") << QList<qint64>{fast, blip, fast} << true;
        QTest::newRow("slow after a fast start")
            << QList<qint64>{fast, fast, fast, fast, fast, fast, fast, fast, slow} << false;
    }
    void paceKeepsThePipeWhileFast() {
        QFETCH(QList<qint64>, nanosecondsPer16MiB);
        QFETCH(bool, throughPipe);
        CopyPace pace;
        QVERIFY(pace.throughPipe());
        for (int i = 0; i < 64; ++i)
            pace.copied(16 << 20, nanosecondsPer16MiB.value(i, nanosecondsPer16MiB.last()));
        QCOMPARE(pace.throughPipe(), throughPipe);
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
