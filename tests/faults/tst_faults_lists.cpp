// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged or odd part list files met by the join: line ends of one kind only,
// binary garbage, one 10 MB line, names that climb out of the folder or are
// absolute, and names of parts that are folders. The list is only read and
// its names only tested for existence: nothing outside the parts' folder is
// read, written or deleted, the list stays as it was, and the window answers.
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

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tfs;

using namespace testutil;
using namespace faults;

namespace {

const QStringList MissingHeader{"        ", "             Missing Files:"};

// Answers the missing-parts question with "Join Anyway" (loadSourceButton) or "Abort"
// (joinButton), and any report with OK.
// Each showing is drawn first, as the user would see it.
std::function<void(ReportDialog*)> answering(const char* choice) {
    return [choice](ReportDialog* d) {
        d->grab();
        Ui::press(d, d->joinAnywayButton->isVisible() ? choice : "okButton");
    };
}

} // namespace

class TestFaultsLists : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString parts, outside; // the set's folder ("/" at the end); a file beside it
    QByteArray whole;       // the parts' bytes in order

    QString part(int ordinal) const { return parts + "movie.avi." + digitsOf(ordinal); }

private slots:
    void init() {
        parts = freshPartsFolder(tmp);
        QVERIFY(!parts.isEmpty());
        outside = tmp->path() + "/outside.bin";
        writeFile(outside, "not a part");
        whole.clear();
        for (int i = 1; i <= 3; ++i) {
            makeFile(part(i), 30000, quint32(i));
            whole += readFile(part(i));
        }
        setFreeSpaceQuery([](const QString&) { return 1e15; });
    }

    // Whatever the list holds, the join reads it, asks about the names it
    // can't find (or nothing, when all are found) and joins the set on "Join
    // Anyway"; a list it can't read as names (a line too long for one, or not
    // UTF-8 text) is an error. Names outside the folder are looked up there and nothing else.
    void listContents_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("missing"); // the question's entries; empty: no question
        const QByteArray n1 = "movie.avi.001", n2 = "movie.avi.002", n3 = "movie.avi.003";
        QTest::newRow("CR only") << n1 + "\r" + n2 + "\r" + n3 + "\r" << QStringList();
        QTest::newRow("LF only") << n1 + "\n" + n2 + "\n" + n3 + "\n" << QStringList();
        QTest::newRow("mixed, last line unended") << n1 + "\n" + n2 + "\r\n" + n3 << QStringList();
        QTest::newRow("climbing out and absolute, found")
            << "../outside.bin\r\n@OUTSIDE@\r\n" + n1 + "\r\n"
            << QStringList();
        QTest::newRow("climbing out and absolute, missing")
            << "../../etc/nothing-here\r\n/nonexistent/movie.avi.001\r\n" + n2 + "\r\n"
            << QStringList{"../../etc/nothing-here ", "/nonexistent/movie.avi.001 "};
        // Lines are read up to a bound, as text naming files byte for byte.
        QTest::newRow("one 10 MB line") << QByteArray(10 << 20, 'x') + "\r\n"
                                        << QStringList{"<unreadable>"};
        QByteArray garbage = patternBytes(1 << 16, 77);
        garbage[100] = '\0';
        QTest::newRow("binary garbage") << garbage << QStringList{"<unreadable>"};
    }
    void listContents() {
        QFETCH(QByteArray, list);
        QFETCH(QStringList, missing);
        list.replace("@OUTSIDE@", QFile::encodeName(outside)); // its absolute path
        writeFile(parts + "movie.avi.txt", list);
        const auto setBefore = snapshot(parts);
        const auto outsideBefore = snapshot(tmp->path());

        Ui ui;
        MainWindow* f = ui.form.get();
        ui.answer = answering("joinAnywayButton");
        click(f->startPanel->joinPageButton);
        ui.fileAnswers << part(2);
        click(f->joinPanel->loadPartButton);
        click(f->joinPanel->joinButton);

        if (missing == QStringList{"<unreadable>"}) { // the error names the list; nothing joined
            QCOMPARE(ui.errors.size(), 1);
            QVERIFY2(ui.errors[0].contains("movie.avi.txt"), qPrintable(ui.errors[0]));
            QCOMPARE(snapshot(parts), setBefore);
            return;
        }
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports.last(), CompletedWithList);
        if (missing.isEmpty()) {
            QCOMPARE(ui.reports.size(), 1);
        } else {
            QCOMPARE(ui.reports.size(), 2);
            const QStringList question = ui.reports.first();
            QCOMPARE(question.mid(0, 2), MissingHeader);
            if (missing != QStringList{"*"}) QCOMPARE(question.mid(2), missing);
        }
        QCOMPARE(readFile(parts + "movie.avi"), whole);
        click(f->joinPanel->joinUndoButton); // Undo: only the output goes
        QCOMPARE(snapshot(parts), setBefore);
        QCOMPARE(snapshot(tmp->path()), outsideBefore);
    }

    // A list naming a part that is a folder: that name is reported missing;
    // "Abort" writes nothing, "Join Anyway" joins the parts before it.
    void listedPartIsAFolder() {
        QVERIFY(QFile::remove(part(2)));
        QVERIFY(QDir().mkpath(part(2)));
        writeFile(parts + "movie.avi.txt", "movie.avi.001\r\nmovie.avi.002\r\nmovie.avi.003\r\n");
        const auto before = snapshot(parts);
        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->joinPageButton);
        const QStringList question = MissingHeader + QStringList{"movie.avi.002 "};
        const auto join = [&](const char* choice) {
            ui.answer = answering(choice);
            ui.fileAnswers << part(3);
            click(f->joinPanel->loadPartButton);
            click(f->joinPanel->joinButton);
        };
        join("abortButton");
        QCOMPARE(ui.reports, QList<QStringList>{question});
        QCOMPARE(snapshot(parts), before);
        join("joinAnywayButton");
        QCOMPARE(ui.reports, (QList<QStringList>{question, question, CompletedWithList}));
        QCOMPARE(readFile(parts + "movie.avi"), whole.left(30000));
        QCOMPARE(ui.errors, QStringList());
    }
    // A split of "notes" meets a file notes.txt in its destination. Only a
    // part list of notes (every line a name notes.NNN, however long) is
    // replaced by the new list; anything else is refused with the report
    // before anything is written, and stays as it was.
    void fileNamedLikeTheList_data() {
        QTest::addColumn<QByteArray>("content"); // "<folder>": a folder of that name
        QTest::addColumn<bool>("replaced");
        QByteArray large;
        while (large.size() <= 17 * 1024 * 1024)
            large += "notes.001\r\n";
        QTest::newRow("the user's own notes") << QByteArray("Buy milk\r\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("a list of another source") << QByteArray("other.001\r\n") << false;
        QTest::newRow("one line no part name") << QByteArray("notes.001\r\nnotes.abc\r\n") << false;
        QTest::newRow("over 16 MiB of part names") << large << true;
        QTest::newRow("a folder") << QByteArray("<folder>") << false;
        QTest::newRow("a list of notes") << QByteArray("notes.001\r\nnotes.002\r\n") << true;
        QTest::newRow("a list of notes past 100, LF only")
            << QByteArray("notes.100\nnotes.0101\n") << true;
    }
    void fileNamedLikeTheList() {
        QFETCH(QByteArray, content);
        QFETCH(bool, replaced);
        const QString source = tmp->path() + "/notes", list = parts + "notes.txt";
        makeFile(source, 25000);
        if (content == "<folder>")
            QVERIFY(QDir().mkpath(list));
        else
            writeFile(list, content);
        const auto before = snapshot(parts);
        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->splitPageButton);
        prepareSplit(ui, source, 0, "10000", parts);
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.errors, QStringList());
        if (replaced) {
            QCOMPARE(readFile(list), QByteArray("notes.001\r\nnotes.002\r\nnotes.003\r\n"));
            QCOMPARE(concat({parts + "notes.001", parts + "notes.002", parts + "notes.003"}),
                     readFile(source));
            QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
            return;
        }
        QCOMPARE(
            ui.reports,
            (QList<QStringList>{{" ", " ", "     notes.txt", "     is not a part list of this file",
                                 "     and would be replaced:", "     nothing was split"}}));
        QCOMPARE(snapshot(parts), before);
        QVERIFY(!f->splitPanel->splitCancelButton->isEnabled());
    }
};

TFS_UI_TEST_MAIN(TestFaultsLists)
#include "tst_faults_lists.moc"
