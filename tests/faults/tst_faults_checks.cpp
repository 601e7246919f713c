// SPDX-License-Identifier: GPL-3.0-or-later
// Check files through the window: the split and the presets write .sfv and
// .crc beside the part list and Undo takes them with it (never a check file
// that isn't ours); the join checks every part named by an .sfv and the
// joined file named by a .crc, names a damaged part with both CRC-32 values,
// keeps the joined bytes under a hidden name until the user keeps or removes
// them, asks about parts that an .sfv names but that are missing, and goes on
// unchecked past a check file it can't use.
#include "common/FaultUtil.h"
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "parts/Naming.h"
#include "verify/CheckFiles.h"
#include "verify/Crc32.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tfs;

using namespace testutil;
using namespace faults;

namespace {

constexpr int PartSize = 30000;
const QStringList CompletedWithoutList{"", "", "              Joining completed,", "  ",
                                       "         Check.txt not availiable"};

quint32 crcOf(const QByteArray& bytes) { return zlibCrc32(bytes); }

QByteArray partBytes(int ordinal) { return patternBytes(PartSize, quint32(ordinal)); }

// The .sfv of parts 1..count of movie.avi as they are made below.
QByteArray sfvOfParts(int count) {
    QList<SfvEntry> entries;
    for (int i = 1; i <= count; ++i)
        entries.append({"movie.avi." + digitsOf(i), crcOf(partBytes(i))});
    return sfvBytes(entries);
}

QByteArray crcOfParts(int count, qint64 size) {
    QByteArray whole;
    for (int i = 1; i <= count; ++i)
        whole += partBytes(i);
    return crcFileBytes("movie.avi", size < 0 ? whole.size() : size, crcOf(whole));
}

} // namespace

class TestFaultsChecks : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString parts; // the set's folder, "/" at the end

    QString part(int ordinal) const { return parts + "movie.avi." + digitsOf(ordinal); }

    // The check files a split of `source` into `out` must leave, from the parts' bytes.
    void checkSplitChecks(const QString& source, const QString& out, int count) {
        const QString name = fileNameOf(source);
        QList<SfvEntry> entries;
        for (int i = 1; i <= count; ++i) {
            const QString partName = name + "." + digitsOf(i);
            entries.append({partName, crcOf(readFile(out + partName))});
        }
        QCOMPARE(readFile(out + name + ".sfv"), sfvBytes(entries));
        const QByteArray whole = readFile(source);
        QCOMPARE(readFile(out + name + ".crc"), crcFileBytes(name, whole.size(), crcOf(whole)));
    }

private slots:
    void init() {
        parts = freshPartsFolder(tmp);
        QVERIFY(!parts.isEmpty());
        setFreeSpaceQuery([](const QString&) { return 1e15; });
    }

    // A split from the Split panel and from a preset writes both check files
    // beside the list; Undo removes them with the parts and the list. Check
    // files of those names that aren't ours are neither replaced nor removed.
    void splitWritesAndUndoRemoves_data() {
        QTest::addColumn<bool>("preset");
        QTest::addColumn<bool>("foreign");
        QTest::newRow("split panel") << false << false;
        QTest::newRow("split panel, foreign check files") << false << true;
        QTest::newRow("preset 1.2 MB") << true << false;
        QTest::newRow("preset 1.2 MB, foreign check files") << true << true;
    }
    void splitWritesAndUndoRemoves() {
        QFETCH(bool, preset);
        QFETCH(bool, foreign);
        const QString source = tmp->path() + "/src.bin";
        makeFile(source, 2080000, 7);
        const QByteArray foreignSfv = "other.iso 12345678\r\n";
        const QByteArray foreignCrc = "filename=other.iso\r\nsize=1\r\ncrc32=12345678\r\n";
        if (foreign) {
            writeFile(parts + "src.bin.sfv", foreignSfv);
            writeFile(parts + "src.bin.crc", foreignCrc);
        }
        Ui ui;
        MainWindow* f = ui.form.get();
        if (preset) {
            f->showPresetsPage();
            ui.fileAnswers << source;
            ui.folderAnswers << parts;
            click(f->presetsPanel->floppy12Button);
        } else {
            f->showSplitPage();
            testutil::prepareSplit(ui, source, 2, "1", parts); // 1 Megabyte
            click(f->splitPanel->splitButton);
        }
        QCOMPARE(ui.errors, QStringList());
        const int count = 2; // 1.2 MB or 1 MB parts of 2,080,000 bytes
        QCOMPARE(filesIn(parts), (QStringList{"src.bin.001", "src.bin.002", "src.bin.crc",
                                              "src.bin.sfv", "src.bin.txt"}));
        if (foreign) {
            QCOMPARE(readFile(parts + "src.bin.sfv"), foreignSfv);
            QCOMPARE(readFile(parts + "src.bin.crc"), foreignCrc);
        } else {
            checkSplitChecks(source, parts, count);
        }
        click(preset ? f->presetsPanel->presetsCancelButton
                     : f->splitPanel->splitCancelButton); // Undo
        const QStringList left =
            foreign ? QStringList{"src.bin.crc", "src.bin.sfv"} : QStringList();
        QCOMPARE(filesIn(parts), left);
    }

    // A new split of the same name takes the earlier split's check files
    // with its list when its first part is written: cancelled, it leaves none
    // that would name parts it replaced.
    void resplitCancelledLeavesNoStaleChecks() {
        const QString source = tmp->path() + "/src.bin";
        makeFile(source, 2080000, 7);
        Ui ui;
        MainWindow* f = ui.form.get();
        f->showSplitPage();
        testutil::prepareSplit(ui, source, 2, "1", parts); // 1 Megabyte
        click(f->splitPanel->splitButton);
        QCOMPARE(filesIn(parts).size(), 5);
        f->splitPanel->unitBox->setCurrentIndex(1); // 1 Kilobyte parts
        during(
            f, [f] { return f->splitPanel->splitGauge->progress() > 0; },
            [f] { click(f->splitPanel->splitCancelButton); });
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.errors, QStringList());
        // (The earlier split's part 002, which the cancelled one didn't reach, stays.)
        QCOMPARE(filesIn(parts).filter(QRegularExpression("\\.(txt|sfv|crc)$")), QStringList());
    }

    // Joins of a three-part set with check files beside it: what the user is
    // told, and what is left under the output name.
    void joinChecks_data() {
        QTest::addColumn<QByteArray>("sfv");    // empty: none
        QTest::addColumn<QByteArray>("crc");    // empty: none
        QTest::addColumn<int>("damaged");       // a part changed after the check files were made
        QTest::addColumn<QString>("choice");    // the answer to a failed check
        QTest::addColumn<QStringList>("shown"); // lines of the last report, "..." for any
        QTest::addColumn<bool>("output");       // whether the joined file is there afterwards

        const QByteArray sfv = sfvOfParts(3), crc = crcOfParts(3, -1);
        const QString passed = "     CRC-32 checked: 3 of 3 parts";
        QTest::newRow("sfv and crc pass")
            << sfv << crc << 0 << "" << (CompletedWithoutList + QStringList{passed}) << true;
        QTest::newRow("crc alone passes")
            << QByteArray() << crc << 0 << ""
            << (CompletedWithoutList + QStringList{"     CRC-32 checked: joined file"}) << true;
        const quint32 expected = crcOf(partBytes(2));
        QByteArray bad = partBytes(2);
        bad[100] = char(bad[100] ^ 0x20);
        const QStringList damaged{"   CRC-32 check failed:", "   movie.avi.002 is damaged:",
                                  "   expected " + crcHex(expected) + ", read " +
                                      crcHex(crcOf(bad))};
        QTest::newRow("damaged part, kept")
            << sfv << QByteArray() << 2 << "Keep"
            << (damaged + QStringList{"   Keep the joined file?"}) << true;
        QTest::newRow("damaged part, removed")
            << sfv << QByteArray() << 2 << "Remove"
            << (damaged + QStringList{"   Keep the joined file?"}) << false;
        QTest::newRow("damaged part, dialog closed")
            << sfv << QByteArray() << 2 << "" << (damaged + QStringList{"   Keep the joined file?"})
            << false;
        QTest::newRow("crc differs")
            << QByteArray() << crcFileBytes("movie.avi", 3 * PartSize, 0x12345678) << 0 << "Remove"
            << QStringList{"   CRC-32 check failed:", "   The joined file's CRC-32 differs:", "...",
                           "   Keep the joined file?"}
            << false;
        QTest::newRow("size differs")
            << QByteArray() << crcOfParts(3, 3 * PartSize + 1) << 0 << "Keep"
            << QStringList{"   CRC-32 check failed:", "   The joined file's size differs:",
                           QString("   expected %1, joined %2")
                               .arg(3 * PartSize + 1)
                               .arg(3 * PartSize),
                           "   Keep the joined file?"}
            << true;
        QTest::newRow("sfv climbing out: unchecked")
            << QByteArray("../movie.avi.001 00000000\r\n") << QByteArray() << 0 << ""
            << (CompletedWithoutList +
                QStringList{"   movie.avi.sfv not checked: line 1 names no file here"})
            << true;
        QTest::newRow("crc of another file: unchecked")
            << QByteArray() << QByteArray("filename=x\r\nsize=1\r\ncrc32=00000000\r\n") << 0 << ""
            << (CompletedWithoutList +
                QStringList{"   movie.avi.crc not checked: names another file"})
            << true;
        QTest::newRow("garbage sfv, good crc")
            << patternBytes(5000, 3) << crc << 0 << ""
            << (CompletedWithoutList + QStringList{"     CRC-32 checked: joined file", "..."})
            << true;
    }
    void joinChecks() {
        QFETCH(QByteArray, sfv);
        QFETCH(QByteArray, crc);
        QFETCH(int, damaged);
        QFETCH(QString, choice);
        QFETCH(QStringList, shown);
        QFETCH(bool, output);
        QByteArray whole;
        for (int i = 1; i <= 3; ++i) {
            QByteArray bytes = partBytes(i);
            if (i == damaged) bytes[100] = char(bytes[100] ^ 0x20);
            writeFile(part(i), bytes);
            whole += bytes;
        }
        if (!sfv.isEmpty()) writeFile(parts + "movie.avi.sfv", sfv);
        if (!crc.isEmpty()) writeFile(parts + "movie.avi.crc", crc);
        const auto before = snapshot(parts);

        Ui ui;
        MainWindow* f = ui.form.get();
        QStringList duringDecision;
        ui.answer = [&](ReportDialog* d) {
            if (d->okButton->isVisible()) return Ui::press(d, "okButton");
            duringDecision = entries(parts); // hidden ones too
            if (choice == "Keep")
                Ui::press(d, "joinAnywayButton");
            else if (choice == "Remove")
                Ui::press(d, "abortButton");
        };
        click(f->startPanel->joinPageButton);
        ui.fileAnswers << part(2);
        click(f->joinPanel->loadPartButton);
        click(f->joinPanel->joinButton);

        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports.size(), 1);
        const QStringList last = ui.reports.last();
        QCOMPARE(last.size(), shown.size());
        for (int i = 0; i < shown.size(); ++i)
            if (shown.at(i) != "...") QCOMPARE(last.at(i), shown.at(i));
        if (!duringDecision.isEmpty()) {
            // Until the user decides, nothing is under the output name.
            QVERIFY2(!duringDecision.contains("movie.avi"), qPrintable(duringDecision.join(", ")));
            QCOMPARE(duringDecision.size(), before.size() + 1); // the hidden file
        }
        auto after = snapshot(parts);
        QCOMPARE(after.contains("movie.avi"), output);
        if (output) QCOMPARE(after.take("movie.avi"), whole);
        QCOMPARE(after, before); // the parts and check files untouched, nothing hidden left
        QCOMPARE(f->joinPanel->joinUndoButton->isVisible(), output); // Undo of a kept join
    }

    // Parts that an .sfv names but that are missing lead to the missing-parts
    // question; "Join Anyway" joins and checks the parts that are there.
    void sfvNamesMissingParts() {
        for (int i = 1; i <= 3; ++i)
            writeFile(part(i), partBytes(i));
        writeFile(parts + "movie.avi.sfv", sfvOfParts(5));
        QVERIFY(QFile::remove(part(3)));
        Ui ui;
        MainWindow* f = ui.form.get();
        ui.answer = [](ReportDialog* d) {
            Ui::press(d, d->okButton->isVisible() ? "okButton" : "joinAnywayButton");
        };
        click(f->startPanel->joinPageButton);
        ui.fileAnswers << part(1);
        click(f->joinPanel->loadPartButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports.size(), 2);
        QCOMPARE(ui.reports.first(),
                 (QStringList{"        ", "             Missing Files:", "movie.avi.003 ",
                              "movie.avi.004 ", "movie.avi.005 "}));
        QCOMPARE(ui.reports.last(),
                 CompletedWithoutList + QStringList{"     CRC-32 checked: 2 of 2 parts"});
        QCOMPARE(readFile(parts + "movie.avi"), partBytes(1) + partBytes(2));
    }
};

TFS_UI_TEST_MAIN(TestFaultsChecks)
#include "tst_faults_checks.moc"
