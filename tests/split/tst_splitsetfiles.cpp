// SPDX-License-Identifier: GPL-3.0-or-later
// A completed split's own files, from the window and the command line: the
// list, the check files and the recovery data are written while the split
// still holds its set; a check file or recovery data that is not written is
// told. The recovery setting of the split and presets pages: one setting,
// remembered between runs; its sets are repaired by Debian's par2; Cancel,
// Undo and the close take the recovery files with the set.
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "gui/MainWindow.h"
#include "gui/RecoverySetting.h"
#include "gui/Widgets.h"
#include "gui/pages/PresetsPage.h"
#include "gui/pages/SplitPage.h"

#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QtTest>

using namespace testutil;

namespace {

struct Run {
    int status = -1; // -1: killed or hung
    QByteArray err;
};

// Runs `program` in `folder` with the arguments.
Run runIn(const QString& folder, const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    Run r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    r.err = p.readAllStandardError();
    return r;
}

constexpr qint64 Floppy12 = 0x133333; // the part size of the "1.2 MB" preset

bool hasPar2() { return !QStandardPaths::findExecutable(QStringLiteral("par2")).isEmpty(); }

// The setting as a user makes it: the box clicked when it must change, the
// percentage typed over the field's own.
void chooseRecovery(const RecoverySetting& setting, int percent) {
    if (setting.box->isChecked() != (percent > 0)) click(setting.box);
    if (percent <= 0) return;
    setting.percentField->selectAll();
    QTest::keyClicks(setting.percentField, QString::number(percent));
    QCOMPARE(setting.percentField->value(), percent);
}

// What the pages show of the setting: checked, percentage, field enabled.
QList<QVariant> shown(const RecoverySetting& setting) {
    return {setting.box->isChecked(), setting.percentField->value(),
            setting.percentField->isEnabled()};
}

} // namespace

class TestSplitSetFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString dir, out; // both end with "/"
    QByteArray data;  // of data.bin: five parts of 100,000 bytes and a short one

    QStringList parts() const {
        QStringList names;
        for (int i = 1; i <= 6; ++i)
            names << out + "data.bin." + digitsOf(i);
        return names;
    }
    QStringList setNames(bool recovery) const {
        QStringList names{"data.bin.001", "data.bin.002", "data.bin.003",
                          "data.bin.004", "data.bin.005", "data.bin.006",
                          "data.bin.crc", "data.bin.sfv", "data.bin.txt"};
        if (recovery)
            names << "data.bin.par2"
                  << "data.bin.vol0+1.par2";
        names.sort();
        return names;
    }

    // The split page splits data.bin into `out` in parts of 100,000 bytes,
    // with the recovery setting at `percent` (0: off).
    void splitFromPage(Ui& ui, int percent) {
        MainWindow* f = ui.form.get();
        f->showSplitPage();
        chooseRecovery(f->splitPanel->recovery, percent);
        prepareSplit(ui, dir + "data.bin", 0, "100000", out);
        click(f->splitPanel->splitButton);
    }

    // A preset of 1.2 MB splits big.bin (three parts) into `out`.
    void splitFromPreset(Ui& ui, int percent) {
        MainWindow* f = ui.form.get();
        f->showPresetsPage();
        chooseRecovery(f->presetsPanel->recovery, percent);
        ui.fileAnswers << dir + "big.bin";
        ui.folderAnswers << out;
        click(f->presetsPanel->floppy12Button);
    }

    // Recovery files on their way (the writer's hidden files): the recovery
    // data is being made.
    bool makingRecoveryData() const {
        return !QDir(out).entryList({"*.par2.partial"}, QDir::Files | QDir::Hidden).isEmpty();
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        dir = tmp->path() + "/";
        out = dir + "out/";
        QVERIFY(QDir().mkpath(out));
        data = patternBytes(500000 + 12345, 3);
        writeFile(dir + "data.bin", data);
        setFreeSpaceQuery([](const QString&) { return 1e15; });
    }
    void cleanup() { setFreeSpaceQuery({}); }

    // A second split of a file of the same name into the same folder, from
    // the command line, while the window's split writes its set's files: it
    // is refused, and the window's set is whole.
    void secondSplitRefusedWhileSetFilesAreWritten_data() {
        QTest::addColumn<int>("percent");
        QTest::newRow("list and check files written") << 0;
        QTest::newRow("recovery data being made") << 20;
    }
    void secondSplitRefusedWhileSetFilesAreWritten() {
        QFETCH(int, percent);
        QVERIFY(QDir().mkpath(dir + "other"));
        makeFile(dir + "other/data.bin", 300000, 9);
        Ui ui;
        Run second;
        during(
            ui.form.get(),
            [&] {
                return percent > 0 ? makingRecoveryData() : QFileInfo::exists(out + "data.bin.sfv");
            },
            [&] {
                second = runIn(dir, PROGRAM,
                               {"--split", "other/data.bin", "--size", "50000B", "--into", "out"});
            });
        splitFromPage(ui, percent);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(second.status, 2);
        QVERIFY2(second.err.contains("another split is writing"), second.err.constData());
        QCOMPARE(filesIn(out), setNames(percent > 0));
        QCOMPARE(concat(parts()), data);
        QCOMPARE(readFile(out + "data.bin.txt").count("\r\n"), 6);
    }

    // A file of the user's named like a check file stays as it is; the split
    // stands, and the user is told that check file was not written.
    void foreignCheckFileTold_data() {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("window");
        QTest::newRow(".sfv, window") << ".sfv" << true;
        QTest::newRow(".crc, window") << ".crc" << true;
        QTest::newRow(".sfv, command line") << ".sfv" << false;
        QTest::newRow(".crc, command line") << ".crc" << false;
    }
    void foreignCheckFileTold() {
        QFETCH(QString, suffix);
        QFETCH(bool, window);
        const QByteArray mine = "my own notes, not a check file\n";
        writeFile(out + "data.bin" + suffix, mine);
        const QString told = "data.bin" + suffix +
                             " is not a check file of this split and stays as it is: no " + suffix +
                             " was written";
        if (window) {
            Ui ui;
            splitFromPage(ui, 0);
            QCOMPARE(ui.errors, QStringList());
            QCOMPARE(ui.reports, QList<QStringList>{{told}});
        } else {
            const Run split =
                runIn(dir, PROGRAM, {"--split", "data.bin", "--size", "100000B", "--into", "out"});
            QCOMPARE(split.status, 0);
            QCOMPARE(QString::fromUtf8(split.err).trimmed(), "tarvello-file-splitter: " + told);
        }
        QCOMPARE(readFile(out + "data.bin" + suffix), mine);
        QCOMPARE(filesIn(out), setNames(false));
        QCOMPARE(concat(parts()), data);
    }

    // The split and presets pages show one setting: off and 10 % at first, a
    // change on either page shows on the other, and a new window (a new run)
    // shows it as it was left.
    void recoverySettingSharedAndRemembered() {
        {
            Ui ui;
            const RecoverySetting& split = ui.form->splitPanel->recovery;
            const RecoverySetting& presets = ui.form->presetsPanel->recovery;
            QCOMPARE(split.box->text(), QStringLiteral("Recovery data"));
            QCOMPARE(split.percentField->minimum(), 1);
            QCOMPARE(split.percentField->maximum(), 100);
            const QList<QVariant> first{false, 10, false};
            QCOMPARE(shown(split), first);
            QCOMPARE(shown(presets), first);

            ui.form->showSplitPage();
            chooseRecovery(split, 25);
            QCOMPARE(shown(presets), (QList<QVariant>{true, 25, true}));
            ui.form->showPresetsPage();
            chooseRecovery(presets, 40);
            QCOMPARE(shown(split), (QList<QVariant>{true, 40, true}));
            chooseRecovery(presets, 0);
            QCOMPARE(shown(split), (QList<QVariant>{false, 40, false}));
            click(presets.box);
        }
        MainWindow again;
        QCOMPARE(shown(again.splitPanel->recovery), (QList<QVariant>{true, 40, true}));
        QCOMPARE(shown(again.presetsPanel->recovery), (QList<QVariant>{true, 40, true}));
    }

    // A window split with the setting on writes recovery data that Debian's
    // par2 accepts and repairs a lost part from.
    void windowSplitRepairedByPar2_data() {
        QTest::addColumn<bool>("preset");
        QTest::newRow("split page") << false;
        QTest::newRow("preset 1.2 MB") << true;
    }
    void windowSplitRepairedByPar2() {
        QFETCH(bool, preset);
        if (!hasPar2()) QSKIP("Debian's par2 is not installed (tools/install-deps)");
        Ui ui;
        QString lost = out + "data.bin.003";
        QByteArray source = data;
        if (preset) {
            source = patternBytes(3 * Floppy12 - 5000, 4); // three parts
            writeFile(dir + "big.bin", source);
            splitFromPreset(ui, 34);
            lost = out + "big.bin.002";
        } else {
            splitFromPage(ui, 20);
        }
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports, QList<QStringList>());
        const QByteArray before = readFile(lost);
        QVERIFY(QFile::remove(lost));
        const QString index = preset ? "big.bin.par2" : "data.bin.par2";
        QCOMPARE(runIn(out, "par2", {"repair", "-q", index}).status, 0);
        QCOMPARE(readFile(lost), before);
        QCOMPARE(runIn(out, "par2", {"verify", "-q", index}).status, 0);
    }

    // Cancel and the close while the recovery data is being made, and Undo
    // after it was made, leave nothing of the set, recovery files included.
    void noRecoveryFileLeft_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel while it is made") << "cancel";
        QTest::newRow("close while it is made") << "close";
        QTest::newRow("Undo") << "undo";
        QTest::newRow("preset Cancel while it is made") << "preset cancel";
        QTest::newRow("close while a preset's is made") << "preset close";
    }
    void noRecoveryFileLeft() {
        QFETCH(QString, how);
        Ui ui;
        MainWindow* f = ui.form.get();
        const bool preset = how.startsWith("preset");
        QPushButton* cancel =
            preset ? f->presetsPanel->presetsCancelButton : f->splitPanel->splitCancelButton;
        bool madeWhenStopped = false;
        if (how != "undo")
            during(
                f, [this] { return makingRecoveryData(); },
                [&] {
                    madeWhenStopped = true;
                    how.endsWith("close") ? (void)f->close() : click(cancel);
                });
        if (preset) {
            writeFile(dir + "big.bin", patternBytes(3 * Floppy12 - 5000, 4));
            splitFromPreset(ui, 50);
        } else {
            splitFromPage(ui, 50);
        }
        QCOMPARE(ui.errors, QStringList());
        if (how == "undo") {
            QCOMPARE(QDir(out).entryList({"*.par2"}).size(), 3); // the index and two volumes
            QCOMPARE(cancel->text(), QStringLiteral("Undo"));
            click(cancel);
        } else {
            QVERIFY(madeWhenStopped);
            QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        }
        QCOMPARE(entries(out), QStringList());
    }

    // Recovery data that can't be written beside the parts (a file of the
    // user's has the index's name) is refused in the report; the split
    // stands with its list and check files, and Undo removes them.
    void recoveryRefusalTold() {
        const QByteArray mine = "not recovery data";
        writeFile(out + "data.bin.par2", mine);
        Ui ui;
        splitFromPage(ui, 20);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports, QList<QStringList>{{"data.bin.par2 is not recovery data of this split "
                                                 "and stays as it is: no recovery data was "
                                                 "written"}});
        QStringList expected = setNames(false) << "data.bin.par2";
        expected.sort();
        QCOMPARE(filesIn(out), expected);
        click(ui.form->splitPanel->splitCancelButton); // Undo
        QCOMPARE(filesIn(out), QStringList{"data.bin.par2"});
        QCOMPARE(readFile(out + "data.bin.par2"), mine);
    }
};

TFS_UI_TEST_MAIN(TestSplitSetFiles)
#include "tst_splitsetfiles.moc"
