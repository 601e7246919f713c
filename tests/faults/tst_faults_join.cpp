// SPDX-License-Identifier: GPL-3.0-or-later
// Faults met through the join panel: a disk that fills during the join, parts
// that vanish or get shorter while they are joined, a destination that is
// gone or read-only, and damaged part lists. After each: the parts and their
// list are unchanged byte for byte, no output (nor a hidden leftover) remains
// unless the user chose to join, errors name the file and the reason, and the
// panel joins again.
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

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tfs;

using namespace testutil;
using namespace faults;

class TestFaultsJoin : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString parts;    // the set's folder, ending with "/"
    QByteArray whole; // the set's bytes in order
    std::unique_ptr<Ui> ui;
    MainWindow* f = nullptr;

    QString part(int ordinal) const { return parts + "movie.avi." + digitsOf(ordinal); }

    // movie.avi.001 ... of `count` parts of `size` bytes, with their list.
    void makeSet(int count, qint64 size) {
        QStringList names;
        whole.clear();
        for (int i = 1; i <= count; ++i) {
            makeFile(part(i), size, quint32(i + 11));
            whole += readFile(part(i));
            names << fileNameOf(part(i));
        }
        writePartList(parts + "movie.avi.txt", names);
    }

    void loadAndJoin(const QString& chosen, const QString& dest = QString()) {
        loadPart(*ui, chosen, dest);
        click(f->joinPanel->joinButton);
    }

    void checkError(int count, const QString& file, const QString& reason) {
        faults::checkError(ui->errors, count, file, reason);
    }

    // The panel joins again: into a fresh folder, byte for byte, and Undo
    // takes the output away.
    void goodJoinStillWorks() {
        const QString dest = tmp->path() + "/again/";
        QVERIFY(QDir().mkpath(dest));
        const int errors = ui->errors.size();
        ui->answer = {};
        loadAndJoin(part(1), dest);
        QCOMPARE(ui->errors.size(), errors);
        QCOMPARE(ui->reports.last(), CompletedWithList);
        QCOMPARE(readFile(dest + "movie.avi"), whole);
        click(f->joinPanel->joinUndoButton);
        QCOMPARE(entries(dest), QStringList());
    }

private slots:
    void init() {
        parts = freshPartsFolder(tmp);
        QVERIFY(!parts.isEmpty());
        ui = std::make_unique<Ui>();
        f = ui->form.get();
        claimRoom();
        click(f->startPanel->joinPageButton);
    }
    void cleanup() { ui.reset(); }

    // The destination fills up: the error names the output and the reason,
    // no output or hidden file is left, the parts and list are untouched.
    void diskFillsDuringJoin() {
        TFS_MOUNT_OR_SKIP(fs, 256 * 1024);
        makeSet(3, 150000);
        const auto before = snapshot(parts);
        loadAndJoin(part(2), fs.path());
        checkError(1, fs.path() + "movie.avi", "No space left on device");
        QCOMPARE(entries(fs.path()), QStringList());
        QCOMPARE(snapshot(parts), before);
        QVERIFY(f->joinPanel->joinButton->isEnabled() &&
                f->joinPanel->joinMainButton->isEnabled() &&
                f->joinPanel->joinUndoButton->isHidden());
        goodJoinStillWorks();
    }

    // A part that is cut short, or removed, while the join runs: the error
    // names that part; no output is left and the other parts are untouched.
    void partChangesDuringJoin() {
        makeSet(4, 200000);
        const QByteArray fourth = readFile(part(4));
        for (const bool removed : {false, true}) {
            during(
                f, [this] { return f->joinPanel->joinGauge->progress() >= 30; },
                [&] {
                    if (removed)
                        QVERIFY(QFile::remove(part(3)));
                    else
                        QVERIFY(QFile(part(3)).resize(1000));
                });
            loadAndJoin(part(1));
            checkError(removed ? 2 : 1, part(3), removed ? "No such file or directory" : "shorter");
            QStringList left{"movie.avi.001", "movie.avi.002", "movie.avi.003", "movie.avi.004",
                             "movie.avi.txt"};
            if (removed) left.removeAll("movie.avi.003");
            QCOMPARE(entries(parts), left);
            QCOMPARE(readFile(part(4)), fourth);
            QCOMPARE(ui->reports, QList<QStringList>());
            QCOMPARE(f->joinPanel->joinGauge->progress(), 0);
        }
        QCOMPARE(concat({part(1), part(2)}), whole.left(400000));
    }

    // Part 001 is not there (gone since the load, or on another disk): the
    // join is refused through the report naming it, instead of making an
    // empty file reported as joined; "Main" stays available. With the list
    // beside the parts, the missing-parts question comes first, and "Join
    // Anyway" gets the same refusal.
    void firstPartMissing() {
        makeSet(3, 5000);
        QVERIFY(QFile::remove(parts + "movie.avi.txt"));
        ui->fileAnswers << part(2);
        click(f->joinPanel->loadPartButton);
        QVERIFY(QFile::remove(part(1)));
        const QStringList refusal{" ", " ", "     Not joined: the first part", "     movie.avi.001",
                                  "     is missing"};
        for (const bool listed : {false, true}) {
            if (listed)
                writeFile(parts + "movie.avi.txt",
                          "movie.avi.001\r\nmovie.avi.002\r\nmovie.avi.003\r\n");
            ui->reports.clear();
            ui->answer = [](ReportDialog* d) {
                Ui::press(d, d->joinAnywayButton->isVisible() ? "joinAnywayButton" : "okButton");
            };
            const auto before = snapshot(parts);
            click(f->joinPanel->joinButton);
            QCOMPARE(ui->errors, QStringList());
            QCOMPARE(ui->reports.size(), listed ? 2 : 1);
            QCOMPARE(ui->reports.last(), refusal);
            QCOMPARE(snapshot(parts), before);
            QVERIFY(f->joinPanel->joinButton->isEnabled() &&
                    f->joinPanel->joinMainButton->isEnabled() &&
                    f->joinPanel->joinUndoButton->isHidden());
        }
    }

    // The destination folder is removed after it was chosen: refused as a
    // volume that can't be measured, naming the folder, which is not made
    // again; a read-only destination: the output can't be created, and
    // nothing is written there.
    void destinationGoneOrReadOnly() {
        makeSet(2, 50000);
        const auto before = snapshot(parts);
        const QString gone = tmp->path() + "/gone/";
        QVERIFY(QDir().mkpath(gone));
        setFreeSpaceQuery({});
        ui->fileAnswers << part(1);
        click(f->joinPanel->loadPartButton);
        ui->folderAnswers << gone;
        click(f->joinPanel->joinDestinationButton);
        QVERIFY(QDir(gone).removeRecursively());
        click(f->joinPanel->joinButton);
        QCOMPARE(ui->reports, (QList<QStringList>{
                                  {"  ", "  ", "  ", "Not Enough Disk Space on Drive " + gone}}));
        QVERIFY(!QFileInfo::exists(gone));
        QCOMPARE(snapshot(parts), before);

        TFS_MOUNT_OR_SKIP(fs, 1 << 20);
        const QString why = remountReadOnly(fs);
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        loadAndJoin(part(2), fs.path());
        checkError(1, fs.path() + "movie.avi", "Read-only file system");
        QCOMPARE(entries(fs.path()), QStringList());
        QCOMPARE(snapshot(parts), before);
        goodJoinStillWorks();
    }
};

TFS_UI_TEST_MAIN(TestFaultsJoin)
#include "tst_faults_join.moc"
