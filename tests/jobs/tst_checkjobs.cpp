// SPDX-License-Identifier: GPL-3.0-or-later
// The jobs of the checks without a window: the checksum, the comparison and
// the verify against a set's .sfv. What each refuses before its work starts,
// what it tells, and what it leaves.
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "jobs/ChecksumJob.h"
#include "jobs/CompareJob.h"
#include "jobs/VerifyJob.h"
#include "split/SplitCheckFiles.h"
#include "verify/Crc32.h"

#include <QDir>
#include <QtTest>
#include <sys/stat.h>

using namespace tfs;
using namespace testutil;

class TestCheckJobs : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QList<qint64> started; // the totals told, in order

    QString path(const QString& name) const { return tmp.path() + "/" + name; }

    JobHooks hooks() {
        started.clear();
        JobHooks h;
        h.started = [this](qint64 total) { started << total; };
        return h;
    }

    // movie.avi.001 ... of `count` parts of 1000 bytes, with its .sfv and,
    // with `percent`, recovery data over them; the parts' paths.
    QStringList makeSet(const QString& folder, int count, int percent = 0) {
        QDir().mkpath(folder);
        QStringList names;
        QList<PartCrc> crcs;
        for (int i = 1; i <= count; ++i) {
            const QByteArray bytes = patternBytes(1000, quint32(i));
            names << QStringLiteral("movie.avi.%1").arg(i, 3, 10, QLatin1Char('0'));
            writeFile(folder + names.last(), bytes);
            crcs.append({zlibCrc32(bytes), 1000});
        }
        writeCheckFiles(folder + "movie.avi", names, crcs);
        const CancelToken never;
        QString refusal;
        if (percent > 0)
            [&] {
                QCOMPARE(writeRecoveryFilesOf(folder + "movie.avi", names, crcs, percent,
                                              EngineHooks{}, never, refusal),
                         RecoveryWritten::Written);
            }();
        QStringList paths;
        for (const QString& name : names)
            paths << folder + name;
        return paths;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        writeFile(path("a.bin"), patternBytes(300000, 1));
        writeFile(path("b.bin"), patternBytes(300000, 1));
        writeFile(path("short.bin"), patternBytes(1000, 1));
        QDir().mkpath(path("folder"));
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    }

    // Anything but a regular file is refused before the work starts: nothing
    // is told started, and nothing read (a named pipe would wait for a writer).
    void refusedBeforeStarting_data() {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("refused");
        QTest::newRow("checksum of a file") << "checksum"
                                            << "a.bin"
                                            << "" << false;
        QTest::newRow("checksum of a folder") << "checksum"
                                              << "folder"
                                              << "" << true;
        QTest::newRow("checksum of a pipe") << "checksum"
                                            << "pipe"
                                            << "" << true;
        QTest::newRow("checksum of nothing") << "checksum"
                                             << "missing"
                                             << "" << true;
        QTest::newRow("two files compared") << "compare"
                                            << "a.bin"
                                            << "short.bin" << false;
        QTest::newRow("a pipe compared") << "compare"
                                         << "a.bin"
                                         << "pipe" << true;
        QTest::newRow("compared with a pipe") << "compare"
                                              << "pipe"
                                              << "a.bin" << true;
        QTest::newRow("compared with a folder") << "compare"
                                                << "a.bin"
                                                << "folder" << true;
    }
    void refusedBeforeStarting() {
        QFETCH(QString, job);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, refused);
        const JobHooks h = hooks();
        CancelToken cancel;
        bool threw = false;
        try {
            if (job == "checksum")
                runChecksum({path(first)}, h, cancel);
            else
                runCompare({path(first), path(second)}, h, cancel);
        } catch (const OperationError&) {
            threw = true;
        }
        QCOMPARE(threw, refused);
        QCOMPARE(started, refused ? QList<qint64>{} : QList<qint64>{QFileInfo(path(first)).size()});
    }

    // The verdicts, and whether the run was cancelled.
    void checksumAndComparison_data() {
        QTest::addColumn<QString>("second"); // empty: the checksum of the first
        QTest::addColumn<bool>("cancelAtFirstTurn");
        QTest::addColumn<bool>("identical");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("checksum") << "" << false << true << false;
        QTest::newRow("checksum cancelled") << "" << true << true << true;
        QTest::newRow("identical") << "b.bin" << false << true << false;
        QTest::newRow("identical so far, cancelled") << "b.bin" << true << true << true;
        QTest::newRow("different length") << "short.bin" << false << false << false;
    }
    void checksumAndComparison() {
        QFETCH(QString, second);
        QFETCH(bool, cancelAtFirstTurn);
        QFETCH(bool, identical);
        QFETCH(bool, cancelled);
        JobHooks h = hooks();
        CancelToken cancel;
        cancel.cancel(); // an earlier run's: the comparison starts afresh, the checksum doesn't
        if (second.isEmpty() || !cancelAtFirstTurn) cancel.reset();
        h.yield = [&] {
            if (cancelAtFirstTurn) cancel.cancel();
        };
        if (second.isEmpty()) {
            const ChecksumResult r = runChecksum({path("a.bin")}, h, cancel);
            QCOMPARE(r.cancelled, cancelled);
            QCOMPARE(r.bytesRead, cancelled ? CrcBlockSize : 300000);
            if (!cancelled) QCOMPARE(r.crc, zlibCrc32(patternBytes(300000, 1)));
            return;
        }
        const CompareJobResult r = runCompare({path("a.bin"), path(second)}, h, cancel);
        QCOMPARE(r.found.identical, identical);
        QCOMPARE(r.cancelled, cancelled);
        QCOMPARE(r.found.differentLength, second == "short.bin");
    }

    // Each part of the .sfv told as it is checked, in the order of its
    // ordinals; a cancel during a part tells no verdict of it.
    void verifyAgainstTheSfv_data() {
        QTest::addColumn<QString>("damage"); // "none", "bad", "gone", "folder"
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("whole") << "none" << false << QStringList{"OK", "OK", "OK"};
        QTest::newRow("a damaged part") << "bad" << false << QStringList{"OK", "BAD", "OK"};
        QTest::newRow("a missing part") << "gone" << false << QStringList{"OK", "MISSING", "OK"};
        QTest::newRow("a folder named as the part")
            << "folder" << false << QStringList{"OK", "MISSING", "OK"};
        QTest::newRow("cancelled") << "none" << true << QStringList{};
    }
    void verifyAgainstTheSfv() {
        QFETCH(QString, damage);
        QFETCH(bool, cancel);
        QFETCH(QStringList, told);
        const QString folder = path("verify-" + QString(QTest::currentDataTag()) + "/");
        const QStringList parts = makeSet(folder, 3);
        if (damage == "bad") writeFile(parts[1], patternBytes(1000, 99));
        if (damage != "none" && damage != "bad") QVERIFY(QFile::remove(parts[1]));
        if (damage == "folder") QVERIFY(QDir().mkpath(parts[1]));

        VerifyHooks h;
        qint64 total = -1;
        QList<qint64> done;
        QStringList verdicts;
        h.started = [&](qint64 bytes) { total = bytes; };
        h.bytesDone = [&](qint64 bytes) { done << bytes; };
        CancelToken token;
        h.yield = [&] {
            if (cancel) token.cancel();
        };
        h.partVerified = [&](const VerifiedPart& part) {
            static const char* const words[] = {"OK", "BAD", "MISSING"};
            verdicts << words[int(part.verdict)];
        };
        const VerifyResult r = runVerify({folder + "movie.avi.sfv"}, h, token);
        QCOMPARE(verdicts, told);
        QCOMPARE(r.cancelled, cancel);
        QCOMPARE(total, damage == "none" || damage == "bad" ? 3000 : 2000);
        QCOMPARE(done.value(0), 1000); // the first part's bytes, then on from there
        if (!cancel) QCOMPARE(done.last(), total);
    }
};

QTEST_GUILESS_MAIN(TestCheckJobs)
#include "tst_checkjobs.moc"
