// SPDX-License-Identifier: GPL-3.0-or-later
// The split panel driven as a user drives it: real widgets, scripted dialogs.
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/PathShortening.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList Blank3{QString(), QString(), QString()};
const QString BiggerLine = QStringLiteral("            Part Is Bigger then file");

void roomy() {
    setFreeSpaceQuery([](const QString&) { return 1e15; });
}

// Opens the panel, with plenty of free space unless the test sets its own.
MainWindow* openPanel(Ui& ui) {
    roomy();
    ui.form->showSplitPage();
    return ui.form.get();
}

void backspaces(QLineEdit* e, int n) {
    for (int i = 0; i < n; ++i)
        QTest::keyClick(e, Qt::Key_Backspace);
}

// The panel after a Cancel or Undo of a split of src.bin.
void checkCancelled(const Ui& ui) {
    MainWindow* f = ui.form.get();
    QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Cancel"));
    QVERIFY(!f->splitPanel->splitCancelButton->isEnabled());
    QCOMPARE(f->splitPanel->splitGauge->progress(), 0);
    QCOMPARE(f->splitPanel->splitHint->text(), QString("src.bin is Already Looaded"));
    QVERIFY(f->splitPanel->splitHint->isVisible());
    QCOMPARE(navigation(f), AllOn);
    QVERIFY(ui.errors.isEmpty());
}

// Splits the source into dest from the open Split panel, in parts of 1,000
// bytes, or with the 1.2 MB preset.
void splitInto(Ui& ui, bool preset, const QString& source, const QString& dest) {
    MainWindow* f = ui.form.get();
    if (preset) {
        QTest::mouseClick(f->splitPanel->splitMainButton, Qt::LeftButton);
        QTest::mouseClick(f->startPanel->presetsPageButton, Qt::LeftButton);
        ui.fileAnswers << source;
        ui.folderAnswers << dest;
        QTest::mouseClick(f->presetsPanel->floppy12Button, Qt::LeftButton);
        return;
    }
    prepareSplit(ui, source, 0, "1000");
    ui.folderAnswers << dest;
    QTest::mouseClick(f->splitPanel->destinationButton, Qt::LeftButton);
    QTest::mouseClick(f->splitPanel->splitButton, Qt::LeftButton);
}
} // namespace

class TestSplitPanel : public QObject {
    Q_OBJECT

    // Every test works in a fresh folder with a source src.bin and a folder out.
    std::unique_ptr<QTemporaryDir> tmp;
    QString source, out;

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        source = tmp->filePath("src.bin");
        out = tmp->filePath("out");
        QDir().mkpath(out);
    }
    // The 700-megabyte example: sizes, part counts, the oversize and identical checks.
    void sizesUnitsAndChecks() {
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(734003200)); // sparse
        }
        Ui ui;
        MainWindow* f = openPanel(ui);
        QVERIFY(!f->splitPanel->partSizeField->isEnabled());
        loadSource(ui, source);

        QCOMPARE(f->splitPanel->convertedSizeList->lines(),
                 (QStringList{"   ", "B=734003200", "KB=716800", "MB=700", "GB=0.68359375"}));
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("700"));
        QCOMPARE(f->splitPanel->splitHint->text(), QString(" src.bin Loaded"));
        QCOMPARE(f->splitPanel->state().SplitDestFolder, tmp->path() + "/");
        QVERIFY(f->splitPanel->partSizeField->isEnabled());
        QVERIFY(!f->splitPanel->splitButton->isEnabled() &&
                !f->splitPanel->destinationButton->isEnabled());

        QTest::keyClicks(f->splitPanel->partSizeField, "100");
        QCOMPARE(f->splitPanel->partCountField->text(), QString("7"));
        QVERIFY(f->splitPanel->splitButton->isEnabled() &&
                f->splitPanel->destinationButton->isEnabled());
        backspaces(f->splitPanel->partSizeField, 3);
        QVERIFY(!f->splitPanel->splitButton->isEnabled() &&
                !f->splitPanel->destinationButton->isEnabled());
        QTest::keyClicks(f->splitPanel->partSizeField, "700");
        QCOMPARE(f->splitPanel->partCountField->text(), QString("1"));

        // Same text as the size: nothing to split; only Main is left enabled.
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.reports.last(),
                 Blank3 + QStringList{"As a Result You will have identical file"});
        QCOMPARE(f->splitPanel->partCountField->text(), QString("1"));
        QCOMPARE(filesIn(tmp->path()), QStringList{"src.bin"});
        QCOMPARE(navigation(f), (QList<bool>{false, false, false, true}));
        QVERIFY(!f->splitPanel->splitCancelButton->isEnabled());

        // The unit box takes unit letters only; "g" picks gigabytes and 700 no longer fits.
        QTest::keyClicks(f->splitPanel->unitBox, "x1");
        QTest::keyClick(f->splitPanel->unitBox, Qt::Key_Backspace);
        QCOMPARE(f->splitPanel->unitBox->currentText(), QString("Megabytes"));
        const int before = ui.reports.size();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        f->splitPanel->unitBox
            ->setFocus(); // the box completes the letter only while it has the focus
        f->splitPanel->unitBox->lineEdit()->selectAll();
        QTest::keyClicks(f->splitPanel->unitBox, "g");
        QCOMPARE(f->splitPanel->unitBox->currentText(), QString("Gigabytes"));
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("0.68359375"));
        QCOMPARE(ui.reports.size(), before + 1);
        QCOMPARE(ui.reports.last(), Blank3 + QStringList{BiggerLine});
        QVERIFY(f->splitPanel->partSizeField->text().isEmpty());
        QVERIFY(f->splitPanel->partCountField->text().isEmpty());
        QVERIFY(ui.errors.isEmpty());
    }

    // What the part-size field lets through.
    void partSizeTyping() {
        makeFile(source, 3 * 1048576);
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, source);

        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_0);
        QVERIFY(f->splitPanel->partSizeField->text().isEmpty());
        QTest::keyClicks(f->splitPanel->partSizeField, "a-.,+ e");
        QVERIFY(f->splitPanel->partSizeField->text().isEmpty());
        QTest::keyClicks(f->splitPanel->partSizeField, "2");
        QCOMPARE(f->splitPanel->partCountField->text(), QString("2"));

        QGuiApplication::clipboard()->setText("1234");
        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_V,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(f->splitPanel->partSizeField->text(), QString("2"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("1234"));

        // Delete and Tab type no character: they still edit and move on.
        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_Home);
        QTest::keyClick(f->splitPanel->partSizeField, Qt::Key_Delete);
        QVERIFY(f->splitPanel->partSizeField->text().isEmpty());
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        f->splitPanel->partSizeField->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != f->splitPanel->partSizeField);

        QVERIFY(ui.reports.isEmpty());
    }

    // A file under one megabyte and an empty file.
    void smallAndEmptyFiles() {
        makeFile(tmp->filePath("half.bin"), 524288);
        writeFile(tmp->filePath("empty.bin"), QByteArray());
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, tmp->filePath("half.bin"));
        QCOMPARE(f->splitPanel->convertedSizeList->lines(),
                 (QStringList{"   ", "B=524288", "KB=512", "MB=0.5", "GB=0.00048828125"}));
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("0.5"));
        QVERIFY(f->splitPanel->partSizeField->isEnabled());

        loadSource(ui, tmp->filePath("empty.bin"));
        QCOMPARE(f->splitPanel->convertedSizeList->lines(), QStringList{"   "});
        QVERIFY(f->splitPanel->sourceSizeField->text().isEmpty());
        QVERIFY(!f->splitPanel->partSizeField->isEnabled());
        QVERIFY(!f->splitPanel->splitButton->isEnabled());
    }

    // 2,080,000 bytes at one megabyte into a chosen folder, then Undo.
    void splitAndUndo() {
        makeFile(source, 2080000);
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, source);
        QTest::keyClicks(f->splitPanel->partSizeField, "1");
        QCOMPARE(f->splitPanel->partCountField->text(), QString("2"));
        ui.folderAnswers << out;
        click(f->splitPanel->destinationButton);
        QCOMPARE(f->splitPanel->state().SplitDestFolder, out + "/");
        QCOMPARE(f->splitPanel->destinationField->toolTip(), out + "/");

        click(f->splitPanel->splitButton);
        QCOMPARE(filesIn(out), (QStringList{"src.bin.001", "src.bin.002", "src.bin.crc",
                                            "src.bin.sfv", "src.bin.txt"}));
        QCOMPARE(QFileInfo(out + "/src.bin.001").size(), 1048576);
        QCOMPARE(QFileInfo(out + "/src.bin.002").size(), 1031424);
        QCOMPARE(concat({out + "/src.bin.001", out + "/src.bin.002"}), readFile(source));
        QCOMPARE(readFile(out + "/src.bin.txt"), QByteArray("src.bin.001\r\nsrc.bin.002\r\n"));
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
        QVERIFY(f->splitPanel->splitCancelButton->isEnabled());
        QCOMPARE(navigation(f), AllOn);
        QCOMPARE(f->splitPanel->splitGauge->progress(), 100);
        QVERIFY(!f->splitPanel->splitHint->isVisible());

        click(f->splitPanel->splitCancelButton);
        QCOMPARE(filesIn(out), QStringList());
        checkCancelled(ui);
    }

    // Cancel and Undo never take the list of an earlier completed split.
    void earlierListStays() {
        makeFile(source, 10000);
        makeFile(tmp->filePath("b.bin"), 10000);
        const QStringList setOfA{"b.bin",       "src.bin",     "src.bin.001", "src.bin.002",
                                 "src.bin.003", "src.bin.crc", "src.bin.sfv", "src.bin.txt"};
        Ui ui;
        MainWindow* f = openPanel(ui);
        auto splitA = [&] {
            prepareSplit(ui, source, 0, "4000");
            click(f->splitPanel->splitButton);
            QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
        };

        // A new load forgets the parts; Cancel then leaves them and their list.
        splitA();
        loadSource(ui, tmp->filePath("b.bin"));
        QVERIFY(f->splitPanel->splitCancelButton->isEnabled());
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(filesIn(tmp->path()), setOfA);

        // A split stopped by the unit check: Cancel leaves the earlier set too.
        splitA();
        f->splitPanel->unitBox->lineEdit()->selectAll();
        QTest::keyClick(f->splitPanel->unitBox, Qt::Key_Delete);
        QVERIFY(f->splitPanel->unitBox->currentText().isEmpty());
        QVERIFY(f->splitPanel->partCountField->text().isEmpty());
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.reports.last(), Blank3 + QStringList{"You must select Unit !"});
        QCOMPARE(navigation(f), AllOff);
        QVERIFY(f->splitPanel->splitCancelButton->isEnabled());
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(navigation(f), AllOn);
        QCOMPARE(filesIn(tmp->path()), setOfA);

        // A unit text that names no unit is refused the same way.
        f->splitPanel->unitBox->setEditText("Kb");
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.reports.last().mid(0, 4), Blank3 + QStringList{"   Unknown unit \"Kb\""});
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(filesIn(tmp->path()), setOfA);
        QVERIFY(ui.errors.isEmpty());
    }

    // Cancel pressed while the split runs: no part and no list of it are left,
    // nor the earlier list of the same name (the split had started replacing
    // the parts it names), and the panel stays locked (also against a part
    // size typed meanwhile) until the engine has returned.
    void cancelDuringSplit() {
        makeFile(source, 40000);
        Ui ui;
        MainWindow* f = openPanel(ui);
        prepareSplit(ui, source, 0, "5000");
        click(f->splitPanel->splitButton);
        const QByteArray earlierList = readFile(tmp->filePath("src.bin.txt"));
        QCOMPARE(earlierList.count('\n'), 8);

        backspaces(f->splitPanel->partSizeField, 4);
        QTest::keyClicks(f->splitPanel->partSizeField, "4000");
        QCOMPARE(f->splitPanel->partCountField->text(), QString("10"));
        bool cancelled = false;
        QList<bool> lockedWhileRunning, lockedAfterCancel;
        during(
            f, [f] { return f->splitPanel->state().SplitPartPaths.size() >= 3; },
            [&] {
                QTest::keyClick(f->splitPanel->partSizeField,
                                Qt::Key_0); // a new part size doesn't unlock Split
                lockedWhileRunning = navigation(f);
                click(f->splitPanel->splitCancelButton);
                cancelled = true;
                lockedAfterCancel = navigation(f);
            });
        click(f->splitPanel->splitButton);
        QVERIFY(cancelled);
        QCOMPARE(lockedWhileRunning, AllOff);
        QCOMPARE(lockedAfterCancel, AllOff);
        QCOMPARE(f->splitPanel->state().SplitPartPaths.size(), 3);
        // Parts 4 to 8 are the earlier split's, which the cancelled one never reached.
        QCOMPARE(filesIn(tmp->path()), (QStringList{"src.bin", "src.bin.004", "src.bin.005",
                                                    "src.bin.006", "src.bin.007", "src.bin.008"}));
        checkCancelled(ui);
    }

    // Closing the window cancels a running split, but not a finished one.
    void closeDuringSplit() {
        makeFile(source, 40000);
        for (const bool whileRunning : {true, false}) {
            Ui ui;
            MainWindow* f = openPanel(ui);
            prepareSplit(ui, source, 0, "4000");
            if (whileRunning)
                during(
                    f, [f] { return f->splitPanel->splitGauge->progress() > 0; },
                    [f] { f->close(); });
            click(f->splitPanel->splitButton);
            if (!whileRunning) f->close();
            QVERIFY(!f->isVisible());
            QCOMPARE(filesIn(tmp->path()).size(),
                     whileRunning ? 1 : 14); // 10 parts, the list, 2 check files
        }
    }

    // A part that can't be created: the error is shown, only Cancel is left,
    // and Cancel removes what was written (never the folder in the way).
    void failedPartCreation() {
        makeFile(source, 10000);
        QDir().mkpath(tmp->filePath("src.bin.002"));
        Ui ui;
        MainWindow* f = openPanel(ui);
        prepareSplit(ui, source, 1, "4");
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY(ui.errors.first().contains("src.bin.002"));
        QCOMPARE(navigation(f), AllOff);
        QVERIFY(f->splitPanel->splitCancelButton->isEnabled());
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Cancel"));
        QVERIFY(QFileInfo::exists(tmp->filePath("src.bin.001")));

        click(f->splitPanel->splitCancelButton);
        QCOMPARE(filesIn(tmp->path()), QStringList{"src.bin"});
        QVERIFY(QFileInfo(tmp->filePath("src.bin.002")).isDir());
        QCOMPARE(navigation(f), AllOn);
    }

    // Closing the window while a split runs cancels it, whatever the gauge
    // shows: 0 during the first block, 100 during the last of 250. Nothing of
    // the split remains, no list either.
    void closingDuringASplit_data() {
        QTest::addColumn<bool>("preset");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("closeAtPart");
        QTest::newRow("Split, first block, gauge at 0") << false << qint64(5000) << 1;
        QTest::newRow("Split, last block, gauge at 100") << false << qint64(250000) << 250;
        QTest::newRow("Split, a middle block") << false << qint64(5000) << 3;
        QTest::newRow("1.2 MB preset, first block, gauge at 0") << true << qint64(3 * 1258291) << 1;
    }
    void closingDuringASplit() {
        QFETCH(bool, preset);
        QFETCH(qint64, size);
        QFETCH(int, closeAtPart);
        makeFile(source, size);
        Ui ui;
        MainWindow* f = openPanel(ui);
        const SplitState& state = preset ? f->presetsPanel->state() : f->splitPanel->state();
        during(
            f, [&state, closeAtPart] { return state.SplitPartPaths.size() == closeAtPart; },
            [f] { f->close(); });
        splitInto(ui, preset, source, out);
        QVERIFY(!f->isVisible());
        QCOMPARE(state.SplitCancelFlag, 1);
        QCOMPARE(filesIn(out), QStringList());
        QCOMPARE(ui.errors, QStringList());
    }

    // One rule for the Split command and the presets: a split that ran to
    // completion gets its list and Undo, exactly enough room included; one
    // byte less refuses with the report and writes nothing.
    void freeSpaceMargins_data() {
        QTest::addColumn<bool>("preset");
        QTest::addColumn<int>("spare");
        for (bool preset : {false, true}) {
            const char* via = preset ? "1.2 MB preset" : "Split";
            QTest::addRow("%s, one byte to spare", via) << preset << 1;
            QTest::addRow("%s, exactly the margin", via) << preset << 0;
            QTest::addRow("%s, one byte short", via) << preset << -1;
        }
    }
    void freeSpaceMargins() {
        QFETCH(bool, preset);
        QFETCH(int, spare);
        const qint64 size = preset ? 2 * 1258291 : 3000;
        makeFile(source, size);
        const double free = double(size + 209715200 + spare);
        Ui ui;
        MainWindow* f = openPanel(ui);
        setFreeSpaceQuery([free](const QString&) { return free; });
        QPushButton* undo = f->splitPanel->splitCancelButton;
        splitInto(ui, preset, source, out);
        if (preset) undo = f->presetsPanel->presetsCancelButton;
        const QStringList parts = preset ? QStringList{"src.bin.001", "src.bin.002"}
                                         : QStringList{"src.bin.001", "src.bin.002", "src.bin.003"};
        if (spare < 0) {
            QCOMPARE(ui.reports.last(),
                     (QStringList{" ", " ", " ",
                                  "There is Not enough Free Space on drive  " +
                                      volumeRootOf(out + "/") + "  to complete operation"}));
            QCOMPARE(filesIn(out), QStringList());
            QVERIFY(!undo->isEnabled());
        } else {
            QCOMPARE(filesIn(out),
                     parts + (QStringList{"src.bin.crc", "src.bin.sfv", "src.bin.txt"}));
            QCOMPARE(readFile(out + "/src.bin.txt"), (parts.join("\r\n") + "\r\n").toLatin1());
            QCOMPARE(undo->text(), QString("Undo"));
            QVERIFY(undo->isEnabled());
            click(undo);
            QCOMPARE(filesIn(out), QStringList());
        }
        if (!preset) QCOMPARE(navigation(f), AllOn);
    }

    // Opening, Main, reopening, the folder picture and the dialogs' close step.
    void openingAndMain() {
        makeFile(source, 3 * 1048576);
        Ui ui;
        MainWindow* f = ui.form.get();
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        QVERIFY(f->splitPanel->isVisible() && !f->startPanel->isVisible());
        click(f->splitPanel->splitMainButton); // Main enables all four, the part size still empty
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        QVERIFY(!f->splitPanel->splitButton->isEnabled() &&
                !f->splitPanel->destinationButton->isEnabled());

        f->presetsPanel->presetsCancelButton->setEnabled(true);
        f->presetsPanel->presetsCancelButton->setText("Undo");
        loadSource(ui, source);
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));
        f->splitPanel->unitBox->setCurrentIndex(1);
        QTest::keyClicks(f->splitPanel->partSizeField, "1");
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("3072"));

        const QPoint at = f->splitPanel->destinationPicture->pos();
        QTest::mousePress(f->splitPanel->destinationPicture, Qt::LeftButton);
        QCOMPARE(f->splitPanel->destinationPicture->pos(), at + QPoint(1, 1));
        QTest::mouseRelease(f->splitPanel->destinationPicture, Qt::LeftButton);
        QCOMPARE(f->splitPanel->destinationPicture->pos(), at);
        QCOMPARE(ui.opened, QList<QUrl>{QUrl::fromLocalFile(tmp->path() + "/")});

        // A cancelled load keeps the size loaded before, shown in megabytes.
        loadSource(ui, QString());
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("3"));
        QCOMPARE(f->splitPanel->unitBox->currentText(), QString("Megabytes"));

        click(f->splitPanel->splitMainButton);
        QVERIFY(f->startPanel->isVisible() && !f->splitPanel->isVisible());
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("3"));
        QVERIFY(!f->splitPanel->destinationPicture->isEnabled());
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        for (QLineEdit* e : {f->splitPanel->sourceSizeField, f->splitPanel->partSizeField,
                             f->splitPanel->sourcePathField, f->splitPanel->destinationField,
                             f->splitPanel->partCountField})
            QVERIFY(e->text().isEmpty());
        QCOMPARE(f->splitPanel->convertedSizeList->lineCount(), 0);
        QCOMPARE(f->splitPanel->unitBox->currentText(), QString("Megabytes"));
        QVERIFY(!f->splitPanel->splitCancelButton->isEnabled() &&
                !f->splitPanel->destinationPicture->isEnabled());
        QCOMPARE(f->splitPanel->splitHint->text(),
                 QString("             Click Load File to choose file to be split"));
    }

    // Path shortening: folders give way first, then the root, then the
    // ellipsis; the name is never cut, and a shortened text is read back.
    void pathShortening() {
        const QFontMetrics fm(QApplication::font());
        const QStringList steps{"/home/user/videos/movie.avi",
                                "/.../user/videos/movie.avi",
                                "/.../videos/movie.avi",
                                "/.../movie.avi",
                                ".../movie.avi",
                                "movie.avi"};
        for (const QString& step : steps) {
            const int width = fm.horizontalAdvance(step);
            QCOMPARE(shortenPath(steps.first(), fm, width), step);
            QCOMPARE(shortenPath(step, fm, width), step);
        }
        QCOMPARE(shortenPath(steps.first(), fm, 1), QString("movie.avi"));
        QCOMPARE(shortenPath("/.../videos/movie.avi", fm, fm.horizontalAdvance(".../movie.avi")),
                 QString(".../movie.avi"));
        QCOMPARE(shortenPath("/srv/data/parts/", fm, fm.horizontalAdvance("/.../parts/")),
                 QString("/.../parts/"));
        QCOMPARE(shortenPath("/srv/data/parts/", fm, 1), QString("parts/"));

        // In the source field: fits, keeps the name, full path as tooltip.
        const QString deep = tmp->path() + "/a-rather-long-folder-name/another-long-folder-name/"
                                           "yet-another-folder/and-one-more";
        QDir().mkpath(deep);
        const QString movie = deep + "/movie.avi";
        makeFile(movie, 100);
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, movie);
        const QString shown = f->splitPanel->sourcePathField->text();
        QVERIFY2(shown.startsWith("/.../") && shown.endsWith("/movie.avi"), qPrintable(shown));
        QVERIFY(f->splitPanel->sourcePathField->fontMetrics().horizontalAdvance(shown) <
                f->splitPanel->sourcePathField->width());
        QCOMPARE(f->splitPanel->sourcePathField->toolTip(), movie);
        QCOMPARE(f->splitPanel->destinationField->toolTip(), deep + "/");
    }
};

TFS_UI_TEST_MAIN(TestSplitPanel)
#include "tst_splitpanel.moc"
