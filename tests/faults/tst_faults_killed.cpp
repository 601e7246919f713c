// SPDX-License-Identifier: GPL-3.0-or-later
// Crash safety of the split: a split killed in the middle (SIGKILL, in a child
// process that drives the real window) leaves no part list, also where an
// earlier split of the same name had left one: that list goes as soon as the
// new split starts overwriting its parts, and stays when the new split is
// refused before writing anything.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/SplitEngine.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>
#include <sys/types.h>

using namespace tfs;

using namespace testutil;
using namespace faults;

class TestFaultsKilled : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString source, out, list; // out ends with "/"
    QByteArray original;

    QString part(int ordinal) const {
        return out + QString("movie.avi.%1").arg(ordinal, 3, 10, QChar('0'));
    }

    // An earlier, completed split of the same source into the same folder,
    // in parts of 7,000 bytes, with its list.
    QStringList earlierSet() {
        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = original.size();
        s.SplitDestFolder = out;
        splitIntoParts(s, source, 7000, SplitHooks());
        writePartList(list, s.SplitPartNames);
        return s.SplitPartNames;
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        source = tmp->filePath("movie.avi");
        out = tmp->filePath("out/");
        list = out + "movie.avi.txt";
        QVERIFY(QDir().mkpath(out));
        makeFile(source, 2000000, 5);
        original = readFile(source);
    }
    void cleanup() {
        setFreeSpaceQuery({});
        QCOMPARE(readFile(source), original);
    }

    // Killed after its third part was started (of 200): no list remains,
    // neither the earlier one nor a temporary one, part 1 is there only under
    // its hidden name, and every other file left is a part holding the
    // source's bytes of its place (a short one a start of them), or a part of
    // the earlier set as it was.
    void killedSplitLeavesNoList_data() {
        QTest::addColumn<bool>("earlier");
        QTest::newRow("into an empty folder") << false;
        QTest::newRow("over an earlier set of the same name") << true;
    }
    void killedSplitLeavesNoList() {
        QFETCH(bool, earlier);
        if (earlier) QCOMPARE(earlierSet().size(), 286);
        QProcess child;
        child.start(SPLIT_IN_WINDOW, {source, out, "10000"});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QVERIFY2(child.waitForReadyRead(60000), child.readAllStandardError().constData());
        QCOMPARE(child.readAllStandardOutput(), QByteArray("copying\n"));
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        // Part 1 keeps its hidden name until the split has completed: what
        // remains is no set that a join would take for whole.
        const QRegularExpression partName("^movie\\.avi\\.(0\\d\\d+|100)$");
        QVERIFY(!QFileInfo::exists(part(1)));
        for (const QString& name : entries(out)) {
            if (name == ".movie.avi.001.splitting") {
                QVERIFY(original.left(10000).startsWith(readFile(out + name)));
                continue;
            }
            QVERIFY2(partName.match(name).hasMatch(), qPrintable(name));
            const int ordinal = name.mid(QString("movie.avi.").size()).toInt();
            const QByteArray bytes = readFile(out + name);
            QVERIFY2(original.mid((ordinal - 1) * 10000, 10000).startsWith(bytes) ||
                         (earlier && bytes == original.mid((ordinal - 1) * 7000, 7000)),
                     qPrintable(name));
        }
    }

    // SIGTERM (a logout, kill), SIGINT (Ctrl+C) and SIGHUP during a split
    // are a close of the window: the split is cancelled, its parts go, no
    // list is written, the earlier set's list is not left lying, and the
    // program ends with 128 + the signal's number.
    void signalEndsTheSplitLikeAClose_data() {
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGINT, over an earlier set") << int(SIGINT) << true;
        QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    }
    void signalEndsTheSplitLikeAClose() {
        QFETCH(int, sig);
        QFETCH(bool, earlier);
        if (earlier) earlierSet();
        QProcess child;
        child.start(SPLIT_IN_WINDOW, {source, out, "10000"});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QVERIFY2(child.waitForReadyRead(60000), child.readAllStandardError().constData());
        QCOMPARE(child.readAllStandardOutput(), QByteArray("copying\n"));
        QCOMPARE(::kill(pid_t(child.processId()), sig), 0);
        child.closeWriteChannel(); // on it goes, to the signal's handling
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 128 + sig);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("done\n"));
        // The earlier set's parts beyond those the split overwrote remain;
        // none of the new split's, and no list.
        for (const QString& name : entries(out)) {
            QVERIFY2(!name.endsWith(".txt"), qPrintable(name));
            const int ordinal = name.mid(QString("movie.avi.").size()).toInt();
            QVERIFY2(earlier && readFile(out + name) == original.mid((ordinal - 1) * 7000, 7000),
                     qPrintable(name));
        }
    }

    // A part whose close reports an error (a network file system's delayed
    // write error) fails the split like any other write error: the error
    // names the part, no list is written, and the split does not report done
    // without an error.
    void failedCloseOfAPart_data() {
        QTest::addColumn<QString>("part");
        QTest::newRow("a middle part") << "movie.avi.002";
        QTest::newRow("the last part") << "movie.avi.0200";
    }
    // The same delayed error on the join's hidden output (a join from the
    // command line, on the window's engine): the join fails, and neither the
    // output nor its hidden file is left; the parts stay.
    void failedCloseOfTheJoinedFile() {
        const QStringList parts = earlierSet();
        const QString into = tmp->filePath("joined/");
        QVERIFY(QDir().mkpath(into));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", CLOSE_FAILS);
        env.insert("TFS_CLOSE_FAILS", "/joined/.movie.avi.part-");
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
        child.setProcessEnvironment(env);
        child.start(PROGRAM, {"--join", out + parts.first(), "--into", into});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 2);
        QCOMPARE(QDir(into).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        for (const QString& name : parts)
            QVERIFY(QFileInfo::exists(out + name));
    }
    void failedCloseOfAPart() {
        QFETCH(QString, part);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", CLOSE_FAILS);
        env.insert("TFS_CLOSE_FAILS", "/out/" + part);
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
        child.setProcessEnvironment(env);
        child.start(SPLIT_IN_WINDOW, {source, out, "10000"});
        child.closeWriteChannel(); // no pause mid-way
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(errors.contains("Cannot write " + out + part), qPrintable(errors));
        QVERIFY(!QFileInfo::exists(list));
    }

    // Through the window, over an earlier set with its list: a split refused
    // for free space, and one whose first part can't be started because the
    // earlier list can't be deleted (an immutable file), leave the earlier
    // set and list as they were; a split that starts has deleted the list
    // by its first event-loop turn, and once cancelled leaves none. A preset
    // split does the same and, complete, lists its own parts.
    void earlierListGoesWithTheFirstPart() {
        earlierSet();
        const auto before = snapshot(out);
        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->splitPageButton);
        testutil::prepareSplit(ui, source, 0, "10000", out);

        setFreeSpaceQuery([](const QString&) { return 1000.0; });
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(snapshot(out), before);
        setFreeSpaceQuery({});

        if (faults::run("chattr", {"+i", list}).isEmpty()) {
            click(f->splitPanel->splitButton);
            QVERIFY(faults::run("chattr", {"-i", list}).isEmpty());
            checkError(ui.errors, 1, list, "Cannot delete");
            QCOMPARE(f->splitPanel->state().SplitPartPaths, QStringList());
            QCOMPARE(snapshot(out), before);
            click(f->splitPanel->splitCancelButton);
            QCOMPARE(snapshot(out), before);
        } else {
            qWarning("chattr +i does not work here: the undeletable list is not tried");
        }

        int turns = 0;
        during(
            f, [f] { return !f->splitPanel->state().SplitPartPaths.isEmpty(); },
            [&] {
                ++turns;
                QVERIFY(!QFileInfo::exists(list));
                click(f->splitPanel->splitCancelButton);
            });
        click(f->splitPanel->splitButton);
        QCOMPARE(turns, 1);
        QVERIFY(!QFileInfo::exists(list));
        QVERIFY(!QFileInfo::exists(part(1)));

        earlierSet();
        click(f->splitPanel->splitMainButton);
        click(f->startPanel->presetsPageButton);
        during(
            f, [f] { return !f->splitPanel->state().SplitPartPaths.isEmpty(); },
            [&] {
                ++turns;
                QVERIFY(!QFileInfo::exists(list));
            });
        ui.fileAnswers << source;
        ui.folderAnswers << out;
        click(f->presetsPanel->floppy12Button); // 1.2 MB
        QCOMPARE(turns, 2);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        QCOMPARE(readFile(list), QByteArray("movie.avi.001\r\nmovie.avi.002\r\n"));
        QCOMPARE(concat({part(1), part(2)}), original);
    }
};

TFS_UI_TEST_MAIN(TestFaultsKilled)
#include "tst_faults_killed.moc"
