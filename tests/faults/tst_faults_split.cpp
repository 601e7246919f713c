// SPDX-License-Identifier: GPL-3.0-or-later
// Faults met through the split panel: a disk that fills during the split or
// while the part list is written, a source that changes between "Load File"
// and "Split", a destination that is gone or read-only, and part sizes at
// their limits. After each: the source is unchanged, the error names the file
// and the reason, nothing unlisted stays on disk, and the panel still splits.
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

#include <algorithm>
#include <memory>

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QtTest>

using namespace tfs;

using namespace testutil;
using namespace faults;

namespace {

const QStringList Blank3{QString(), QString(), QString()};

// What is done once a split has ended, or while it runs.
enum After { Close, Cancel, Undo, CancelWhileRunning };

} // namespace

class TestFaultsSplit : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString source, out;
    QByteArray original;
    std::unique_ptr<Ui> ui; // the window, split panel open
    MainWindow* f = nullptr;

    void makeSource(qint64 size) {
        makeFile(source, size, 7);
        original = readFile(source);
    }

    void load(const QString& path) { loadSource(*ui, path); }
    // Loads the source, types a part size in a unit (0 Bytes ... 3 Gigabytes)
    // and chooses the destination.
    void prepare(int unit, const QByteArray& partSize, const QString& dest) {
        prepareSplit(*ui, source, unit, partSize, dest);
    }
    void split(int unit, const QByteArray& partSize, const QString& dest) {
        prepare(unit, partSize, dest);
        click(f->splitPanel->splitButton);
    }

    // The source was not touched, and the panel still works: a split of it
    // into `out` joins back to it, its list is there, and Undo removes it all.
    void goodSplitStillWorks() {
        QCOMPARE(readFile(source), original);
        QVERIFY(QDir().mkpath(out));
        const int errors = ui->errors.size();
        split(0, QByteArray::number(original.size() / 3 + 1), out);
        QCOMPARE(ui->errors.size(), errors);
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
        QCOMPARE(entries(out), (QStringList{"src.bin.001", "src.bin.002", "src.bin.003",
                                            "src.bin.crc", "src.bin.sfv", "src.bin.txt"}));
        QCOMPARE(concat({out + "/src.bin.001", out + "/src.bin.002", out + "/src.bin.003"}),
                 original);
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(out), QStringList());
        QCOMPARE(navigation(f), AllOn);
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        source = tmp->filePath("src.bin");
        out = tmp->filePath("out");
        original.clear();
        ui = std::make_unique<Ui>();
        f = ui->form.get();
        claimRoom();
        click(f->startPanel->splitPageButton);
    }
    void cleanup() {
        ui.reset();
        QCOMPARE(readFile(source), original);
    }

    // The disk fills in the third part: the error names that part, the parts
    // stay listed and on disk until Cancel removes them, no list is written.
    // Then it fills in the very first block, before the gauge has moved:
    // closing the window instead of pressing Cancel removes the part as well.
    void diskFillsDuringSplit() {
        TFS_MOUNT_OR_SKIP(fs, 256 * 1024);
        makeSource(600000);
        split(1, "100", fs.path());
        const QString third = fs.path() + "src.bin.003";
        checkError(ui->errors, 1, third, "No space left on device");
        QCOMPARE(ui->reports, QList<QStringList>());
        QCOMPARE(f->splitPanel->state().SplitPartPaths,
                 (QStringList{fs.path() + "src.bin.001", fs.path() + "src.bin.002", third}));
        QCOMPARE(entries(fs.path()), (QStringList{"src.bin.001", "src.bin.002", "src.bin.003"}));
        QCOMPARE(concat(f->splitPanel->state().SplitPartPaths.mid(0, 2)),
                 original.left(2 * 102400));
        QCOMPARE(navigation(f), AllOff);
        QVERIFY(f->splitPanel->splitCancelButton->isEnabled());
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Cancel"));
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(fs.path()), QStringList());
        QCOMPARE(navigation(f), AllOn);
        goodSplitStillWorks();

        split(1, "500", fs.path());
        checkError(ui->errors, 2, fs.path() + "src.bin.001", "No space left on device");
        QCOMPARE(f->splitPanel->splitGauge->progress(), 0);
        QCOMPARE(entries(fs.path()), QStringList{"src.bin.001"});
        f->close();
        QVERIFY(!f->isVisible());
        QCOMPARE(entries(fs.path()), QStringList());
    }

    // What a split's parts become through Cancel, Undo or the close, on both
    // panels. The parts fill the tmpfs to its last page, so the part list
    // can't be written: the box says the complete parts are kept, and they
    // are, through the close and through Cancel alike (no list, nor a
    // temporary file, is left). With one page more the list is written but
    // its .sfv is not: the box says so, Undo is offered and removes it all.
    // Cancel while a split runs removes its parts with the event loop
    // turning between them: the window answers meanwhile.
    void cancelUndoAndCloseAfterASplit_data() {
        QTest::addColumn<bool>("preset");
        QTest::addColumn<int>("parts");
        QTest::addColumn<int>("spare"); // pages left once the parts are written
        QTest::addColumn<int>("after");
        QTest::addColumn<QString>("box"); // words of the error box; empty: none
        const QString listFailed = "The %1 parts were all written and are kept; "
                                   "they can be joined without their list.";
        const QString sfvFailed = "The %1 parts and their list were all written and are kept; "
                                  "they can be joined without their check files, and Undo "
                                  "removes them.";
        QTest::newRow("Split, no list, then close")
            << false << 4 << 0 << +Close << listFailed.arg(4);
        QTest::newRow("Split, no list, then Cancel")
            << false << 4 << 0 << +Cancel << listFailed.arg(4);
        QTest::newRow("1.2 MB preset, no list, then close")
            << true << 2 << 0 << +Close << listFailed.arg(2);
        QTest::newRow("1.2 MB preset, no list, then Cancel")
            << true << 2 << 0 << +Cancel << listFailed.arg(2);
        QTest::newRow("Split, no .sfv, then Undo") << false << 4 << 1 << +Undo << sfvFailed.arg(4);
        QTest::newRow("1.2 MB preset, no .sfv, then Undo")
            << true << 2 << 1 << +Undo << sfvFailed.arg(2);
        QTest::newRow("Split, Cancel while it runs")
            << false << 6 << 64 << +CancelWhileRunning << QString();
        QTest::newRow("1.2 MB preset, Cancel while it runs")
            << true << 6 << 64 << +CancelWhileRunning << QString();
    }
    void cancelUndoAndCloseAfterASplit() {
        QFETCH(bool, preset);
        QFETCH(int, parts);
        QFETCH(int, spare);
        QFETCH(int, after);
        QFETCH(QString, box);
        // Parts of 64 KiB, or of the 1.2 MB preset (308 pages each).
        const qint64 pages = parts * (preset ? 308 : 16) + spare;
        TFS_MOUNT_OR_SKIP(fs, pages * 4096);
        QCOMPARE(QStorageInfo(fs.path()).bytesAvailable(), pages * 4096);
        makeSource(parts * (preset ? 1258291 : 64 * 1024));
        QStringList names;
        for (int i = 1; i <= parts; ++i)
            names << QString("src.bin.00%1").arg(i);
        QPushButton* cancel =
            preset ? f->presetsPanel->presetsCancelButton : f->splitPanel->splitCancelButton;
        const SplitState& state = preset ? f->presetsPanel->state() : f->splitPanel->state();

        // Cancel mid-way, then watch for an event-loop turn that finds some of
        // the parts present then gone, but not all.
        struct Removal {
            QStringList paths;
            int presentAtCancel = 0;
            bool turnedMidWay = false;
            int present() const {
                return int(std::count_if(paths.begin(), paths.end(),
                                         [](const QString& p) { return QFile::exists(p); }));
            }
        };
        const auto removal = std::make_shared<Removal>();
        if (after == CancelWhileRunning)
            during(
                f, [&state] { return state.SplitPartPaths.size() >= 4; },
                [this, removal, cancel, &state] {
                    removal->paths = state.SplitPartPaths;
                    removal->presentAtCancel = removal->present();
                    during(
                        f,
                        [removal] {
                            const int n = removal->present();
                            return n > 0 && n < removal->presentAtCancel;
                        },
                        [removal] { removal->turnedMidWay = true; });
                    click(cancel);
                });

        if (preset) {
            click(f->splitPanel->splitMainButton);
            click(f->startPanel->presetsPageButton);
            ui->fileAnswers << source;
            ui->folderAnswers << fs.path();
            click(f->presetsPanel->floppy12Button);
        } else {
            split(1, "64", fs.path());
        }

        if (after == CancelWhileRunning) {
            QCOMPARE(ui->errors, QStringList());
            QVERIFY2(removal->presentAtCancel >= 2, qPrintable(removal->paths.join(' ')));
            QVERIFY(removal->turnedMidWay);
            QCOMPARE(entries(fs.path()), QStringList());
            QVERIFY(!cancel->isEnabled());
            QCOMPARE(cancel->text(), QString("Cancel"));
            if (!preset) goodSplitStillWorks();
            return;
        }

        const bool listWritten = spare > 0;
        checkError(ui->errors, 1, fs.path() + (listWritten ? "src.bin.sfv" : "src.bin.txt"),
                   "No space left on device");
        QVERIFY2(ui->errors[0].contains(box), qPrintable(ui->errors[0]));
        QCOMPARE(entries(fs.path()),
                 names + (listWritten ? QStringList{"src.bin.txt"} : QStringList()));
        QCOMPARE(concat(state.SplitPartPaths), original);
        QVERIFY(cancel->isEnabled());
        QCOMPARE(cancel->text(), QString(listWritten ? "Undo" : "Cancel"));
        if (!preset) QCOMPARE(navigation(f), AllOn);
        if (after == Close) {
            f->close();
            QVERIFY(!f->isVisible());
            QCOMPARE(entries(fs.path()), names);
            return;
        }
        click(cancel);
        QCOMPARE(ui->errors.size(), 1);
        // A complete set stays unless Undo removes it with its list.
        QCOMPARE(entries(fs.path()), after == Undo ? QStringList() : names);
        if (!preset) goodSplitStillWorks();
    }

    // A preset split fails when the disk fills in its first part. What starts
    // next (another preset, even one whose dialog is cancelled, or a split
    // from the Split panel) removes the part that failure left, cut short:
    // nothing else knows of it once a new split has begun.
    void nextSplitAfterAFailedPreset_data() {
        QTest::addColumn<int>("next");
        QTest::newRow("another preset, elsewhere") << 0;
        QTest::newRow("another preset, dialog cancelled") << 1;
        QTest::newRow("a split from the Split panel") << 2;
    }
    void nextSplitAfterAFailedPreset() {
        QFETCH(int, next);
        TFS_MOUNT_OR_SKIP(fs, 1 << 20);
        makeSource(3 * 1258291);
        QVERIFY(QDir().mkpath(out));
        click(f->splitPanel->splitMainButton);
        click(f->startPanel->presetsPageButton);
        ui->fileAnswers << source;
        ui->folderAnswers << fs.path();
        click(f->presetsPanel->floppy12Button);
        checkError(ui->errors, 1, fs.path() + "src.bin.001", "No space left on device");
        QCOMPARE(entries(fs.path()), QStringList{"src.bin.001"});

        if (next == 2) {
            click(f->presetsPanel->presetsMainButton);
            click(f->startPanel->splitPageButton);
            split(1, "1024", out);
        } else {
            ui->fileAnswers << (next == 0 ? source : QString());
            ui->folderAnswers << out;
            click(f->presetsPanel->floppy12Button);
        }
        QCOMPARE(ui->errors.size(), 1);
        QCOMPARE(entries(fs.path()), QStringList());
        if (next != 1) QCOMPARE(entries(out).size(), next == 0 ? 6 : 7); // parts, list, .sfv, .crc
    }

    // The source vanishes, is emptied, is replaced by a named pipe or shrinks
    // after "Load File": a vanished, empty or piped source is refused with its
    // name and the reason and nothing is written (the pipe is never opened:
    // that would wait for a writer and freeze the window); a shorter source
    // is split as it now is, into parts that join back to it.
    void sourceChangesBeforeSplit() {
        const QString folder = tmp->path() + "/";
        const auto splitAfter = [&](const std::function<void()>& change) {
            makeSource(50000);
            prepare(0, "20000", folder);
            QCOMPARE(f->splitPanel->partCountField->text(), QString("3"));
            change();
            click(f->splitPanel->splitButton);
        };

        splitAfter([&] {
            QVERIFY(QFile::remove(source));
            original.clear();
        });
        checkError(ui->errors, 1, source, "No such file or directory");
        QCOMPARE(entries(folder), QStringList());
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(navigation(f), AllOn);

        splitAfter([&] {
            writeFile(source, QByteArray());
            original.clear();
        });
        checkError(ui->errors, 2, source, "empty");
        QCOMPARE(entries(folder), QStringList{"src.bin"});
        click(f->splitPanel->splitCancelButton);

        std::unique_ptr<FifoWatchdog> watchdog;
        splitAfter([&] {
            QVERIFY(QFile::remove(source));
            QVERIFY(makeFifo(source));
            watchdog = std::make_unique<FifoWatchdog>(source);
        });
        QVERIFY2(!watchdog->readerWasBlocked(), "the split opened the named pipe");
        checkError(ui->errors, 3, source, "named pipe");
        QCOMPARE(entries(folder), QStringList{"src.bin"});
        click(f->splitPanel->splitCancelButton);
        QVERIFY(QFile::remove(source));

        splitAfter([&] {
            QVERIFY(QFile(source).resize(30000));
            original = readFile(source);
        });
        QCOMPARE(ui->errors.size(), 3);
        QCOMPARE(entries(folder), (QStringList{"src.bin", "src.bin.001", "src.bin.002",
                                               "src.bin.crc", "src.bin.sfv", "src.bin.txt"}));
        QCOMPARE(concat({source + ".001", source + ".002"}), original);
        QCOMPARE(readFile(source + ".txt"), QByteArray("src.bin.001\r\nsrc.bin.002\r\n"));
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(folder), QStringList{"src.bin"});
    }

    // A link to the source (symbolic, then hard) lies in the destination under
    // the name of its second part: writing that part would empty the source,
    // so the split is refused, naming both, before anything is written.
    void partNameLinksToTheSource() {
        makeSource(50000);
        QVERIFY(QDir().mkpath(out));
        const QString link = out + "/src.bin.002";
        QVERIFY(QFile::link(source, link));
        split(0, "20000", out);
        checkError(ui->errors, 1, link, "same file");
        QVERIFY(ui->errors[0].contains(source));
        QCOMPARE(entries(out), QStringList{"src.bin.002"});
        click(f->splitPanel->splitCancelButton);
        QVERIFY(QFile::remove(link));
        QVERIFY(::link(QFile::encodeName(source).constData(),
                       QFile::encodeName(link).constData()) == 0);
        split(0, "20000", out);
        checkError(ui->errors, 2, link, "same file");
        QCOMPARE(entries(out), QStringList{"src.bin.002"});
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(readFile(source), original);
    }

    // The destination folder is removed after it was chosen: the volume can't
    // be measured, so the split is refused naming the folder; the folder is
    // not created again and nothing is written anywhere.
    void destinationRemoved() {
        makeSource(50000);
        QVERIFY(QDir().mkpath(out));
        setFreeSpaceQuery({}); // the real query
        prepare(1, "20", out);
        QVERIFY(QDir(out).removeRecursively());
        click(f->splitPanel->splitButton);
        QCOMPARE(ui->reports, (QList<QStringList>{{" ", " ", " ",
                                                   "There is Not enough Free Space on drive  " +
                                                       out + "/  to complete operation"}}));
        QCOMPARE(ui->errors, QStringList());
        QCOMPARE(entries(tmp->path()), QStringList{"src.bin"});
        QVERIFY(!f->splitPanel->splitCancelButton->isEnabled());
        QCOMPARE(navigation(f), AllOn);
        claimRoom();
        goodSplitStillWorks();
    }

    // A read-only destination: the first part can't be created; the error
    // names it and the reason, and Cancel leaves the panel working.
    void readOnlyDestination() {
        TFS_MOUNT_OR_SKIP(fs, 256 * 1024);
        const QString why = remountReadOnly(fs);
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        makeSource(50000);
        split(1, "20", fs.path());
        checkError(ui->errors, 1, fs.path() + "src.bin.001", "Read-only file system");
        QCOMPARE(entries(fs.path()), QStringList());
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(navigation(f), AllOn);
        goodSplitStillWorks();
    }

    // Part sizes at their limits: 1 byte (300 parts, ordinals past 100
    // included), exactly the file size (nothing to split), and a size that
    // overflows 64 bits once multiplied by the unit (an error, no parts).
    void partSizeLimits() {
        makeSource(300);
        QVERIFY(QDir().mkpath(out));
        prepare(0, "1", out);
        QCOMPARE(f->splitPanel->partCountField->text(), QString("300"));
        click(f->splitPanel->splitButton);
        QCOMPARE(ui->errors, QStringList());
        QCOMPARE(f->splitPanel->state().SplitPartPaths.size(), 300);
        QCOMPARE(fileNameOf(f->splitPanel->state().SplitPartPaths[100]), QString("src.bin.0101"));
        QCOMPARE(concat(f->splitPanel->state().SplitPartPaths), original);
        QCOMPARE(entries(out).size(), 303); // with the list and the check files
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(out), QStringList());

        // Exactly the file size, in bytes and in kilobytes.
        makeSource(8192);
        for (const auto& [unit, size] : {std::pair{0, "8192"}, std::pair{1, "8"}}) {
            split(unit, size, out);
            QCOMPARE(ui->reports.last(),
                     Blank3 + QStringList{"As a Result You will have identical file"});
            QCOMPARE(entries(out), QStringList());
            click(f->splitPanel->splitMainButton); // only Main is left; it enables the rest
            click(f->startPanel->splitPageButton);
        }

        // 9,000,000,000 bytes of a 10 GiB file, then the unit changed to
        // gigabytes: the product overflows.
        const QString big = tmp->filePath("big.bin");
        {
            QFile b(big);
            QVERIFY(b.open(QIODevice::WriteOnly) && b.resize(10LL << 30)); // sparse
        }
        load(big);
        f->splitPanel->unitBox->setCurrentIndex(0);
        QTest::keyClicks(f->splitPanel->partSizeField, "9000000000");
        QCOMPARE(ui->errors, QStringList());
        f->splitPanel->unitBox->setCurrentIndex(3);
        QCOMPARE(ui->errors.size(), 1);
        QVERIFY2(ui->errors[0].contains("overflow") && ui->errors[0].contains("9000000000"),
                 qPrintable(ui->errors[0]));
        click(f->splitPanel->splitButton);
        QCOMPARE(ui->reports.last(), Blank3 + QStringList{"Part Size is bigger then File"});
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(tmp->path()), (QStringList{"big.bin", "out", "src.bin"}));
        QVERIFY(QFile::remove(big));
        goodSplitStillWorks();
    }
};

TFS_UI_TEST_MAIN(TestFaultsSplit)
#include "tst_faults_split.moc"
