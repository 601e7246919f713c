// SPDX-License-Identifier: GPL-3.0-or-later
// The join panel and the Join command through the real window, with the file
// and folder dialogs, the report dialog's answers and the free-space query
// scripted.
#include "common/PanelDriver.h"
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
#include "split/SplitCheckFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tfs;

using namespace testutil;

namespace {

const QStringList CompletedWithList{"", "", "", "              Joining completed,"};
const QStringList CompletedWithoutList{"", "", "              Joining completed,", "  ",
                                       "         Check.txt not availiable"};

// The panel's buttons and extras as the state tables name them: the enabled
// buttons (a hidden one counts as not enabled), the visible extras, the gauge.
QString panelState(MainWindow* f) {
    QStringList enabled, shown;
    const QList<QPair<QWidget*, QString>> buttons{
        {f->joinPanel->loadPartButton, "Load File"},
        {f->joinPanel->joinDestinationButton, "Destination"},
        {f->joinPanel->joinButton, "Join"},
        {f->joinPanel->joinMainButton, "Main"},
        {f->joinPanel->joinCancelButton, "Cancel"},
        {f->joinPanel->joinUndoButton, "Undo"}};
    for (const auto& [w, name] : buttons)
        if (w->isEnabled() && !w->isHidden()) enabled << name;
    const QList<QPair<QWidget*, QString>> extras{{f->joinPanel->joinUndoButton, "Undo"},
                                                 {f->joinPanel->runJoinedButton, "runJoinedButton"},
                                                 {f->joinPanel->runJoinedLabel, "runJoinedLabel"},
                                                 {f->joinPanel->outputIcon, "outputIcon"},
                                                 {f->joinPanel->joinHint, "joinHint"}};
    for (const auto& [w, name] : extras)
        if (!w->isHidden()) shown << name;
    return QString("enabled: %1 | shown: %2 | gauge %3")
        .arg(enabled.join(", "), shown.join(", "))
        .arg(f->joinPanel->joinGauge->progress());
}

const QString Opened = "enabled: Load File, Main | shown: joinHint | gauge 0";
const QString Loaded = "enabled: Load File, Destination, Join, Main | shown: joinHint | gauge 0";
const QString Completed = "enabled: Load File, Destination, Join, Main, Undo"
                          " | shown: Undo, runJoinedButton, runJoinedLabel | gauge 100";
const QString CancelledOrUndone = Loaded;
// A refusal leaves "Main" enabled too: with no roomy destination the user can go back.
const QString NotEnoughSpace =
    "enabled: Load File, Destination, Join, Main | shown: outputIcon, joinHint | gauge 0";
const QString Aborted = Opened;

// Runs `action` once inside the running join's event-loop turns, as soon as
// the gauge shows at least `percent`.
void whenGaugeReaches(MainWindow* f, int percent, std::function<void()> action) {
    auto* timer = new QTimer(f);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, f, [=] {
        if (f->joinPanel->joinGauge->progress() < percent) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

} // namespace

class TestJoinPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString parts; // folder of the parts, ending with "/"

    QString part(int ordinal, const QString& folder = QString()) {
        return (folder.isEmpty() ? parts : folder) + "movie.avi." + ordinalSuffix(ordinal);
    }

    // movie.avi.001, .002, ... of the given sizes; -1 leaves an ordinal out.
    QStringList makeSet(const QList<qint64>& sizes) {
        QStringList made;
        for (int i = 0; i < sizes.size(); ++i) {
            if (sizes[i] < 0) continue;
            makeFile(part(i + 1), sizes[i], quint32(i + 3));
            made << part(i + 1);
        }
        return made;
    }

    void writeList(int count) {
        QStringList names;
        for (int i = 1; i <= count; ++i)
            names << fileNameOf(part(i));
        writePartList(parts + "movie.avi.txt", names);
    }

    // Opens the join panel from the start panel and loads a part.
    void openAndLoad(Ui& ui, const QString& chosen) {
        click(ui.form->startPanel->joinPageButton);
        loadPart(ui, chosen);
    }

private slots:
    void init() {
        parts = freshPartsFolder(tmp);
        QVERIFY(!parts.isEmpty());
    }

    // Loading any part, the destination folder, cancelled dialogs, the path fields.
    void loadingAndDestination() {
        Ui ui;
        MainWindow* f = ui.form.get();
        makeSet({1000, 2500, 300, -1, 7000});
        click(f->startPanel->joinPageButton);
        QCOMPARE(panelState(f), Opened);
        QVERIFY(!f->joinPanel->joinDestinationPicture->isEnabled());

        ui.fileAnswers << part(2);
        click(f->joinPanel->loadPartButton);
        QCOMPARE(f->joinPanel->state().JoinDestFolder, parts);
        QCOMPARE(f->joinPanel->state().JoinTotalSize,
                 qint64(3800)); // 001..003; 005 lies after the gap
        QCOMPARE(f->joinPanel->chosenPartField->toolTip(), part(2));
        QCOMPARE(f->joinPanel->joinDestinationField->toolTip(), parts);
        QCOMPARE(panelState(f), Loaded);
        QVERIFY(f->joinPanel->joinDestinationPicture->isEnabled());

        ui.folderAnswers << tmp->path() + "/elsewhere"
                         << "/"
                         << "";
        click(f->joinPanel->joinDestinationButton);
        QCOMPARE(f->joinPanel->state().JoinDestFolder, tmp->path() + "/elsewhere/");
        QCOMPARE(f->joinPanel->joinDestinationField->toolTip(),
                 f->joinPanel->state().JoinDestFolder);
        click(f->joinPanel->joinDestinationButton);
        QCOMPARE(f->joinPanel->state().JoinDestFolder, QString("/"));
        click(f->joinPanel->joinDestinationButton); // cancelled: nothing changes
        QCOMPARE(f->joinPanel->state().JoinDestFolder, QString("/"));
        QCOMPARE(f->joinPanel->state().JoinTotalSize, qint64(3800));

        // A cancelled file dialog after a part was loaded leaves Join disabled.
        click(f->joinPanel->loadPartButton);
        QCOMPARE(panelState(f), Opened);
        QCOMPARE(ui.errors, QStringList());
    }

    // Exactly the total free joins; one byte less refuses with its lines, and
    // so does a volume that can't be queried.
    void freeSpaceMargins() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({30000, 30000, 12345});
        const qint64 total = 72345;
        double free = total;
        QStringList asked;
        setFreeSpaceQuery([&](const QString& folder) {
            asked << folder;
            return free;
        });
        openAndLoad(ui, part(1));
        click(f->joinPanel->joinButton);
        QCOMPARE(asked, QStringList{parts});
        QCOMPARE(readFile(parts + "movie.avi"), concat(made));
        QCOMPARE(ui.reports.size(), 1);

        const QStringList before = entries(parts);
        const QString dest = tmp->path() + "/dest/";
        QVERIFY(QDir().mkpath(dest));
        ui.folderAnswers << dest;
        click(f->joinPanel->joinDestinationButton);
        free = total - 1;
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports.last(),
                 (QStringList{"  ", "  ", "  ",
                              "Not Enough Disk Space on Drive " + volumeRootOf(dest)}));
        QCOMPARE(panelState(f), NotEnoughSpace);
        QCOMPARE(entries(dest), QStringList());
        QCOMPARE(entries(parts), before);

        free = -1;
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports.last().last(), "Not Enough Disk Space on Drive " + dest);
        QCOMPARE(ui.reports.size(), 3);
        QCOMPARE(entries(dest), QStringList());
    }

    // The completion reports with and without the part list, and the state
    // after a completed join, the split panel's buttons included.
    void completedJoins() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({10000, 20000, 5});
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(3));
        f->splitPanel->splitCancelButton->setEnabled(true);
        f->splitPanel->splitMainButton->setEnabled(false);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, QList<QStringList>{CompletedWithoutList});
        QCOMPARE(readFile(parts + "movie.avi"), concat(made));
        QCOMPARE(f->joinPanel->state().JoinOutputPath, parts + "movie.avi");
        QCOMPARE(f->joinPanel->joinDestinationField->toolTip(),
                 f->joinPanel->state().JoinOutputPath);
        QCOMPARE(panelState(f), Completed);
        QVERIFY(
            !f->splitPanel->splitCancelButton->isEnabled()); // the split panel's part size is empty
        QVERIFY(f->splitPanel->splitMainButton->isEnabled());
        QVERIFY(!f->joinPanel->outputIcon->pixmap().isNull()); // the output type's icon...
        QCOMPARE(f->joinPanel->runJoinedButton->size(),
                 f->joinPanel->outputIcon->size()); // ...on the run-joined button too

        // With the list beside the parts (chosen through another part).
        writeList(3);
        const QString other = tmp->path() + "/other/";
        QVERIFY(QDir().mkpath(other));
        ui.fileAnswers << part(1);
        click(f->joinPanel->loadPartButton);
        ui.folderAnswers << other;
        click(f->joinPanel->joinDestinationButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports.size(), 2); // no question asked
        QCOMPARE(ui.reports.last(), CompletedWithList);
        QCOMPARE(readFile(other + "movie.avi"), concat(made));
        QCOMPARE(entries(other), QStringList{"movie.avi"});
    }

    // Part 003 of five missing from a listed set: "Join Anyway" joins 001+002;
    // "Abort" writes nothing and resets the panel.
    void missingParts() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({4000, 5000, 6000, 7000, 8000});
        writeList(5);
        QFile::remove(part(3));
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        const QStringList question{"        ", "             Missing Files:", "movie.avi.003 "};

        ui.answer = [](ReportDialog* d) {
            Ui::press(d, d->joinAnywayButton->isVisible() ? "joinAnywayButton" : "okButton");
        };
        openAndLoad(ui, part(5));
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, (QList<QStringList>{question, CompletedWithList}));
        QCOMPARE(readFile(parts + "movie.avi"), concat(made.mid(0, 2)));
        QCOMPARE(panelState(f), Completed);
        QVERIFY(QFile::remove(parts + "movie.avi"));

        ui.reports.clear();
        ui.answer = [](ReportDialog* d) { Ui::press(d, "abortButton"); };
        openAndLoad(ui, part(2));
        f->setCloseAllowed(false);
        const QStringList before = entries(parts);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, QList<QStringList>{question});
        QCOMPARE(entries(parts), before);
        QCOMPARE(f->joinPanel->chosenPartField->text(), QString());
        QCOMPARE(f->joinPanel->joinDestinationField->text(), QString());
        QCOMPARE(panelState(f), Aborted);
        QVERIFY(f->joinPanel->isVisible() && !f->startPanel->isVisible());
        QVERIFY(!f->joinPanel->joinDestinationPicture->isEnabled());
        QVERIFY(f->closeCommandEnabled());
    }

    // Without a part list, parts beyond a gap (the chosen one included) raise
    // the missing-parts question, naming every gap below the highest part:
    // "Abort" writes nothing, "Join Anyway" joins the parts before the first
    // gap. Without part 001 the join is refused with an error.
    void gapsWithoutAList_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("abort");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<int>("joined"); // the parts in the output; -1: no output
        QTest::newRow("004 chosen, 003 gone")
            << QList<int>{1, 2, 4} << 4 << false << QStringList{"movie.avi.003 "} << 2;
        QTest::newRow("aborted") << QList<int>{1, 2, 4} << 1 << true
                                 << QStringList{"movie.avi.003 "} << -1;
        QTest::newRow("two gaps") << QList<int>{1, 3, 6} << 3 << false
                                  << QStringList{"movie.avi.002 ", "movie.avi.004 ",
                                                 "movie.avi.005 "}
                                  << 1;
        // Refused as before: "Join Anyway" could only make an empty file.
        QTest::newRow("001 gone") << QList<int>{2, 3} << 2 << false << QStringList() << -1;
        QStringList many;
        for (int n = 2; n <= 21; ++n)
            many << "movie.avi." + ordinalSuffix(n) + " ";
        QTest::newRow("many gone")
            << QList<int>{1, 30} << 1 << false << (many << "   ... and 8 more") << 1;
        QTest::newRow("no gap") << QList<int>{1, 2, 3} << 2 << false << QStringList() << 3;
    }
    void gapsWithoutAList() {
        QFETCH(QList<int>, present);
        QFETCH(int, chosen);
        QFETCH(bool, abort);
        QFETCH(QStringList, missing);
        QFETCH(int, joined);
        Ui ui;
        for (int n : present)
            writeFile(part(n), QByteArray::number(n) + ",");
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        ui.answer = [abort](ReportDialog* d) {
            Ui::press(d, !d->joinAnywayButton->isVisible() ? "okButton"
                         : abort                           ? "abortButton"
                                                           : "joinAnywayButton");
        };
        openAndLoad(ui, part(chosen));
        click(ui.form->joinPanel->joinButton);
        QList<QStringList> reports;
        if (!missing.isEmpty())
            reports << QStringList{"        ", "             Missing Files:"} + missing;
        if (joined >= 0) reports << CompletedWithoutList;
        if (present.first() != 1)
            reports << QStringList{" ", " ", "     Not joined: the first part",
                                   "     movie.avi.001", "     is missing"};
        QCOMPARE(ui.reports, reports);
        QCOMPARE(ui.errors.size(), 0);
        QByteArray bytes;
        for (int n = 1; n <= joined; ++n)
            bytes += QByteArray::number(n) + ",";
        QCOMPARE(QFileInfo::exists(parts + "movie.avi"), joined >= 0);
        QCOMPARE(readFile(parts + "movie.avi"), bytes);
    }

    // Consecutive parts after the list's last entry (an older, longer set of
    // the same name) are left out of the join and named in the report, up to
    // five, then counted.
    void partsAfterTheList_data() {
        QTest::addColumn<int>("listed");
        QTest::addColumn<int>("onDisk");
        QTest::addColumn<QStringList>("leftOut");
        QTest::newRow("two after the list")
            << 3 << 5 << QStringList{"movie.avi.004", "movie.avi.005"};
        QTest::newRow("many after the list")
            << 2 << 12 << QStringList{"movie.avi.003", "movie.avi.004", "movie.avi.005",
                                      "movie.avi.006", "movie.avi.007", "   ... and 5 more"};
        QTest::newRow("none after the list") << 4 << 4 << QStringList();
    }
    void partsAfterTheList() {
        QFETCH(int, listed);
        QFETCH(int, onDisk);
        QFETCH(QStringList, leftOut);
        Ui ui;
        QStringList made;
        for (int n = 1; n <= onDisk; ++n) {
            made << part(n);
            writeFile(made.last(), QByteArray::number(n) + ",");
        }
        writeList(listed);
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(1));
        click(ui.form->joinPanel->joinButton);
        QStringList report = CompletedWithList;
        if (!leftOut.isEmpty())
            report << "  "
                   << "     Left out, not listed:" << leftOut;
        QCOMPARE(ui.reports, QList<QStringList>{report});
        QCOMPARE(readFile(parts + "movie.avi"), concat(made.mid(0, listed)));
    }

    // "Clone Of " goes before the name again while the name is taken, so that
    // no file there is replaced; Undo and "Run Joined and Exit" act on the
    // name written.
    void cloneNeverOverwrites_data() {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("written");
        const QString c = "Clone Of ";
        QTest::newRow("free") << QStringList() << "movie.avi";
        QTest::newRow("source there") << QStringList{"movie.avi"} << c + "movie.avi";
        QTest::newRow("clone there")
            << QStringList{"movie.avi", c + "movie.avi"} << c + c + "movie.avi";
        QTest::newRow("user's files of clone names")
            << QStringList{"movie.avi", c + "movie.avi", c + c + "movie.avi"}
            << c + c + c + "movie.avi";
    }
    void cloneNeverOverwrites() {
        QFETCH(QStringList, taken);
        QFETCH(QString, written);
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({3000, 4000});
        for (const QString& name : taken)
            writeFile(parts + name, name.toUtf8());
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(2));
        for (int round = 0; round < 2; ++round) {
            click(f->joinPanel->joinButton);
            QCOMPARE(f->joinPanel->state().JoinOutputPath, parts + written);
            QCOMPARE(readFile(parts + written), concat(made));
            for (const QString& name : taken)
                QCOMPARE(readFile(parts + name), name.toUtf8());
            if (round == 0) {
                click(f->joinPanel->joinUndoButton);
                QVERIFY(!QFileInfo::exists(parts + written));
            }
        }
        click(f->joinPanel->runJoinedButton);
        QCOMPARE(ui.opened, QList<QUrl>{QUrl::fromLocalFile(parts + written)});
    }

    // A taken name gets "Clone Of "; a second join keeps that clone and writes
    // "Clone Of Clone Of "; Undo deletes that one only; a cancelled join keeps
    // an earlier clone untouched and offers no Undo for it.
    void cloneUndoAndCancel() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({100000, 100000, 100000});
        writeList(3);
        makeFile(parts + "movie.avi", 5000, 99); // the original source, still there
        const QByteArray source = readFile(parts + "movie.avi");
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        const QString clone = parts + "Clone Of movie.avi";

        openAndLoad(ui, part(1));
        click(f->joinPanel->joinButton);
        QCOMPARE(f->joinPanel->state().JoinOutputPath, clone);
        QCOMPARE(readFile(clone), concat(made));
        writeFile(clone, "an older clone");
        click(f->joinPanel->joinButton);
        QCOMPARE(f->joinPanel->state().JoinOutputPath, parts + "Clone Of Clone Of movie.avi");
        QCOMPARE(readFile(f->joinPanel->state().JoinOutputPath), concat(made));
        QCOMPARE(readFile(clone), QByteArray("an older clone"));
        QCOMPARE(readFile(parts + "movie.avi"), source);

        click(f->joinPanel->joinUndoButton);
        QVERIFY(!QFileInfo::exists(f->joinPanel->state().JoinOutputPath));
        QCOMPARE(entries(parts), (QStringList{"Clone Of movie.avi", "movie.avi", "movie.avi.001",
                                              "movie.avi.002", "movie.avi.003", "movie.avi.txt"}));
        QCOMPARE(panelState(f), CancelledOrUndone);

        // Cancel during the copy, with the clone of an earlier join in place.
        writeFile(clone, "an older clone");
        ui.reports.clear();
        bool iconShown = false;
        whenGaugeReaches(f, 10, [&] {
            iconShown = f->joinPanel->outputIcon->isVisible() &&
                        !f->joinPanel->outputIcon->pixmap().isNull();
            QVERIFY(f->joinPanel->joinHint->isHidden());
            click(f->joinPanel->joinCancelButton);
        });
        click(f->joinPanel->joinButton);
        QVERIFY(iconShown);
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(readFile(clone), QByteArray("an older clone"));
        QCOMPARE(entries(parts).size(), 6); // no hidden leftovers
        QCOMPARE(f->joinPanel->state().JoinCancelFlag, quint8(1));
        QCOMPARE(panelState(f), CancelledOrUndone);
    }

    // A Join click that reaches the window right behind Cancel, while the
    // cancelled join is still unwinding, starts no second join inside it.
    void joinClickBehindCancel() {
        Ui ui;
        MainWindow* f = ui.form.get();
        makeSet({100000, 100000});
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(1));
        whenGaugeReaches(f, 5, [&] {
            click(f->joinPanel->joinCancelButton);
            click(f->joinPanel->joinButton); // enabled again by Cancel
        });
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(entries(parts), (QStringList{"movie.avi.001", "movie.avi.002"}));
        QCOMPARE(panelState(f), CancelledOrUndone);
    }

    // Closing the window while a join runs cancels it: at its very start
    // (the gauge still at 0) and in the middle of the copy.
    void closeDuringJoin_data() {
        QTest::addColumn<int>("atPercent");
        QTest::newRow("before the copy") << -1;
        QTest::newRow("during the copy") << 40;
    }
    void closeDuringJoin() {
        QFETCH(int, atPercent);
        Ui ui;
        MainWindow* f = ui.form.get();
        makeSet({60000, 60000, 60000, 60000});
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(1));
        if (atPercent < 0)
            QTimer::singleShot(0, f, [f] { f->close(); });
        else
            whenGaugeReaches(f, atPercent, [f] { f->close(); });
        click(f->joinPanel->joinButton);
        QVERIFY(!f->isVisible());
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(entries(parts).size(), 4);
    }

    // Sets past 100 parts in both numberings: ours (.0101, .01000) and the
    // plain one of other splitters (.101, .1000). The whole set is joined and
    // sized from any part, also one past 100, with and without a part list.
    void setsNumberedPast100_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("listed");
        QTest::newRow("plain 150, .120 chosen") << 150 << true << 120 << false;
        QTest::newRow("plain 150, listed") << 150 << true << 1 << true;
        QTest::newRow("plain 1002, .1001 chosen") << 1002 << true << 1001 << false;
        QTest::newRow("ours 150, .0120 chosen") << 150 << false << 120 << false;
        QTest::newRow("ours 1002, listed") << 1002 << false << 7 << true;
    }
    void setsNumberedPast100() {
        QFETCH(int, count);
        QFETCH(bool, plain);
        QFETCH(int, chosen);
        QFETCH(bool, listed);
        Ui ui;
        const auto name = [&](int n) {
            return "movie.avi." +
                   ordinalDigits(n, plain ? PartNumbering::Plain : PartNumbering::Ours);
        };
        QStringList made, names;
        for (int n = 1; n <= count; ++n) {
            made << parts + name(n);
            names << name(n);
            writeFile(made.last(), QByteArray::number(n) + ",");
        }
        if (listed) writePartList(parts + "movie.avi.txt", names);
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, parts + name(chosen));
        QCOMPARE(ui.form->joinPanel->state().JoinTotalSize, qint64(concat(made).size()));
        click(ui.form->joinPanel->joinButton);
        QCOMPARE(ui.reports, QList<QStringList>{listed ? CompletedWithList : CompletedWithoutList});
        QCOMPARE(readFile(parts + "movie.avi"), concat(made));
    }

    // The joined file: run it and quit (also when it is gone), its folder.
    void runJoinedAndFolder() {
        Ui ui;
        MainWindow* f = ui.form.get();
        makeSet({100});
        setFreeSpaceQuery([](const QString&) { return 1e12; });

        // Before any join the output path holds at most a bare name: nothing opens.
        f->joinPanel->state().JoinOutputPath = "movie.avi";
        openAndLoad(ui, part(1));
        click(f->joinPanel->joinDestinationPicture);
        QCOMPARE(ui.opened, QList<QUrl>());

        click(f->joinPanel->joinButton);
        click(f->joinPanel->joinDestinationPicture);
        QCOMPARE(ui.opened, QList<QUrl>{QUrl::fromLocalFile(parts)});
        click(f->joinPanel->runJoinedButton);
        QCOMPARE(ui.opened.last(), QUrl::fromLocalFile(parts + "movie.avi"));
        QVERIFY(!f->isVisible());

        f->show();
        QFile::remove(parts + "movie.avi");
        ui.opened.clear();
        click(f->joinPanel->runJoinedButton);
        QCOMPARE(ui.opened, QList<QUrl>());
        QVERIFY(!f->isVisible());
    }

    // A join that fails (the disk fills, a part vanishes) leaves no output, a
    // usable panel and its error in the message box.
    void failingJoins() {
        Ui ui;
        MainWindow* f = ui.form.get();
        makeSet({200000, 200000, 200000});
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        openAndLoad(ui, part(1));

        whenGaugeReaches(f, 20, [&] { QFile::remove(part(3)); });
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY2(ui.errors[0].contains(part(3)), qPrintable(ui.errors[0]));
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(entries(parts), (QStringList{"movie.avi.001", "movie.avi.002"}));
        QCOMPARE(panelState(f), CancelledOrUndone);

        makeSet({200000, 200000, 200000});
        Tmpfs fs(256 * 1024);
        if (!fs.ok()) QSKIP(qPrintable(fs.reason()));
        ui.folderAnswers << fs.path();
        click(f->joinPanel->joinDestinationButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors.size(), 2);
        QVERIFY2(ui.errors[1].contains("No space left"), qPrintable(ui.errors[1]));
        QCOMPARE(entries(fs.path()), QStringList());
        QCOMPARE(panelState(f), CancelledOrUndone);
        // And the panel is usable: another destination joins.
        ui.folderAnswers << parts;
        click(f->joinPanel->joinDestinationButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors.size(), 2);
        QCOMPARE(panelState(f), Completed);
    }

    // Recovery data beside a listed set of five: what it covers is rebuilt
    // before the join and named in the completion report; past what it
    // covers, the missing-parts question says how many more blocks it needed,
    // and parts it found damaged fail the check as a wrong CRC-32 does (there
    // is no .sfv): keep the joined file or remove it.
    void recoveryDataFirst_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QList<int>>("removed");
        QTest::addColumn<QList<int>>("damaged");
        QTest::addColumn<QStringList>("report");
        const QStringList question{"        ",
                                   "   2 more recovery blocks needed",
                                   "             Missing Files:",
                                   "movie.avi.002 ",
                                   "movie.avi.003 ",
                                   "movie.avi.004 "};
        QTest::newRow("a part missing")
            << 20 << QList<int>{3} << QList<int>{}
            << CompletedWithList + QStringList{"   Repaired movie.avi.003"};
        QTest::newRow("one missing, one damaged")
            << 40 << QList<int>{5} << QList<int>{1}
            << CompletedWithList +
                   QStringList{"   Repaired movie.avi.001", "   Repaired movie.avi.005"};
        QTest::newRow("more missing than it covers")
            << 20 << QList<int>{2, 3, 4} << QList<int>{} << question;
        QTest::newRow("more damaged than it covers")
            << 20 << QList<int>{} << QList<int>{1, 3}
            << QStringList{
                   "   1 more recovery block needed", "   Recovery data check failed:",
                   "   movie.avi.001 is damaged:",    "   the recovery data cannot rebuild it",
                   "   movie.avi.003 is damaged:",    "   the recovery data cannot rebuild it",
                   "   Keep the joined file?"};
    }
    void recoveryDataFirst() {
        QFETCH(int, percent);
        QFETCH(QList<int>, removed);
        QFETCH(QList<int>, damaged);
        QFETCH(QStringList, report);
        Ui ui;
        MainWindow* f = ui.form.get();
        const QStringList made = makeSet({40000, 40000, 40000, 40000, 1234});
        const QByteArray whole = concat(made);
        writeList(5);
        QStringList names;
        for (const QString& p : made)
            names << fileNameOf(p);
        quint8 never = 0;
        QString refusal;
        QCOMPARE(writeRecoveryFilesOf(parts + "movie.avi", names, {}, percent, EngineHooks{},
                                      CancelRequest(never), refusal),
                 RecoveryWritten::Written);
        for (int ordinal : removed)
            QVERIFY(QFile::remove(part(ordinal)));
        for (int ordinal : damaged) {
            QFile file(part(ordinal));
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(100));
            file.write("damage");
        }
        const QStringList before = entries(parts);
        setFreeSpaceQuery([](const QString&) { return 1e12; });
        ui.answer = [](ReportDialog* d) {
            Ui::press(d, d->abortButton->isVisible() ? "abortButton" : "okButton");
        };
        openAndLoad(ui, part(removed.contains(2) ? 1 : 2));
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, QList<QStringList>{report});
        if (report.mid(0, CompletedWithList.size()) == CompletedWithList) {
            // The parts whole again (no hidden file left), and joined.
            QCOMPARE(readFile(parts + "movie.avi"), whole);
            QStringList expected = before;
            for (int ordinal : removed)
                expected << fileNameOf(part(ordinal));
            expected << "movie.avi";
            QStringList now = entries(parts);
            now.sort();
            expected.sort();
            QCOMPARE(now, expected);
            QCOMPARE(concat(made), whole);
        } else {
            QCOMPARE(entries(parts), before); // nothing rebuilt, nothing joined
        }
    }
};

TFS_UI_TEST_MAIN(TestJoinPanel)
#include "tst_joinpanel.moc"
