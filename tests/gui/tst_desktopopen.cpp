// SPDX-License-Identifier: GPL-3.0-or-later
// Files from the desktop through the real window: the program's argument and
// drops (drag events carrying QMimeData URLs) on each panel, with the panels'
// own loading, the refusals and the drops that a running operation ignores.
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/OpenedFile.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <optional>
#include <sys/stat.h>

using namespace testutil;

namespace {

// What the window shows after a load: the split source, or the join part.
QString loaded(MainWindow* f) {
    if (shownPage(f) == 2) return f->splitPanel->state().SourceFilePath;
    if (shownPage(f) == 3) return f->partDialog.fileName();
    return QString();
}

// A folder with a three-part set, its list and check file, lone files.
struct Files {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    Files() {
        for (const char* name : {"movie.avi.001", "movie.avi.002", "movie.avi.003"})
            makeFile(path(name), 1000);
        for (const char* name : {"movie.avi.txt", "movie.avi.sfv", "movie.avi.CRC", "song.0101",
                                 "song.101", "notes.txt", "lone.sfv", "photo.jpg", "x.01"})
            writeFile(path(name), "123456789");
        QDir(dir.path()).mkdir("folder");
        mkfifo(QFile::encodeName(path("pipe")).constData(), 0600);
    }
};

} // namespace

class TestDesktopOpen : public QObject {
    Q_OBJECT
private slots:
    // The program's argument: the fitting panel with the file loaded, or the
    // start panel and a report that says why not.
    void argument_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("panel");
        QTest::addColumn<QString>("load");     // the file loaded
        QTest::addColumn<QString>("headline"); // of the refusal
        QTest::newRow("first part") << "movie.avi.001" << 3 << "movie.avi.001"
                                    << "";
        QTest::newRow("later part") << "movie.avi.002" << 3 << "movie.avi.002"
                                    << "";
        QTest::newRow("four digits") << "song.0101" << 3 << "song.0101"
                                     << "";
        QTest::newRow("other tool's 101") << "song.101" << 3 << "song.101"
                                          << "";
        QTest::newRow("part list") << "movie.avi.txt" << 3 << "movie.avi.001"
                                   << "";
        QTest::newRow("sfv") << "movie.avi.sfv" << 3 << "movie.avi.001"
                             << "";
        QTest::newRow("crc, upper case") << "movie.avi.CRC" << 3 << "movie.avi.001"
                                         << "";
        QTest::newRow("text without parts") << "notes.txt" << 2 << "notes.txt"
                                            << "";
        QTest::newRow("any file") << "photo.jpg" << 2 << "photo.jpg"
                                  << "";
        QTest::newRow("file URL") << "url:photo.jpg" << 2 << "photo.jpg"
                                  << "";
        QTest::newRow("two digits") << "x.01" << 2 << "x.01"
                                    << "";
        QTest::newRow("check file alone") << "lone.sfv" << 1 << "" << refusal::NoFirstPart;
        QTest::newRow("missing") << "gone.avi" << 1 << "" << refusal::Missing;
        QTest::newRow("folder") << "folder" << 1 << "" << refusal::Folder;
        QTest::newRow("pipe") << "pipe" << 1 << "" << refusal::NotRegular;
    }
    void argument() {
        QFETCH(QString, name);
        QFETCH(int, panel);
        QFETCH(QString, load);
        QFETCH(QString, headline);
        Files files;
        Ui ui;
        MainWindow* f = ui.form.get();
        // "url:" names a file:// URL, as a file manager's %u passes it.
        f->openGiven({name.startsWith("url:")
                          ? QUrl::fromLocalFile(files.path(name.mid(4))).toString()
                          : files.path(name)});
        QTRY_VERIFY(shownPage(f) != 1 || !ui.reports.isEmpty());
        QCOMPARE(shownPage(f), panel);
        QCOMPARE(loaded(f), load.isEmpty() ? QString() : files.path(load));
        QVERIFY(ui.errors.isEmpty());
        QVERIFY(ui.fileDialogTitles.isEmpty()); // no dialog was shown
        if (headline.isEmpty()) {
            QVERIFY(ui.reports.isEmpty());
            if (panel == 3)
                QCOMPARE(f->joinPanel->state().JoinTotalSize,
                         load.startsWith("movie") ? 3000 : 0); // no song.001
            else
                QCOMPARE(f->splitPanel->sourcePathField->toolTip(), files.path(load));
        } else {
            QCOMPARE(ui.reports.size(), 1);
            QCOMPARE(ui.reports[0].at(2), "  " + headline);
        }
    }

    void severalArguments() {
        Files files;
        Ui ui;
        ui.form->openGiven({files.path("photo.jpg"), files.path("notes.txt")});
        QTRY_COMPARE(ui.reports.size(), 1);
        QCOMPARE(ui.reports[0].at(2), QString("  ") + refusal::OneFile);
        QCOMPARE(shownPage(ui.form.get()), 1);
    }

    // Drops on each panel, in each panel's own terms.
    void drops_data() {
        QTest::addColumn<int>("panel");  // opened before the drop
        QTest::addColumn<QString>("at"); // the control the drop lands on
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("after");        // the panel shown after it
        QTest::addColumn<QString>("expected"); // a loaded file, a memo line or a refusal
        const QStringList none;
        QTest::newRow("start: part")
            << 1 << "splitPageButton" << QStringList{"movie.avi.003"} << 3 << "load:movie.avi.003";
        QTest::newRow("start: file")
            << 1 << "joinPageButton" << QStringList{"photo.jpg"} << 2 << "load:photo.jpg";
        QTest::newRow("start: two") << 1 << "comparePageButton" << QStringList{"x.01", "photo.jpg"}
                                    << 1 << refusal::OneFile;
        QTest::newRow("split: part as source")
            << 2 << "sourcePathField" << QStringList{"movie.avi.002"} << 2 << "load:movie.avi.002";
        QTest::newRow("split: folder")
            << 2 << "splitButton" << QStringList{"folder"} << 2 << refusal::Folder;
        QTest::newRow("split: two")
            << 2 << "splitButton" << QStringList{"x.01", "photo.jpg"} << 2 << refusal::OneFile;
        QTest::newRow("join: part")
            << 3 << "chosenPartField" << QStringList{"movie.avi.002"} << 3 << "load:movie.avi.002";
        QTest::newRow("join: check file")
            << 3 << "joinButton" << QStringList{"movie.avi.sfv"} << 3 << "load:movie.avi.001";
        QTest::newRow("join: missing")
            << 3 << "joinButton" << QStringList{"gone.002"} << 3 << refusal::Missing;
        QTest::newRow("checksum") << 4 << "checksumResults" << QStringList{"photo.jpg"} << 4
                                  << "memo1:CRC32 is: $CBF43926";
        QTest::newRow("checksum: check file alone")
            << 4 << "checksumButton" << QStringList{"lone.sfv"} << 4 << "memo1:CRC32 is: $CBF43926";
        QTest::newRow("split: check file alone")
            << 2 << "splitButton" << QStringList{"lone.sfv"} << 2 << "load:lone.sfv";
        QTest::newRow("checksum: two")
            << 4 << "checksumButton" << QStringList{"x.01", "photo.jpg"} << 4 << refusal::OneFile;
        QTest::newRow("compare") << 4 << "compareResults" << QStringList{"x.01", "photo.jpg"} << 4
                                 << "memo2:are Identical";
        QTest::newRow("compare: one")
            << 4 << "compareButton" << QStringList{"x.01"} << 4 << refusal::TwoFiles;
        QTest::newRow("compare: pipe")
            << 4 << "compareButton" << QStringList{"x.01", "pipe"} << 4 << refusal::NotRegular;
        QTest::newRow("presets: not taken")
            << 5 << "dvdButton" << QStringList{"photo.jpg"} << 5 << "";
    }
    void drops() {
        QFETCH(int, panel);
        QFETCH(QString, at);
        QFETCH(QStringList, names);
        QFETCH(int, after);
        QFETCH(QString, expected);
        Files files;
        Ui ui;
        MainWindow* f = ui.form.get();
        openPage(f, panel);
        QStringList paths;
        for (const QString& name : names)
            paths << files.path(name);
        QWidget* target = f->findChild<QWidget*>(at);
        QVERIFY(target);
        const bool taken = drop(f, target, paths);
        QCOMPARE(taken, !expected.isEmpty());
        QCOMPARE(shownPage(f), after);
        QVERIFY2(ui.errors.isEmpty(), qPrintable(ui.errors.join('\n')));
        QVERIFY(ui.fileDialogTitles.isEmpty());
        const QString kind = expected.section(':', 0, 0);
        const QString value = expected.section(':', 1);
        if (kind == "load") {
            QCOMPARE(loaded(f), files.path(value));
        } else if (kind == "memo1" || kind == "memo2") {
            const QStringList lines = (kind == "memo1" ? f->comparePanel->checksumResults
                                                       : f->comparePanel->compareResults)
                                          ->lines();
            QVERIFY2(!lines.filter(value).isEmpty(), qPrintable(lines.join('\n')));
        } else if (!expected.isEmpty()) {
            QCOMPARE(ui.reports.size(), 1);
            QCOMPARE(ui.reports[0].at(2), "  " + expected);
            QCOMPARE(loaded(f), QString());
        }
        if (kind != "load" && !expected.isEmpty() && !kind.startsWith("memo"))
            QVERIFY(f->sourceDialog.givenFiles().isEmpty() && f->partDialog.givenFiles().isEmpty());
    }

    void nonLocalUrl() {
        Ui ui;
        ui.form->showSplitPage();
        QVERIFY(drop(ui.form.get(), ui.form->splitPanel->splitButton,
                     {QUrl("https://example.org/movie.avi")}));
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(ui.reports[0].at(2), QString("  ") + refusal::NotLocal);
        QCOMPARE(ui.form->splitPanel->state().SourceFilePath, QString());
    }

    // A drop while a checksum runs is not taken; the run goes on undisturbed.
    void dropDuringRun() {
        Files files;
        makeFile(files.path("big.bin"), 24 << 20);
        Ui ui;
        MainWindow* f = ui.form.get();
        f->showComparePage();
        ui.fileAnswers << files.path("big.bin");
        bool taken = true;
        during(
            f, [f] { return f->comparePanel->checksumGauge->progress() > 0; },
            [&] {
                taken = drop(f, f->comparePanel->compareButton,
                             QStringList{files.path("x.01"), files.path("x.01")});
            });
        click(f->comparePanel->checksumButton);
        QVERIFY(!taken);
        QVERIFY(f->comparePanel->checksumResults->lines()
                    .filter("CheckSum for " + files.path("big.bin"))
                    .size() == 1);
        QCOMPARE(f->comparePanel->compareResults->lines(), QStringList());
        QVERIFY(ui.reports.isEmpty());
    }

    // While a page's split or join runs, a drop is not taken; once the run
    // has ended (completed, cancelled, or cut short by a file error) drops
    // are taken again.
    void dropsWaitForTheRun_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("ending");
        QTest::newRow("split, completed") << "split"
                                          << "completed";
        QTest::newRow("split, file error") << "split"
                                           << "error";
        QTest::newRow("presets, completed") << "presets"
                                            << "completed";
        QTest::newRow("presets, file error") << "presets"
                                             << "error";
        QTest::newRow("join, completed") << "join"
                                         << "completed";
        QTest::newRow("join, cancelled") << "join"
                                         << "cancelled";
    }
    void dropsWaitForTheRun() {
        QFETCH(QString, page);
        QFETCH(QString, ending);
        Files files;
        QTemporaryDir out;
        const QString source = files.path("big.bin");
        makeFile(source, 3 * 1258291 + 5); // four parts of 1.2 MB or of 1 MB
        if (ending == "error") QDir().mkpath(out.filePath("big.bin.002")); // no part 2
        for (const char* part : {"set.001", "set.002", "set.003"})
            makeFile(out.filePath(part), 4 << 20);
        Ui ui;
        MainWindow* f = ui.form.get();
        QWidget* target = f->startPanel->productPicture;
        QPushButton* cancel = nullptr;
        if (page == "split") {
            openPage(f, 2);
            prepareSplit(ui, source, 2 /* Megabytes */, "1", out.path());
            target = f->splitPanel->splitButton;
        } else if (page == "join") {
            openPage(f, 3);
            loadPart(ui, out.filePath("set.001"));
            target = f->joinPanel->joinButton;
            if (ending == "cancelled") cancel = f->joinPanel->joinCancelButton;
        } else {
            openPage(f, 5);
        }
        std::optional<bool> takenDuring;
        during(
            f,
            [f] {
                return f->splitPanel->splitGauge->progress() > 0 ||
                       f->joinPanel->joinGauge->progress() > 0 ||
                       f->presetsPanel->presetsGauge->progress() > 0;
            },
            [&] {
                takenDuring =
                    drop(f, page == "presets" ? f : target, QStringList{files.path("x.01")});
                if (cancel) click(cancel);
            });
        if (page == "split") click(f->splitPanel->splitButton);
        if (page == "join") click(f->joinPanel->joinButton);
        if (page == "presets") runPreset(ui, f->presetsPanel->floppy12Button, source, out.path());
        // A file error ends the split before its first turn.
        QCOMPARE(takenDuring, ending == "error" ? std::nullopt : std::optional<bool>(false));
        QCOMPARE(ui.errors.size(), ending == "error" ? 1 : 0);

        if (page == "presets") click(f->presetsPanel->presetsMainButton); // to the start page
        ui.reports.clear();
        QVERIFY(drop(f, target, QStringList{files.path("x.01")}));
        QVERIFY(f->closeCommandEnabled());
    }
};

TFS_UI_TEST_MAIN(TestDesktopOpen)
#include "tst_desktopopen.moc"
