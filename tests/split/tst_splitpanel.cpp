// The split panel driven as a user drives it: real widgets, scripted dialogs.
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/PathShortening.h"
#include "gui/ReportDialog.h"
#include "gui/StartPage.h"
#include "gui/Widgets.h"

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
    QCOMPARE(f->splitCancelButton->text(), QString("Cancel"));
    QVERIFY(!f->splitCancelButton->isEnabled());
    QCOMPARE(f->splitGauge->Progress(), 0);
    QCOMPARE(f->splitHint->text(), QString("src.bin is Already Looaded"));
    QVERIFY(f->splitHint->isVisible());
    QCOMPARE(navigation(f), AllOn);
    QVERIFY(ui.errors.isEmpty());
}

// Splits the source into dest from the open Split panel, in parts of 1,000
// bytes, or with the 1.2 MB preset.
void splitInto(Ui& ui, bool preset, const QString& source, const QString& dest) {
    MainWindow* f = ui.form.get();
    if (preset) {
        QTest::mouseClick(f->splitMainButton, Qt::LeftButton);
        QTest::mouseClick(f->startPanel->presetsPageButton, Qt::LeftButton);
        ui.fileAnswers << source;
        ui.folderAnswers << dest;
        QTest::mouseClick(f->floppy12Button, Qt::LeftButton);
        return;
    }
    prepareSplit(ui, source, 0, "1000");
    ui.folderAnswers << dest;
    QTest::mouseClick(f->destinationButton, Qt::LeftButton);
    QTest::mouseClick(f->splitButton, Qt::LeftButton);
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
        QVERIFY(!f->partSizeField->isEnabled());
        loadSource(ui, source);

        QCOMPARE(f->convertedSizeList->lines(),
                 (QStringList{"   ", "B=734003200", "KB=716800", "MB=700", "GB=0.68359375"}));
        QCOMPARE(f->sourceSizeField->text(), QString("700"));
        QCOMPARE(f->splitHint->text(), QString(" src.bin Loaded"));
        QCOMPARE(G.SplitDestFolder, tmp->path() + "/");
        QVERIFY(f->partSizeField->isEnabled());
        QVERIFY(!f->splitButton->isEnabled() && !f->destinationButton->isEnabled());

        QTest::keyClicks(f->partSizeField, "100");
        QCOMPARE(f->partCountField->text(), QString("7"));
        QVERIFY(f->splitButton->isEnabled() && f->destinationButton->isEnabled());
        backspaces(f->partSizeField, 3);
        QVERIFY(!f->splitButton->isEnabled() && !f->destinationButton->isEnabled());
        QTest::keyClicks(f->partSizeField, "700");
        QCOMPARE(f->partCountField->text(), QString("1"));

        // Same text as the size: nothing to split; only Main is left enabled.
        click(f->splitButton);
        QCOMPARE(ui.reports.last(),
                 Blank3 + QStringList{"As a Result You will have identical file"});
        QCOMPARE(f->partCountField->text(), QString("1"));
        QCOMPARE(filesIn(tmp->path()), QStringList{"src.bin"});
        QCOMPARE(navigation(f), (QList<bool>{false, false, false, true}));
        QVERIFY(!f->splitCancelButton->isEnabled());

        // The unit box takes unit letters only; "g" picks gigabytes and 700 no longer fits.
        QTest::keyClicks(f->unitBox, "x1");
        QTest::keyClick(f->unitBox, Qt::Key_Backspace);
        QCOMPARE(f->unitBox->currentText(), QString("Megabytes"));
        const int before = ui.reports.size();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        f->unitBox->setFocus(); // the box completes the letter only while it has the focus
        f->unitBox->lineEdit()->selectAll();
        QTest::keyClicks(f->unitBox, "g");
        QCOMPARE(f->unitBox->currentText(), QString("Gigabytes"));
        QCOMPARE(f->sourceSizeField->text(), QString("0.68359375"));
        QCOMPARE(ui.reports.size(), before + 1);
        QCOMPARE(ui.reports.last(), Blank3 + QStringList{BiggerLine});
        QVERIFY(f->partSizeField->text().isEmpty());
        QVERIFY(f->partCountField->text().isEmpty());
        QVERIFY(ui.errors.isEmpty());
    }

    // What the part-size field lets through.
    void partSizeTyping() {
        makeFile(source, 3 * 1048576);
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, source);

        QTest::keyClick(f->partSizeField, Qt::Key_0);
        QVERIFY(f->partSizeField->text().isEmpty());
        QTest::keyClicks(f->partSizeField, "a-.,+ e");
        QVERIFY(f->partSizeField->text().isEmpty());
        QTest::keyClicks(f->partSizeField, "2");
        QCOMPARE(f->partCountField->text(), QString("2"));

        QGuiApplication::clipboard()->setText("1234");
        QTest::keyClick(f->partSizeField, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f->partSizeField, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(f->partSizeField, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(f->partSizeField->text(), QString("2"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("1234"));

        // Delete and Tab type no character: they still edit and move on.
        QTest::keyClick(f->partSizeField, Qt::Key_Home);
        QTest::keyClick(f->partSizeField, Qt::Key_Delete);
        QVERIFY(f->partSizeField->text().isEmpty());
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        f->partSizeField->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != f->partSizeField);

        QVERIFY(ui.reports.isEmpty());
    }

    // A file under one megabyte and an empty file.
    void smallAndEmptyFiles() {
        makeFile(tmp->filePath("half.bin"), 524288);
        writeFile(tmp->filePath("empty.bin"), QByteArray());
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, tmp->filePath("half.bin"));
        QCOMPARE(f->convertedSizeList->lines(),
                 (QStringList{"   ", "B=524288", "KB=512", "MB=0.5", "GB=0.00048828125"}));
        QCOMPARE(f->sourceSizeField->text(), QString("0.5"));
        QVERIFY(f->partSizeField->isEnabled());

        loadSource(ui, tmp->filePath("empty.bin"));
        QCOMPARE(f->convertedSizeList->lines(), QStringList{"   "});
        QVERIFY(f->sourceSizeField->text().isEmpty());
        QVERIFY(!f->partSizeField->isEnabled());
        QVERIFY(!f->splitButton->isEnabled());
    }

    // 2,080,000 bytes at one megabyte into a chosen folder, then Undo.
    void splitAndUndo() {
        makeFile(source, 2080000);
        Ui ui;
        MainWindow* f = openPanel(ui);
        loadSource(ui, source);
        QTest::keyClicks(f->partSizeField, "1");
        QCOMPARE(f->partCountField->text(), QString("2"));
        ui.folderAnswers << out;
        click(f->destinationButton);
        QCOMPARE(G.SplitDestFolder, out + "/");
        QCOMPARE(f->destinationField->toolTip(), out + "/");

        click(f->splitButton);
        QCOMPARE(filesIn(out), (QStringList{"src.bin.001", "src.bin.002", "src.bin.crc",
                                            "src.bin.sfv", "src.bin.txt"}));
        QCOMPARE(QFileInfo(out + "/src.bin.001").size(), 1048576);
        QCOMPARE(QFileInfo(out + "/src.bin.002").size(), 1031424);
        QCOMPARE(concat({out + "/src.bin.001", out + "/src.bin.002"}), readFile(source));
        QCOMPARE(readFile(out + "/src.bin.txt"), QByteArray("src.bin.001\r\nsrc.bin.002\r\n"));
        QCOMPARE(f->splitCancelButton->text(), QString("Undo"));
        QVERIFY(f->splitCancelButton->isEnabled());
        QCOMPARE(navigation(f), AllOn);
        QCOMPARE(f->splitGauge->Progress(), 100);
        QVERIFY(!f->splitHint->isVisible());

        click(f->splitCancelButton);
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
            click(f->splitButton);
            QCOMPARE(f->splitCancelButton->text(), QString("Undo"));
        };

        // A new load forgets the parts; Cancel then leaves them and their list.
        splitA();
        loadSource(ui, tmp->filePath("b.bin"));
        QVERIFY(f->splitCancelButton->isEnabled());
        click(f->splitCancelButton);
        QCOMPARE(filesIn(tmp->path()), setOfA);

        // A split stopped by the unit check: Cancel leaves the earlier set too.
        splitA();
        f->unitBox->lineEdit()->selectAll();
        QTest::keyClick(f->unitBox, Qt::Key_Delete);
        QVERIFY(f->unitBox->currentText().isEmpty());
        QVERIFY(f->partCountField->text().isEmpty());
        click(f->splitButton);
        QCOMPARE(ui.reports.last(), Blank3 + QStringList{"You must select Unit !"});
        QCOMPARE(navigation(f), AllOff);
        QVERIFY(f->splitCancelButton->isEnabled());
        click(f->splitCancelButton);
        QCOMPARE(navigation(f), AllOn);
        QCOMPARE(filesIn(tmp->path()), setOfA);

        // A unit text that names no unit is refused the same way.
        f->unitBox->setEditText("Kb");
        click(f->splitButton);
        QCOMPARE(ui.reports.last().mid(0, 4), Blank3 + QStringList{"   Unknown unit \"Kb\""});
        click(f->splitCancelButton);
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
        click(f->splitButton);
        const QByteArray earlierList = readFile(tmp->filePath("src.bin.txt"));
        QCOMPARE(earlierList.count('\n'), 8);

        backspaces(f->partSizeField, 4);
        QTest::keyClicks(f->partSizeField, "4000");
        QCOMPARE(f->partCountField->text(), QString("10"));
        bool cancelled = false;
        QList<bool> lockedWhileRunning, lockedAfterCancel;
        during(
            f, [] { return G.SplitPartPaths.size() >= 3; },
            [&] {
                QTest::keyClick(f->partSizeField,
                                Qt::Key_0); // a new part size doesn't unlock Split
                lockedWhileRunning = navigation(f);
                click(f->splitCancelButton);
                cancelled = true;
                lockedAfterCancel = navigation(f);
            });
        click(f->splitButton);
        QVERIFY(cancelled);
        QCOMPARE(lockedWhileRunning, AllOff);
        QCOMPARE(lockedAfterCancel, AllOff);
        QCOMPARE(G.SplitPartPaths.size(), 3);
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
                    f, [f] { return f->splitGauge->Progress() > 0; }, [f] { f->close(); });
            click(f->splitButton);
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
        click(f->splitButton);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY(ui.errors.first().contains("src.bin.002"));
        QCOMPARE(navigation(f), AllOff);
        QVERIFY(f->splitCancelButton->isEnabled());
        QCOMPARE(f->splitCancelButton->text(), QString("Cancel"));
        QVERIFY(QFileInfo::exists(tmp->filePath("src.bin.001")));

        click(f->splitCancelButton);
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
        during(
            f, [closeAtPart] { return G.SplitPartPaths.size() == closeAtPart; },
            [f] { f->close(); });
        splitInto(ui, preset, source, out);
        QVERIFY(!f->isVisible());
        QCOMPARE(G.SplitCancelFlag, 1);
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
        QPushButton* undo = f->splitCancelButton;
        splitInto(ui, preset, source, out);
        if (preset) undo = f->presetsCancelButton;
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
        click(f->splitMainButton); // Main enables all four, the part size still empty
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        QVERIFY(!f->splitButton->isEnabled() && !f->destinationButton->isEnabled());

        f->presetsCancelButton->setEnabled(true);
        f->presetsCancelButton->setText("Undo");
        loadSource(ui, source);
        QVERIFY(!f->presetsCancelButton->isEnabled());
        QCOMPARE(f->presetsCancelButton->text(), QString("Cancel"));
        f->unitBox->setCurrentIndex(1);
        QTest::keyClicks(f->partSizeField, "1");
        QCOMPARE(f->sourceSizeField->text(), QString("3072"));

        const QPoint at = f->destinationPicture->pos();
        QTest::mousePress(f->destinationPicture, Qt::LeftButton);
        QCOMPARE(f->destinationPicture->pos(), at + QPoint(1, 1));
        QTest::mouseRelease(f->destinationPicture, Qt::LeftButton);
        QCOMPARE(f->destinationPicture->pos(), at);
        QCOMPARE(ui.opened, QList<QUrl>{QUrl::fromLocalFile(tmp->path() + "/")});

        // A cancelled load keeps the size loaded before, shown in megabytes.
        loadSource(ui, QString());
        QCOMPARE(f->sourceSizeField->text(), QString("3"));
        QCOMPARE(f->unitBox->currentText(), QString("Megabytes"));

        click(f->splitMainButton);
        QVERIFY(f->startPanel->isVisible() && !f->splitPanel->isVisible());
        QCOMPARE(f->sourceSizeField->text(), QString("3"));
        QVERIFY(!f->destinationPicture->isEnabled());
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        for (QLineEdit* e : {f->sourceSizeField, f->partSizeField, f->sourcePathField,
                             f->destinationField, f->partCountField})
            QVERIFY(e->text().isEmpty());
        QCOMPARE(f->convertedSizeList->lineCount(), 0);
        QCOMPARE(f->unitBox->currentText(), QString("Megabytes"));
        QVERIFY(!f->splitCancelButton->isEnabled() && !f->destinationPicture->isEnabled());
        QCOMPARE(f->splitHint->text(),
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
        const QString shown = f->sourcePathField->text();
        QVERIFY2(shown.startsWith("/.../") && shown.endsWith("/movie.avi"), qPrintable(shown));
        QVERIFY(f->sourcePathField->fontMetrics().horizontalAdvance(shown) <
                f->sourcePathField->width());
        QCOMPARE(f->sourcePathField->toolTip(), movie);
        QCOMPARE(f->destinationField->toolTip(), deep + "/");
    }
};

TFS_UI_TEST_MAIN(TestSplitPanel)
#include "tst_splitpanel.moc"
