// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/StreamReader.h"
#include "join/HiddenOutput.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "split/SplitEngine.h"
#include "verify/CheckFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <numeric>

using namespace tfs;

using namespace testutil;

class TestJoinEngine : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString partsDir, outDir, out;
    QList<int> progress;
    int yields = 0;
    int iconCalls = 0;
    JoinHooks hooks;

    QString part(int ordinal) {
        return partsDir + "movie.avi." + QString::number(ordinal).rightJustified(3, '0');
    }

    // Writes movie.avi.001, .002, ... with the given sizes; -1 leaves that ordinal out.
    QStringList makeSet(const QList<qint64>& sizes) {
        QStringList made;
        for (int i = 0; i < sizes.size(); ++i) {
            if (sizes[i] < 0) continue;
            makeFile(part(i + 1), sizes[i], quint32(i + 7));
            made << part(i + 1);
        }
        return made;
    }

    // The text of the OperationError that the join ends with; "" when it completes.
    QString joinError(const QString& chosen, const QString& output) {
        JoinState s;
        try {
            joinParts(s, readPartSet(chosen), output, hooks);
        } catch (const OperationError& e) {
            return e.text();
        }
        return QString();
    }

    void checkProgressEndsAt99() {
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 99);
        for (int i = 0; i < progress.size(); ++i) {
            QVERIFY(progress[i] >= 0 && progress[i] <= 99);
            QVERIFY(i == 0 || progress[i] >= progress[i - 1]);
        }
    }

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        partsDir = tmp.path() + "/parts/";
        outDir = tmp.path() + "/out/";
        for (const QString& d : {partsDir, outDir}) {
            QDir(d).removeRecursively();
            QDir().mkpath(d);
        }
        out = outDir + "movie.avi";
        progress.clear();
        yields = iconCalls = 0;
        hooks = JoinHooks();
        hooks.progress = [this](int p) { progress.append(p); };
        hooks.yield = [this] { ++yields; };
        hooks.iconRefresh = [this] {
            ++iconCalls;
            // The bytes go to a hidden file beside the output until the end.
            const QStringList hidden =
                entries(outDir).filter(QRegularExpression("^\\.movie\\.avi\\.part-"));
            QCOMPARE(hidden.size(), 1);
        };
    }

    // Before a join writes anything: the parts it would go without, each
    // named or counted once whether the part list, a gap below the highest
    // part or the .sfv tells of it (the first 20 named, the rest counted),
    // and the bytes it will write, which the free space must hold: no part
    // after the end of the list. Parts of 1,000 bytes.
    void missingPartsAndSizeToJoin_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("listed");     // the list names 001 up to this; 0: no list
        QTest::addColumn<QList<int>>("sfv"); // the parts that the .sfv names
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<qint64>("size");
        const auto names = [](int from, int to) {
            QStringList lines;
            for (int n = from; n <= to; ++n)
                lines << "movie.avi." + digitsOf(n) + " ";
            return lines;
        };
        QTest::newRow("complete, listed")
            << QList<int>{1, 2, 3} << 3 << QList<int>{1, 2, 3} << QStringList() << qint64(3000);
        QTest::newRow("older parts after the list")
            << QList<int>{1, 2, 3, 4, 5} << 3 << QList<int>() << QStringList() << qint64(3000);
        QTest::newRow("no list") << QList<int>{1, 2, 3, 4, 5} << 0 << QList<int>() << QStringList()
                                 << qint64(5000);
        QTest::newRow("listed and in the .sfv")
            << QList<int>{1, 3} << 3 << QList<int>{1, 2, 3} << names(2, 2) << qint64(1000);
        QTest::newRow("the .sfv names one past the highest")
            << QList<int>{1, 2} << 0 << QList<int>{1, 2, 3} << names(3, 3) << qint64(2000);
        QTest::newRow("many gaps, the .sfv names parts in them")
            << QList<int>{1, 30} << 0 << QList<int>{1, 5, 29, 30}
            << names(2, 21) + QStringList{"   ... and 8 more"} << qint64(1000);
        QTest::newRow("many gaps, the .sfv names two past them")
            << QList<int>{1, 30} << 0 << QList<int>{5, 31, 32}
            << names(2, 21) + QStringList{"   ... and 10 more"} << qint64(1000);
        QTest::newRow("many listed, the .sfv names one more")
            << QList<int>{1} << 25 << QList<int>{2, 26}
            << names(2, 21) + QStringList{"   ... and 5 more"} << qint64(1000);
    }
    void missingPartsAndSizeToJoin() {
        QFETCH(QList<int>, present);
        QFETCH(int, listed);
        QFETCH(QList<int>, sfv);
        QFETCH(QStringList, missing);
        QFETCH(qint64, size);
        const auto name = [](int n) { return "movie.avi." + digitsOf(n); };
        for (int n : present)
            makeFile(partsDir + name(n), 1000, quint32(n));
        QByteArray list;
        for (int n = 1; n <= listed; ++n)
            list += name(n).toUtf8() + "\r\n";
        if (listed > 0) writeFile(partsDir + "movie.avi.txt", list);
        QList<SfvEntry> entries;
        for (int n : sfv)
            entries.append({name(n), 0x1234u});
        if (!sfv.isEmpty()) writeFile(partsDir + "movie.avi.sfv", sfvBytes(entries));

        const QString chosen = partsDir + name(present.last());
        JoinState s;
        const PartSet set = readPartSet(chosen);
        const JoinChecks checks = readJoinChecks(set);
        QVERIFY(checks.notes.isEmpty());
        collectMissingParts(s, set, checks);
        QCOMPARE(s.JoinMissingParts, missing);
        QCOMPARE(sizeToJoin(set, joinedSize(set, JoinHooks())), size);
    }

    void joinsTheRunFromOrdinalOne_data() {
        QTest::addColumn<QList<qint64>>("sizes"); // -1: no part of that ordinal
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("joined");
        QTest::newRow("complete set, 003 chosen")
            << QList<qint64>{3000, 12345, 1, 20000, 777} << 3 << 5;
        QTest::newRow("gap at 003") << QList<qint64>{3000, 4000, -1, 5000, 6000} << 4 << 2;
        QTest::newRow("no 001") << QList<qint64>{-1, 100, 200} << 2 << 0;
        QTest::newRow("empty part among others") << QList<qint64>{15000, 0, 5000} << 1 << 3;
        QTest::newRow("all parts empty") << QList<qint64>{0, 0, 0} << 2 << 3;
        QTest::newRow("parts over several mapping windows")
            << QList<qint64>{5000000, 4194305, 1} << 1 << 3;
    }
    void joinsTheRunFromOrdinalOne() {
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, chosen);
        QFETCH(int, joined);
        const QStringList made = makeSet(sizes);
        QStringList expected;
        qint64 expectedSize = 0;
        for (int i = 1; i <= joined; ++i) {
            expected << part(i);
            expectedSize += sizes[i - 1];
        }

        // Any part of the set gives the same total.
        for (const QString& p : made)
            QCOMPARE(joinedSize(readPartSet(p), hooks), expectedSize);
        QCOMPARE(entries(outDir), QStringList());

        JoinState s;
        s.JoinCancelFlag = 1; // left over from an earlier cancel
        joinParts(s, readPartSet(part(chosen)), out, hooks);
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
        QCOMPARE(QFileInfo(out).size(), expectedSize);
        QCOMPARE(readFile(out), concat(expected));
        QCOMPARE(s.JoinCancelFlag, quint8(0));
        QCOMPARE(iconCalls, 1);
        checkProgressEndsAt99();
    }

    void copiesInStepsOfAtMostABlock_data() {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<QList<int>>("seen");
        QTest::newRow("20,000 bytes: two full steps")
            << QList<qint64>{20000} << QList<int>{49, 99, 99};
        QTest::newRow("25,000 bytes: a short third step")
            << QList<qint64>{25000} << QList<int>{39, 79, 99, 99};
        // A step never spans two parts; -1 (under 1 % written) shows as 0.
        QTest::newRow("small part first") << QList<qint64>{100, 19900} << QList<int>{0, 49, 99, 99};
    }
    void copiesInStepsOfAtMostABlock() {
        QFETCH(QList<qint64>, sizes);
        QFETCH(QList<int>, seen);
        const QStringList made = makeSet(sizes);
        JoinState s;
        joinParts(s, readPartSet(made.first()), out, hooks);
        QCOMPARE(progress, seen);
        QCOMPARE(readFile(out), concat(made));
    }

    // Larger sets copy in larger steps, each at most 1 % of the whole: every
    // percent is shown, the event loop turns at least once per 1 % copied,
    // and a cancel asked for from the progress hook stops the join at the
    // next step's end.
    void stepsOfAtMostOnePercent_data() {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<int>("cancelAt"); // -1: not cancelled
        QTest::addColumn<bool>("cold");    // the parts read from the disk (streamed ahead)
        QTest::addColumn<bool>("checked"); // each part's CRC-32 taken as it is joined
        for (const bool cold : {false, true}) {
            const char* how = cold ? ", from the disk" : "";
            QTest::addRow("two parts%s", how)
                << QList<qint64>{3000000, 3000000} << -1 << cold << false;
            QTest::addRow("odd sizes, a tiny part, checked%s", how)
                << QList<qint64>{4999993, 7, 2500000} << -1 << cold << true;
            QTest::addRow("cancelled at 50 %%%s", how)
                << QList<qint64>{3000000, 3000000} << 50 << cold << true;
        }
        // Steps of whole 64 KiB units, from the disk: chunks of whole pages.
        QTest::newRow("whole blocks per step, from the disk")
            << QList<qint64>{4000000, 3000000} << -1 << true << false;
    }
    void stepsOfAtMostOnePercent() {
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, cancelAt);
        QFETCH(bool, cold);
        QFETCH(bool, checked);
        hooks.partCrcs = checked;
        const QStringList made = makeSet(sizes);
        for (const QString& p : made)
            if (cold && !evictFromCache(p))
                QSKIP("this system can't drop a file from the page cache");
        const qint64 total = std::accumulate(sizes.begin(), sizes.end(), qint64(0));
        JoinState s;
        qint64 lastSize = 0, largestGrowth = 0;
        hooks.yield = [&] {
            const QStringList hidden = entries(outDir).filter(QRegularExpression("^\\.movie"));
            const qint64 size = hidden.isEmpty() ? 0 : QFileInfo(outDir + hidden[0]).size();
            largestGrowth = std::max(largestGrowth, size - lastSize);
            lastSize = size;
        };
        int seenAfterCancel = 0;
        hooks.progress = [&](int p) {
            if (s.JoinCancelFlag == 1) ++seenAfterCancel;
            progress.append(p);
            if (p == cancelAt) s.JoinCancelFlag = 1;
        };
        joinParts(s, readPartSet(made.first()), out, hooks);
        QVERIFY2(largestGrowth <= total / 100, qPrintable(QString::number(largestGrowth)));
        if (cancelAt >= 0) {
            QCOMPARE(seenAfterCancel, 1); // the closing 99 only
            QCOMPARE(progress.count(cancelAt), 1);
            QCOMPARE(entries(outDir), QStringList());
            return;
        }
        for (int percent = 0; percent <= 99; ++percent)
            QVERIFY2(progress.contains(percent), qPrintable(QString::number(percent)));
        checkProgressEndsAt99();
        // The rows from the disk did take the streamed way: the last part
        // (never at a block boundary of the output) was read ahead, which
        // leaves its pages out of the cache.
        if (cold) QVERIFY(StreamReader::isCold(made.last(), 0, sizes.last()));
        QCOMPARE(readFile(out), concat(made));
        QCOMPARE(s.JoinPartCrcs.size(), checked ? made.size() : 0);
        for (int i = 0; i < s.JoinPartCrcs.size(); ++i) {
            const QByteArray b = readFile(made[i]);
            QCOMPARE(s.JoinPartCrcs[i].crc, zlibCrc32(b));
            QCOMPARE(s.JoinPartCrcs[i].size, b.size());
        }
    }

    // A part read ahead from the disk that gets shorter ends the join with an
    // error naming it, the file at the output path untouched.
    void coldPartCutDuringTheJoin() {
        const QStringList made = makeSet({3000000, 3000000});
        for (const QString& p : made)
            if (!evictFromCache(p)) QSKIP("this system can't drop a file from the page cache");
        writeFile(out, "previous clone");
        hooks.progress = [&](int p) {
            if (p == 10) QVERIFY(QFile::resize(made[1], 1000000));
        };
        const QString error = joinError(made[0], out);
        QVERIFY2(error.contains(made[1]), qPrintable(error));
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
        QCOMPARE(readFile(out), QByteArray("previous clone"));
    }

    // The "Clone Of" case: a file at the output path is replaced, and only once
    // the join is complete.
    void replacesAFileAtTheOutputPath() {
        const QStringList made = makeSet({30000, 30000});
        writeFile(out, "previous clone");
        bool previousKept = true;
        hooks.yield = [&] { previousKept = previousKept && readFile(out) == "previous clone"; };
        JoinState s;
        joinParts(s, readPartSet(made.first()), out, hooks);
        QVERIFY(previousKept);
        QCOMPARE(readFile(out), concat(made));
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
    }

    // Asked to keep what is there, the join leaves a file that appeared at the
    // output path meanwhile as it is and fails naming it.
    void keepsAFileThatAppearsAtTheOutputPath() {
        const QStringList made = makeSet({30000, 30000});
        hooks.yield = [&] {
            if (!progress.isEmpty() && !QFileInfo::exists(out)) writeFile(out, "the user's");
        };
        JoinOptions options;
        options.keepExisting = true;
        JoinState s;
        QString error;
        try {
            joinParts(s, readPartSet(made.first()), out, hooks, options);
        } catch (const OperationError& e) {
            error = e.text();
        }
        QVERIFY2(error.contains(out) && error.contains("exists"), qPrintable(error));
        QCOMPARE(readFile(out), QByteArray("the user's"));
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
    }

    // The hidden file's name must fit where the output's own name just fits.
    void longestOutputName() {
        const QString name = QString(251, 'n');
        for (int i = 1; i <= 2; ++i)
            makeFile(partsDir + name + ".00" + QString::number(i), 15000, quint32(i));
        hooks.iconRefresh = {};
        JoinState s;
        joinParts(s, readPartSet(partsDir + name + ".002"), outDir + name, hooks);
        QCOMPARE(entries(outDir), QStringList{name});
        QCOMPARE(readFile(outDir + name),
                 concat({partsDir + name + ".001", partsDir + name + ".002"}));
    }

    // Parts beyond 100 carry longer digits; the split's own parts join back whole.
    void joinsBackWhatTheSplitWrote() {
        const QString source = tmp.path() + "/movie.avi";
        makeFile(source, 150 * 15000 - 2345, 99);
        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = QFileInfo(source).size();
        s.SplitDestFolder = partsDir;
        splitIntoParts(s, source, 15000, SplitHooks());
        QCOMPARE(s.SplitPartPaths.size(), 150);
        QVERIFY(QFileInfo::exists(partsDir + "movie.avi.0150"));

        // Window-free, without any hook.
        JoinState join;
        joinParts(join, readPartSet(partsDir + "movie.avi.0101"), out, JoinHooks());
        QVERIFY(sameContent(out, source));
        QCOMPARE(joinedSize(readPartSet(partsDir + "movie.avi.100"), JoinHooks()),
                 s.SourceFileSize);
    }

    // A cancel, while the set is counted or in the middle of the copy, is
    // honoured within one step: no step is copied after it (only the closing
    // 99 is shown), and nothing is left, a file at the output path kept.
    // Without a list, a part missing past 100 is found in either numbering
    // (ours: .0101, other splitters': .101), whichever part is chosen; a
    // set whose parts past 100 are all there has no gap.
    void gapsPast100_data() {
        QTest::addColumn<QStringList>("longNames"); // beside movie.avi.001 ... .100
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("ours, 0101 missing") << QStringList{"movie.avi.0102", "movie.avi.0103"}
                                            << "movie.avi.0103" << QStringList{"movie.avi.0101 "};
        QTest::newRow("ours, 0102 missing, 050 chosen")
            << QStringList{"movie.avi.0101", "movie.avi.0103"} << "movie.avi.050"
            << QStringList{"movie.avi.0102 "};
        QTest::newRow("plain, 101 and 102 missing")
            << QStringList{"movie.avi.103"} << "movie.avi.103"
            << QStringList{"movie.avi.101 ", "movie.avi.102 "};
        QTest::newRow("ours, none missing")
            << QStringList{"movie.avi.0101", "movie.avi.0102"} << "movie.avi.001" << QStringList();
    }
    void gapsPast100() {
        QFETCH(QStringList, longNames);
        QFETCH(QString, chosen);
        QFETCH(QStringList, missing);
        for (int i = 1; i <= 100; ++i)
            writeFile(partsDir + QString("movie.avi.%1").arg(i, 3, 10, QChar('0')), "x");
        for (const QString& name : longNames)
            writeFile(partsDir + name, "x");
        JoinState s;
        const PartSet set = readPartSet(partsDir + chosen);
        collectMissingParts(s, set, readJoinChecks(set));
        QCOMPARE(s.JoinMissingParts, missing);
    }

    void cancelLeavesNoOutput_data() {
        QTest::addColumn<qint64>("cancelAtBytes"); // written at the cancelling turn; -1: counting
        QTest::addColumn<bool>("previousClone");
        QTest::newRow("while counting") << -1LL << false;
        QTest::newRow("during the copy") << 20000LL << false;
        QTest::newRow("during the copy, previous clone kept") << 20000LL << true;
    }
    void cancelLeavesNoOutput() {
        QFETCH(qint64, cancelAtBytes);
        QFETCH(bool, previousClone);
        const QStringList made = makeSet({30000, 30000, 30000});
        if (previousClone) writeFile(out, "previous clone");
        JoinState s;
        const auto written = [&] {
            const QStringList hidden = entries(outDir).filter(QRegularExpression("^\\.movie"));
            return hidden.isEmpty() ? -1 : QFileInfo(outDir + hidden[0]).size();
        };
        hooks.yield = [&] {
            if (!s.JoinCancelFlag && (cancelAtBytes < 0 || written() >= cancelAtBytes))
                s.JoinCancelFlag = 1;
        };
        int shownAfterCancel = 0;
        hooks.progress = [&](int p) {
            if (s.JoinCancelFlag) ++shownAfterCancel;
            progress.append(p);
        };
        joinParts(s, readPartSet(made[1]), out, hooks);
        QCOMPARE(s.JoinCancelFlag, quint8(1));
        QCOMPARE(shownAfterCancel, 1);
        QCOMPARE(progress.last(), 99);
        if (cancelAtBytes < 0) QCOMPARE(progress, QList<int>{99});
        QCOMPARE(entries(outDir), previousClone ? QStringList{"movie.avi"} : QStringList());
        if (previousClone) QCOMPARE(readFile(out), QByteArray("previous clone"));
        QCOMPARE(entries(partsDir).size(), 3);
    }

    // A part that disappears or gets shorter after it was counted ends the join
    // with an error naming it, never with a shorter output.
    void partChangedDuringTheJoin_data() {
        // The change comes at the first turn after `atBytes` of the output
        // are written (parts of 30,000 bytes, copied 10,000 at a time).
        QTest::addColumn<qint64>("atBytes");
        QTest::addColumn<int>("ordinal");
        QTest::addColumn<qint64>("newSize"); // -1: deleted
        QTest::newRow("003 deleted while 001 is copied") << 10000LL << 3 << -1LL;
        QTest::newRow("002 truncated before it is opened") << 20000LL << 2 << 15000LL;
        QTest::newRow("002 truncated while it is copied") << 40000LL << 2 << 12345LL;
        QTest::newRow("002 truncated at a step boundary") << 40000LL << 2 << 10000LL;
        // The rest of the part lies in the page where it now ends, which still
        // reads (as zeros) through a mapping.
        QTest::newRow("002 cut inside its last page") << 50000LL << 2 << 29000LL;
        QTest::newRow("004 emptied") << 10000LL << 4 << 0LL;
    }
    void partChangedDuringTheJoin() {
        QFETCH(qint64, atBytes);
        QFETCH(int, ordinal);
        QFETCH(qint64, newSize);
        makeSet({30000, 30000, 30000, 30000});
        writeFile(out, "previous clone");
        bool changed = false;
        hooks.yield = [&] {
            const QStringList hidden = entries(outDir).filter(QRegularExpression("^\\.movie"));
            if (changed || hidden.isEmpty() || QFileInfo(outDir + hidden[0]).size() < atBytes)
                return;
            changed = true;
            if (newSize < 0)
                QVERIFY(QFile::remove(part(ordinal)));
            else
                QVERIFY(QFile::resize(part(ordinal), newSize));
        };
        const int fds = openFileCount();
        const QString error = joinError(part(1), out);
        QVERIFY2(error.contains(part(ordinal)), qPrintable(error));
        QCOMPARE(openFileCount(), fds);
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
        QCOMPARE(readFile(out), QByteArray("previous clone"));
    }

    void outputCannotBeMade() {
        const QStringList made = makeSet({30000, 30000});
        const QString noFolder = tmp.path() + "/gone/movie.avi";
        QString error = joinError(made.first(), noFolder);
        QVERIFY2(error.startsWith("Cannot create " + noFolder + ": "), qPrintable(error));
        QCOMPARE(iconCalls, 0);

        // A folder at the output path: everything is copied, then the rename fails.
        QDir().mkpath(out);
        hooks.iconRefresh = [this] { ++iconCalls; };
        error = joinError(made.first(), out);
        QVERIFY2(error.startsWith("Cannot create " + out + ": "), qPrintable(error));
        QCOMPARE(iconCalls, 1);
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
        QVERIFY(QFileInfo(out).isDir());
    }

    void diskFillsDuringTheJoin() {
        Tmpfs fs(256 * 1024);
        if (!fs.ok()) QSKIP(qPrintable(fs.reason()));
        const QStringList made = makeSet({200000, 200000, 200000});
        const QByteArray before = concat(made);
        const QString full = fs.path() + "movie.avi";
        hooks.iconRefresh = {};
        // Parts in the page cache, then read from the disk (streamed ahead).
        for (const bool cold : {false, true}) {
            if (cold && !(evictFromCache(made[1]) && evictFromCache(made[2])))
                QSKIP("this system can't drop a file from the page cache: parts read from the "
                      "disk not tried");
            const int fds = openFileCount();
            const QString error = joinError(made.first(), full);
            QVERIFY2(error.contains("No space left"), qPrintable(error));
            // The message names the output the user asked for, not the hidden file.
            QVERIFY2(error.contains(full) && !error.contains(".part-"), qPrintable(error));
            QCOMPARE(openFileCount(), fds);
            QCOMPARE(entries(fs.path()), QStringList());
            QCOMPARE(concat(made), before);
        }
    }

    // A join removes the hidden files that killed joins of its output's name
    // (or a "Clone Of" name of it) left beside the output, and nothing else:
    // not another name's, not one merely named like them, never the one a running
    // join still writes (it is locked); once that join is killed, the next
    // join removes its file.
    void leftoversOfKilledJoins_data() {
        QTest::addColumn<QString>("hidden"); // "": the file of a join running in a child;
                                             // "{NAME}": a killed join's of output NAME
        QTest::addColumn<bool>("removed");
        QTest::newRow("killed join's") << "{movie.avi}" << true;
        QTest::newRow("killed clone join's") << "{Clone Of movie.avi}" << true;
        QTest::newRow("another name's") << "{other.avi}" << false;
        // Named like a join's hidden file by someone else: not the program's own.
        QTest::newRow("a user's, named like a join's")
            << ".movie.avi.part-abc123-0badc0de" << false;
        QTest::newRow("a user's, named like a clone join's")
            << ".Clone Of movie.avi.part-Zz9900-12345678" << false;
        QTest::newRow("another pattern") << ".movie.avi.part-abc12" << false;
        QTest::newRow("running join's, then killed") << QString() << false;
    }
    void leftoversOfKilledJoins() {
        QFETCH(QString, hidden);
        QFETCH(bool, removed);
        const QStringList made = makeSet({200000, 200000, 200000});
        hooks.iconRefresh = {};
        QProcess child;
        const bool running = hidden.isEmpty();
        if (running) {
            child.start(JOIN_PAUSED, {made.first(), out});
            QVERIFY(child.waitForReadyRead(20000));
            QCOMPARE(entries(outDir).size(), 1);
            hidden = entries(outDir).first();
        } else {
            if (hidden.startsWith('{')) { // the name that a join of that output gives its file
                const QString elsewhere = tmp.path() + "/elsewhere/";
                QVERIFY(QDir().mkpath(elsewhere));
                hidden =
                    QFileInfo(HiddenOutput(elsewhere + hidden.mid(1).chopped(1)).path()).fileName();
            }
            writeFile(outDir + hidden, "left behind");
        }
        JoinState s;
        joinParts(s, readPartSet(made.first()), out, hooks);
        QCOMPARE(readFile(out), concat(made));
        QCOMPARE(QFileInfo::exists(outDir + hidden), !removed);
        if (running) {
            QCOMPARE(child.state(), QProcess::Running); // paused in its copy
            child.kill();
            QVERIFY(child.waitForFinished(20000));
            QVERIFY(QFileInfo::exists(outDir + hidden));
            joinParts(s, readPartSet(made.first()), out, hooks);
            QCOMPARE(entries(outDir), QStringList{"movie.avi"});
        }
    }

    void killedJoinLeavesNothingUnderTheOutputName() {
        const QStringList made = makeSet({200000, 200000, 200000});
        QProcess child;
        child.start(JOIN_PAUSED, {made.first(), out});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QVERIFY(child.waitForReadyRead(20000));
        QCOMPARE(child.readAllStandardOutput(), QByteArray("copying\n"));
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFileInfo::exists(out));
        // What stays is the hidden file, holding the start of the output.
        const QStringList left = entries(outDir);
        QCOMPARE(left.size(), 1);
        QVERIFY(left[0].startsWith(".movie.avi.part-"));
        const QByteArray partial = readFile(outDir + left[0]);
        QVERIFY(concat(made).startsWith(partial));
    }

    // A join started while another join of the same output runs in this
    // process (from its event-loop turn) leaves the running one's hidden file
    // alone: the lock keeps it. Both complete, the later one last.
    void runningJoinsFileIsLockedAgainstTheSweep() {
        const QStringList made = makeSet({30000, 30000, 30000});
        const QString otherParts = tmp.path() + "/other/";
        QDir(otherParts).removeRecursively();
        QVERIFY(QDir().mkpath(otherParts));
        makeFile(otherParts + "movie.avi.001", 5000, 41);
        hooks.iconRefresh = {};
        bool nested = false;
        QByteArray joinedMeanwhile;
        hooks.yield = [&] {
            if (nested || entries(outDir).isEmpty()) return;
            nested = true;
            const QStringList hidden = entries(outDir);
            JoinState inner;
            joinParts(inner, readPartSet(otherParts + "movie.avi.001"), out, JoinHooks());
            joinedMeanwhile = readFile(out);
            for (const QString& name : hidden)
                QVERIFY2(QFileInfo::exists(outDir + name), qPrintable(name + " was swept"));
        };
        JoinState s;
        joinParts(s, readPartSet(made.first()), out, hooks);
        QVERIFY(nested);
        QCOMPARE(joinedMeanwhile, readFile(otherParts + "movie.avi.001"));
        QCOMPARE(readFile(out), concat(made));
        QCOMPARE(entries(outDir), QStringList{"movie.avi"});
    }
};

QTEST_GUILESS_MAIN(TestJoinEngine)
#include "tst_joinengine.moc"
