// SPDX-License-Identifier: GPL-3.0-or-later
// Faults that every panel that takes a file meets: a folder or a named pipe
// chosen as the file (a pipe opened for reading waits for a writer, which
// would freeze the window), and a preset split that fails on a full disk.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace testutil;
using namespace faults;

class TestFaultsPanels : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString dir; // ends with "/"

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        dir = tmp->path() + "/";
    }

    // Each panel's way of taking a file, given a folder and then a named pipe
    // (both named like the first part of a set): the error names the path and
    // what it is, nothing is written, nothing waits on the pipe, and the
    // panel then takes a real file.
    void notAFile_data() {
        QTest::addColumn<QString>("panel");
        for (const char* panel : {"split", "presets", "checksum", "compare", "join"})
            QTest::newRow(panel) << QString(panel);
    }
    void notAFile() {
        QFETCH(QString, panel);
        const QString real = dir + "real.bin";
        makeFile(real, 2 * 1258291, 5); // fits the "1.2 MB" preset twice
        const QString folder = dir + "folder.bin.001";
        QVERIFY(QDir().mkpath(folder));
        const QString fifo = dir + "pipe.bin.001";
        QVERIFY(makeFifo(fifo));
        const QString out = dir + "out/";
        QVERIFY(QDir().mkpath(out));

        Ui ui;
        MainWindow* f = ui.form.get();
        claimRoom();
        // Runs the panel's command on `file`; returns what the panel shows of it.
        std::function<QString(const QString&)> take;
        if (panel == "split") {
            click(f->startPanel->splitPageButton);
            take = [&](const QString& file) {
                ui.fileAnswers << file;
                click(f->splitPanel->loadSourceButton);
                return f->splitPanel->sourceSizeField->text();
            };
        } else if (panel == "presets") {
            click(f->startPanel->presetsPageButton);
            take = [&](const QString& file) {
                ui.fileAnswers << file;
                ui.folderAnswers << out;
                click(f->presetsPanel->floppy12Button);
                return entries(out).join(' ');
            };
        } else if (panel == "checksum") {
            click(f->startPanel->comparePageButton);
            take = [&](const QString& file) {
                ui.fileAnswers << file;
                click(f->comparePanel->checksumButton);
                return f->comparePanel->checksumResults->lines().join(' ').trimmed();
            };
        } else if (panel == "compare") {
            click(f->startPanel->comparePageButton);
            take = [&](const QString& file) {
                ui.fileAnswers << real << file;
                click(f->comparePanel->compareButton);
                return f->comparePanel->compareResults->lines().join(' ').trimmed();
            };
        } else {
            click(f->startPanel->joinPageButton);
            take = [&](const QString& file) {
                ui.fileAnswers << file;
                click(f->joinPanel->loadPartButton);
                return f->joinPanel->chosenPartField->text();
            };
        }

        QCOMPARE(take(folder), QString());
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY2(ui.errors[0].contains(folder) && ui.errors[0].contains("folder"),
                 qPrintable(ui.errors[0]));
        {
            FifoWatchdog watchdog(fifo);
            QCOMPARE(take(fifo), QString());
            QVERIFY2(!watchdog.readerWasBlocked(), "the named pipe was opened for reading");
        }
        QCOMPARE(ui.errors.size(), 2);
        QVERIFY2(ui.errors[1].contains(fifo) && ui.errors[1].contains("named pipe"),
                 qPrintable(ui.errors[1]));
        QCOMPARE(entries(dir), (QStringList{"folder.bin.001", "out", "pipe.bin.001", "real.bin"}));
        QCOMPARE(entries(out), QStringList());
        QCOMPARE(entries(folder), QStringList());

        QVERIFY(!take(real).isEmpty());
        QCOMPARE(ui.errors.size(), 2);
    }

    // A preset split that fills the disk: the error names the part; the
    // panel's Cancel removes the parts written, and an earlier preset split's
    // parts and list are left alone. Closing the window after such a failure
    // removes the parts too.
    void presetSplitFillsTheDisk() {
        TFS_MOUNT_OR_SKIP(fs, 4 << 20);
        const QString earlier = dir + "earlier.bin";
        makeFile(earlier, 1258291 + 10, 2); // two parts of the "1.2 MB" preset
        const QString source = dir + "src.bin";
        makeFile(source, 6 * 1258291, 3); // needs 7.2 MiB
        const QByteArray sourceBytes = readFile(source);

        Ui ui;
        MainWindow* f = ui.form.get();
        claimRoom();
        click(f->startPanel->presetsPageButton);
        const auto preset = [&](const QString& file) {
            ui.fileAnswers << file;
            ui.folderAnswers << fs.path();
            click(f->presetsPanel->floppy12Button);
        };
        preset(earlier);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        const auto earlierSet = snapshot(fs.path());
        QCOMPARE(earlierSet.size(), 5); // a part, the list, the check files

        preset(source);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY2(ui.errors[0].contains(fs.path() + "src.bin.") &&
                     ui.errors[0].contains("No space left on device"),
                 qPrintable(ui.errors[0]));
        QVERIFY(f->presetsPanel->state().SplitPartPaths.size() >= 2);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));
        QVERIFY(f->presetsPanel->presetsCancelButton->isEnabled());
        click(f->presetsPanel->presetsCancelButton);
        QCOMPARE(snapshot(fs.path()), earlierSet);
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());

        preset(source);
        QCOMPARE(ui.errors.size(), 2);
        f->close();
        QCOMPARE(snapshot(fs.path()), earlierSet);
        QCOMPARE(readFile(source), sourceBytes);
    }
};

TFS_UI_TEST_MAIN(TestFaultsPanels)
#include "tst_faults_panels.moc"
