// SPDX-License-Identifier: GPL-3.0-or-later
// The destination's largest file: a FAT volume holds files of at most
// 4,294,967,295 bytes, so a split whose parts would be larger (the DVD preset,
// "5 Gigabytes") is refused before anything is written, in the report dialog,
// instead of failing half-way; parts up to the limit are accepted. A join whose
// output would be larger is refused the same way.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FileSystemLimits.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "split/SplitEngine.h"

#include <QPushButton>
#include <QtTest>

using namespace testutil;
using namespace faults;
using faults::FatVolume;

namespace {

constexpr qint64 GiB = 1073741824;

} // namespace

class TestFaultsLimits : public QObject {
    Q_OBJECT

private slots:
    // Which file systems limit a file, and when a split's parts exceed it:
    // the first part is the largest, so a source smaller than the part size
    // is judged by its own size.
    void refusalDecision_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<qint64>("source");
        QTest::addColumn<qint64>("part");
        QTest::addColumn<bool>("refused");
        const qint64 big = 6 * GiB;
        QTest::newRow("DVD preset on vfat") << "vfat" << big << 4700000000LL << true;
        QTest::newRow("5 Gigabytes on FAT32") << "FAT32" << big << 5 * GiB << true;
        QTest::newRow("one byte over the limit, fusefat")
            << "fuse.fusefat" << big << 4294967296LL << true;
        QTest::newRow("exactly the limit, msdos") << "msdos" << big << 4294967295LL << false;
        QTest::newRow("Fat32 preset") << "vfat" << big << 4294967294LL << false;
        QTest::newRow("whole source at the limit") << "vfat" << 4294967295LL << 5 * GiB << false;
        QTest::newRow("whole source one byte over") << "vfat" << 4294967296LL << 5 * GiB << true;
        for (const char* other : {"exfat", "ntfs", "fuseblk", "ext4", "tmpfs", "btrfs", ""})
            QTest::addRow("no limit on '%s'", other) << other << big << 5 * GiB << false;
    }
    void refusalDecision() {
        QFETCH(QString, type);
        QFETCH(qint64, source);
        QFETCH(qint64, part);
        QFETCH(bool, refused);
        const QStringList lines =
            oversizedPartRefusal(source, part, largestFileOfType(type), "/media/usb");
        if (!refused) {
            QCOMPARE(lines, QStringList());
            return;
        }
        QCOMPARE(lines, (QStringList{" ", " ", "     Parts of this size can not",
                                     "     be stored on drive", "     /media/usb",
                                     "     (largest file 4294967295 bytes)"}));
    }

    // On a real FAT32 volume, through the window: "5 Gigabytes", 4294967296
    // bytes and the DVD preset are refused with the report, Cancel disabled,
    // and the volume is left as it was: an earlier set there keeps its parts
    // and its list, and no list is written for the refused split (although an
    // earlier split in this window left its part names behind). A part size
    // of exactly 4294967295 bytes and the Fat32 preset start writing (each is
    // cancelled at its first block, which removes what it wrote).
    void refusedOnFatVolume() {
        FatVolume fat(8 * GiB); // a sparse image: it takes a few MiB
        if (!fat.ok()) QSKIP(qPrintable(fat.reason()));
        QTemporaryDir tmp;
        const QString source = tmp.filePath("big.bin");
        QVERIFY(testutil::makeSparse(source, 5400000000LL, {0, 4294967295LL}));
        const QString vol = fat.path() + "/";
        writeFile(vol + "big.bin.001", "earlier part");
        writeFile(vol + "big.bin.txt", "big.bin.001\r\n");
        const auto before = snapshot(fat.path());
        const QStringList refusal{" ",
                                  " ",
                                  "     Parts of this size can not",
                                  "     be stored on drive",
                                  "     " + fat.path(),
                                  "     (largest file 4294967295 bytes)"};

        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->splitPageButton);
        const QString small = tmp.filePath("small.bin");
        makeFile(small, 3000);
        testutil::prepareSplit(ui, small, 0, "1000", tmp.path());
        click(f->splitPanel->splitButton);
        QCOMPARE(f->splitPanel->state().SplitPartNames.size(), 3);

        const QList<QPair<int, QByteArray>> tooLarge{{3, "5"}, {0, "4294967296"}};
        for (const auto& [unit, size] : tooLarge) {
            ui.reports.clear();
            testutil::prepareSplit(ui, source, unit, size, fat.path());
            click(f->splitPanel->splitButton);
            QCOMPARE(ui.reports, QList<QStringList>{refusal});
            QVERIFY(!f->splitPanel->splitCancelButton->isEnabled());
            QVERIFY(f->splitPanel->splitButton->isEnabled());
            QCOMPARE(snapshot(fat.path()), before);
        }
        click(f->splitPanel->splitMainButton);
        click(f->startPanel->presetsPageButton);
        ui.reports.clear();
        ui.fileAnswers << source;
        ui.folderAnswers << fat.path();
        click(f->presetsPanel->dvdButton); // DVD
        QCOMPARE(ui.reports, QList<QStringList>{refusal});
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(snapshot(fat.path()), before);
        QCOMPARE(ui.errors, QStringList());

        // Accepted: each starts writing its first part, which Cancel removes.
        // (The earlier set's list went when that part was started: it no
        // longer described the parts there.)
        ui.reports.clear();
        int started = 0;
        const auto cancelAtFirstBlock = [&](QPushButton* cancel, const SplitState& state) {
            during(
                f,
                [&] {
                    return !state.SplitPartPaths.isEmpty() &&
                           state.SplitPartPaths[0].startsWith(vol);
                },
                [&, cancel] {
                    ++started;
                    // Part 1 is written under its hidden name until the split completes.
                    QCOMPARE(entries(fat.path()), QStringList{".big.bin.001.splitting"});
                    // The first turn comes after the first slice of the first block.
                    QCOMPARE(QFileInfo(vol + ".big.bin.001.splitting").size(), tfs::SplitSliceSize);
                    click(cancel);
                });
        };
        cancelAtFirstBlock(f->presetsPanel->presetsCancelButton, f->presetsPanel->state());
        ui.fileAnswers << source;
        ui.folderAnswers << fat.path();
        click(f->presetsPanel->fat32Button); // Fat32
        QCOMPARE(started, 1);
        QCOMPARE(entries(fat.path()), QStringList());

        click(f->presetsPanel->presetsMainButton);
        click(f->startPanel->splitPageButton);
        testutil::prepareSplit(ui, source, 0, "4294967295", fat.path());
        cancelAtFirstBlock(f->splitPanel->splitCancelButton, f->splitPanel->state());
        click(f->splitPanel->splitButton);
        QCOMPARE(started, 2);
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(entries(fat.path()), QStringList());
    }

    // A set of more than 4,294,967,295 bytes is refused before anything is
    // written to a FAT volume, with the report and the panel ready for another
    // destination; a set of exactly that size would be joined, and a small
    // set joins there.
    void joinRefusedOnFatVolume() {
        QCOMPARE(oversizedJoinRefusal(FatLargestFile, FatLargestFile, "/media/usb"), QStringList());
        FatVolume fat(8 * GiB);
        if (!fat.ok()) QSKIP(qPrintable(fat.reason()));
        QTemporaryDir tmp;
        const QString base = tmp.filePath("big.bin");
        QVERIFY(testutil::makeSparse(base + ".001", 2 * GiB, {0}));
        QVERIFY(testutil::makeSparse(base + ".002", 2 * GiB + 1, {0}));
        const QString vol = fat.path() + "/";
        writeFile(vol + "other.txt", "left alone");
        const auto before = snapshot(fat.path());

        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->joinPageButton);
        ui.fileAnswers << base + ".002";
        click(f->joinPanel->loadPartButton);
        ui.folderAnswers << fat.path();
        click(f->joinPanel->joinDestinationButton);
        QCOMPARE(f->joinPanel->state().JoinTotalSize, 4 * GiB + 1);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.reports, (QList<QStringList>{{" ", " ", "     The joined file can not",
                                                  "     be stored on drive", "     " + fat.path(),
                                                  "     (largest file 4294967295 bytes)"}}));
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(snapshot(fat.path()), before);
        QVERIFY(f->joinPanel->loadPartButton->isEnabled());
        QVERIFY(!f->joinPanel->joinCancelButton->isEnabled());

        const QStringList made = {tmp.filePath("small.bin.001"), tmp.filePath("small.bin.002")};
        writeFile(made[0], "first part, ");
        writeFile(made[1], "second part");
        ui.reports.clear();
        ui.fileAnswers << made[1];
        click(f->joinPanel->loadPartButton);
        ui.folderAnswers << fat.path();
        click(f->joinPanel->joinDestinationButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(ui.reports[0].last(), "         Check.txt not availiable");
        QCOMPARE(readFile(vol + "small.bin"), QByteArray("first part, second part"));
    }
};

TFS_UI_TEST_MAIN(TestFaultsLimits)
#include "tst_faults_limits.moc"
