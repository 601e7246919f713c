// SPDX-License-Identifier: GPL-3.0-or-later
// The presets panel driven through the real window: the size check at each
// medium's exact size, the report lines, cancelled dialogs, a finished split
// with its list and Undo, Cancel during a split, closing the window during a
// split, the hover outline and the folder picture, and one real split of a
// file just over 4 GiB at the "Fat32" size.
#include "common/PanelDriver.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "presets/Presets.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
#include <QtTest>

using namespace tfs;

using namespace testutil;

namespace {

constexpr qint64 Size12 = 0x133333; // the "1.2 MB" preset

QByteArray listBytes(const QStringList& names) {
    QByteArray out;
    for (const QString& n : names)
        out += n.toUtf8() + "\r\n";
    return out;
}

} // namespace

class TestPresets : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString src, dst;

    // The real window with the presets panel open.
    static void openPanel(Ui& ui) { QVERIFY(openPage(ui.form.get(), 5)->isVisible()); }

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        src = tmp.path() + "/src/";
        dst = tmp.path() + "/dst/";
        QDir(src).removeRecursively();
        QDir(dst).removeRecursively();
        QDir().mkpath(src);
        QDir().mkpath(dst);
    }

    // The table against the media's byte counts in hexadecimal, the buttons'
    // captions, and the two sizes that need more than 32 bits.
    void presetTable() {
        const QList<qint64> hex{0x133333,   0x164000,   0x2E147A,   0x5FC8000,     0xFA00000,
                                0x28A00000, 0x2BC00000, 0x32000000, 0x118244F00LL, 0xFFFFFFFELL};
        QCOMPARE(mediaPresets().size(), hex.size());
        Ui ui;
        const QList<QWidget*> buttons = presetButtonsAndMain(ui.form.get());
        for (int i = 0; i < hex.size(); ++i) {
            QCOMPARE(mediaPresets()[i].partSize, hex[i]);
            QCOMPARE(static_cast<QAbstractButton*>(buttons[i])->text(), mediaPresets()[i].caption);
            QCOMPARE(mediaPresetOfSize(hex[i]), &mediaPresets()[i]);
        }
        QCOMPARE(mediaPresets()[8].partSize, Q_INT64_C(4700000000));
        QCOMPARE(mediaPresets()[9].partSize, Q_INT64_C(4294967294));
        // A source of 2^32 - 1 bytes fills the "Fat32" medium and one byte more.
        const qint64 fat32 = mediaPresets()[9].partSize;
        QVERIFY(fillsMedium(fat32, fat32));
        QVERIFY(!fillsMedium(fat32 - 1, fat32));
        QCOMPARE((Q_INT64_C(4294967295) + fat32 - 1) / fat32, 2);
        QCOMPARE(Q_INT64_C(4294967295) - fat32, 1);
        QVERIFY(!fillsMedium(Q_INT64_C(4699999999), mediaPresets()[8].partSize));
    }

    // A source one byte short of the medium shows the preset's lines and asks
    // for no folder; one of exactly its size goes on to the folder dialog.
    void sizeCheckAtTheMediumsSize_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("1.2 MB") << "floppy12Button" << qint64(0x133333)
                                << QStringList{"  ", "  ", "  ",
                                               "     File is smaller  then 1.2MB Floppy"};
        QTest::newRow("1.44MB") << "floppy144Button" << qint64(0x164000)
                                << QStringList{"  ", "  ", "               File is smaller then",
                                               "  ", "        Standard Formated Floppy"};
        QTest::newRow("2.88MB") << "floppy288Button" << qint64(0x2E147A)
                                << QStringList{"  ", "  ", "  ",
                                               "    File is smaller  then 2.88MB Floppy"};
        QTest::newRow("100") << "zip100Button" << qint64(0x5FC8000)
                             << QStringList{"   ", " ", "               File is smaller then", " ",
                                            "               Zip- 100 standard"};
        QTest::newRow("250") << "zip250Button" << qint64(0xFA00000)
                             << QStringList{"   ", "   ", "             File is smaller then",
                                            "   ", "             Zip- 250 standard"};
        QTest::newRow("650MB") << "cd650Button" << qint64(0x28A00000)
                               << QStringList{"   ", "   ", "   ",
                                              "  File is smaller  then CD-650 standard"};
        QTest::newRow("700MB") << "cd700Button" << qint64(0x2BC00000)
                               << QStringList{"   ", "   ", "            File is smaller  then",
                                              "   ", "            Standard 700 MB CD"};
        QTest::newRow("800MB") << "cd800Button" << qint64(0x32000000)
                               << QStringList{"   ", "   ", "   ",
                                              "      File is smaller  then 800-MB CD"};
        QTest::newRow("DVD") << "dvdButton" << qint64(0x118244F00LL)
                             << QStringList{"  ", "  ", "  ",
                                            "      File is smaller  then 4.7 GB DVD"};
        QTest::newRow("Fat32") << "fat32Button" << qint64(0xFFFFFFFELL)
                               << QStringList{"  ", "  ", "              File is smaller  then ",
                                              "  ", "             Max Fat32 File Size"};
    }
    void sizeCheckAtTheMediumsSize() {
        QFETCH(QString, button);
        QFETCH(qint64, size);
        QFETCH(QStringList, lines);
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        auto* b = f->findChild<PictureButton*>(button);
        const QString shortSource = src + "short.bin";
        const QString exactSource = src + "exact.bin";
        QVERIFY(makeSparse(shortSource, size - 1));
        QVERIFY(makeSparse(exactSource, size));

        runPreset(ui, b, shortSource, dst);
        QCOMPARE(ui.reports, QList<QStringList>{lines});
        QCOMPARE(ui.fileDialogTitles, QStringList{"Select File to Split"});
        QVERIFY(ui.folderDialogTitles.isEmpty());
        QCOMPARE(f->presetsPanel->state().PresetPartSize, size);
        QCOMPARE(f->presetsPanel->state().SourceFilePath, shortSource);
        QCOMPARE(f->joinPanel->state().JoinOutputPath, QString()); // the join page's own

        ui.fileAnswers = {exactSource};
        ui.folderAnswers.clear(); // the folder dialog is cancelled
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(ui.folderDialogTitles,
                 QStringList{"Browse for Folder to store Your Splited Files"});

        QVERIFY(ui.errors.isEmpty());
        QVERIFY(filesIn(dst).isEmpty());
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);
        QVERIFY(allEnabled(presetButtonsAndMain(f)));
    }

    // Either dialog cancelled: nothing written, the size forgotten, Cancel
    // disabled; "Undo" is named again only while an earlier list is there.
    // The "DVD" and "Fat32" presets leave the hint label as it is.
    void cancelledDialogs() {
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        makeFile(src + "a.bin", Size12 + 10);

        f->presetsPanel->state().SourceFileSize = 12345;
        runPreset(ui, f->presetsPanel->floppy12Button, QString(), dst);
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);
        QVERIFY(ui.folderDialogTitles.isEmpty());
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));

        runPreset(ui, f->presetsPanel->floppy12Button, src + "a.bin", QString());
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);
        QVERIFY(filesIn(dst).isEmpty());
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));

        f->presetsPanel->presetsHint->setVisible(false);
        runPreset(ui, f->presetsPanel->dvdButton, QString(), dst);
        QVERIFY(!f->presetsPanel->presetsHint->isVisible());
        runPreset(ui, f->presetsPanel->floppy12Button, QString(), dst);
        QVERIFY(f->presetsPanel->presetsHint->isVisible());

        // After a finished split its list makes the caption "Undo" again, but
        // the button stays disabled: this run forgot the parts.
        runPreset(ui, f->presetsPanel->floppy12Button, src + "a.bin", dst);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        runPreset(ui, f->presetsPanel->floppy12Button, QString(), dst);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(filesIn(dst),
                 (QStringList{"a.bin.001", "a.bin.002", "a.bin.crc", "a.bin.sfv", "a.bin.txt"}));
        QVERIFY(ui.reports.isEmpty());
        QVERIFY(ui.errors.isEmpty());
    }

    // The smallest preset on a small file: parts of the medium's size, the
    // list, "Undo", the folder picture; then Undo removes all of it.
    void finishedSplitAndUndo() {
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        QVERIFY(!f->presetsPanel->presetsDestinationPicture->isEnabled());
        const QString source = src + "movie.avi";
        makeFile(source, 3 * Size12 + 1000);

        runPreset(ui, f->presetsPanel->floppy12Button, source, dst.chopped(1));
        QVERIFY(ui.errors.isEmpty());
        QVERIFY(ui.reports.isEmpty());
        const QStringList names{"movie.avi.001", "movie.avi.002", "movie.avi.003", "movie.avi.004"};
        QCOMPARE(filesIn(dst),
                 (names + QStringList{"movie.avi.crc", "movie.avi.sfv", "movie.avi.txt"}));
        QStringList parts;
        for (const QString& n : names)
            parts << dst + n;
        QCOMPARE(QFileInfo(parts[0]).size(), Size12);
        QCOMPARE(QFileInfo(parts[3]).size(), 1000);
        QCOMPARE(concat(parts), readFile(source));
        QCOMPARE(readFile(dst + "movie.avi.txt"), listBytes(names));
        QCOMPARE(f->presetsPanel->state().SplitDestFolder, dst);
        QCOMPARE(f->presetsPanel->state().PresetListBase, dst + "movie.avi");
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        QVERIFY(f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(f->presetsPanel->presetsGauge->progress(), 100);
        QCOMPARE(f->splitPanel->splitGauge->progress(), 0); // it follows the split page's splits
        QVERIFY(!f->presetsPanel->presetsHint->isVisible());
        QVERIFY(allEnabled(presetButtonsAndMain(f)));

        // The folder picture opens the destination; pressing it nudges it.
        QVERIFY(f->presetsPanel->presetsDestinationPicture->isEnabled());
        const QPoint at = f->presetsPanel->presetsDestinationPicture->pos();
        QTest::mousePress(f->presetsPanel->presetsDestinationPicture, Qt::LeftButton);
        QCOMPARE(f->presetsPanel->presetsDestinationPicture->pos(), at + QPoint(1, 1));
        QTest::mouseRelease(f->presetsPanel->presetsDestinationPicture, Qt::LeftButton);
        QCOMPARE(f->presetsPanel->presetsDestinationPicture->pos(), at);
        QCOMPARE(ui.opened, QList<QUrl>{QUrl::fromLocalFile(dst)});

        // A part that the user removed meanwhile is no error for Undo.
        QFile::remove(parts[1]);
        QTest::mouseClick(f->presetsPanel->presetsCancelButton, Qt::LeftButton);
        QVERIFY(ui.errors.isEmpty());
        QVERIFY(filesIn(dst).isEmpty());
        QVERIFY(QFileInfo::exists(source));
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QVERIFY(!f->presetsPanel->presetsDestinationPicture->isEnabled());
        QCOMPARE(f->presetsPanel->presetsGauge->progress(), 0);
        QVERIFY(f->presetsPanel->presetsHint->isVisible());
        QVERIFY(allEnabled(presetButtonsAndMain(f)));

        // Main leaves the panel; opening it again starts fresh.
        QTest::mouseClick(f->presetsPanel->presetsMainButton, Qt::LeftButton);
        QVERIFY(f->startPanel->isVisible() && !f->presetsPanel->isVisible());
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));
    }

    // Cancel during a split stops only that split: none of its files remain,
    // the earlier split's set beside it stays whole, and the preset buttons
    // stay disabled until the command has ended. A refused split writes no
    // list either.
    void cancelAndRefusalKeepTheEarlierSet() {
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        makeFile(src + "first.bin", 2 * Size12);
        makeFile(src + "second.bin", 5 * Size12, 2);
        runPreset(ui, f->presetsPanel->floppy12Button, src + "first.bin", dst);
        const QStringList earlier{"first.bin.001", "first.bin.002", "first.bin.crc",
                                  "first.bin.sfv", "first.bin.txt"};
        QCOMPARE(filesIn(dst), earlier);
        const QByteArray earlierPart = readFile(dst + "first.bin.001");

        bool buttonsHeldDuringSplit = false;
        during(
            f, [f] { return f->presetsPanel->state().SplitPartPaths.size() == 2; },
            [&] {
                QTest::mouseClick(f->presetsPanel->presetsCancelButton, Qt::LeftButton);
                buttonsHeldDuringSplit = !f->presetsPanel->floppy12Button->isEnabled() &&
                                         !f->presetsPanel->presetsMainButton->isEnabled();
            });
        runPreset(ui, f->presetsPanel->floppy12Button, src + "second.bin", dst);
        QVERIFY(buttonsHeldDuringSplit);
        QCOMPARE(f->presetsPanel->state().SplitCancelFlag, 1);
        QCOMPARE(filesIn(dst), earlier);
        QCOMPARE(readFile(dst + "first.bin.001"), earlierPart);
        QCOMPARE(f->presetsPanel->presetsGauge->progress(), 0);
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Cancel"));
        QVERIFY(allEnabled(presetButtonsAndMain(f)));

        setFreeSpaceQuery([](const QString&) { return 1000.0; });
        runPreset(ui, f->presetsPanel->floppy12Button, src + "second.bin", dst);
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(ui.reports[0].size(), 4);
        QVERIFY(ui.reports[0][3].startsWith("There is Not enough Free Space on drive  "));
        QCOMPARE(filesIn(dst), earlier);
        QVERIFY(!f->presetsPanel->presetsCancelButton->isEnabled());
        QVERIFY(ui.errors.isEmpty());
    }

    // Closing the window during a preset split runs the split panel's and
    // then the panel's Cancel: no file of that split remains. Closing during
    // a split that isn't a preset's, or after a finished preset split, leaves
    // every finished preset set in place.
    void closingTheWindow() {
        makeFile(src + "first.bin", 2 * Size12);
        makeFile(src + "second.bin", 5 * Size12, 2);
        const QStringList earlier{"first.bin.001", "first.bin.002", "first.bin.crc",
                                  "first.bin.sfv", "first.bin.txt"};
        {
            Ui ui;
            MainWindow* f = ui.form.get();
            openPanel(ui);
            runPreset(ui, f->presetsPanel->floppy12Button, src + "first.bin", dst);
            QCOMPARE(filesIn(dst), earlier);
            during(
                f,
                [f] {
                    return f->presetsPanel->presetsGauge->progress() > 0 &&
                           f->presetsPanel->presetsGauge->progress() < 100;
                },
                [f] { f->close(); });
            runPreset(ui, f->presetsPanel->floppy12Button, src + "second.bin", dst);
            QVERIFY(!f->isVisible());
            QCOMPARE(filesIn(dst), earlier);
            QVERIFY(ui.errors.isEmpty());
        }
        {
            // A close request during a split of the split page stops that
            // split, and the presets page's finished set stays.
            Ui ui;
            MainWindow* f = ui.form.get();
            openPanel(ui);
            runPreset(ui, f->presetsPanel->floppy12Button, src + "first.bin", dst);
            QTest::mouseClick(f->presetsPanel->presetsMainButton, Qt::LeftButton);
            during(
                f,
                [f] {
                    const int progress = f->splitPanel->splitGauge->progress();
                    return progress > 0 && progress < 100;
                },
                [f] { f->close(); });
            QDir().mkpath(dst + "other");
            f->splitPanel->state().SplitPartPaths.clear();
            f->splitPanel->state().SplitDestFolder = dst + "other/";
            f->splitPanel->state().SourceFilePath = src + "second.bin";
            f->splitPanel->state().SourceFileSize = 5 * Size12;
            f->guarded(
                [&] { f->splitPanel->runSplit(f->splitPanel->state().SourceFilePath, Size12); });
            QVERIFY(!f->isVisible());
            QCOMPARE(filesIn(dst), earlier);
            QVERIFY(filesIn(dst + "other").isEmpty());
        }
        {
            Ui ui;
            MainWindow* f = ui.form.get();
            openPanel(ui);
            runPreset(ui, f->presetsPanel->floppy12Button, src + "first.bin", dst);
            f->close();
            QCOMPARE(filesIn(dst), earlier);
        }
    }

    // A source that can't be opened: the error reaches the message box and the
    // panel works again.
    void unreadableSource() {
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        runPreset(ui, f->presetsPanel->fat32Button, src + "missing.bin", dst);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY(ui.errors[0].contains("missing.bin"));
        QVERIFY(allEnabled(presetButtonsAndMain(f)));
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);
        QVERIFY(ui.folderDialogTitles.isEmpty());
    }

    // A part size typed on the Split panel that is larger than the source
    // refuses the preset split; once the field is emptied it counts no more.
    void splitPanelPartSize() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QString big = src + "big.bin";
        const QString source = src + "small.bin";
        makeFile(big, 3 * 1048576);
        makeFile(source, 1500000);
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        ui.fileAnswers = {big};
        QTest::mouseClick(f->splitPanel->loadSourceButton, Qt::LeftButton);
        QTest::keyClicks(f->splitPanel->partSizeField, "2");
        QCOMPARE(f->splitPanel->partSizeField->text(), QString("2"));
        QCOMPARE(f->splitPanel->unitBox->currentText(), QString("Megabytes"));
        QTest::mouseClick(f->splitPanel->splitMainButton, Qt::LeftButton);
        openPanel(ui);

        runPreset(ui, f->presetsPanel->floppy12Button, source, dst);
        QCOMPARE(ui.reports, (QList<QStringList>{{"", "", "Part Size is bigger then File"}}));
        QVERIFY(filesIn(dst).isEmpty());
        QCOMPARE(f->presetsPanel->state().SourceFileSize, 0);

        f->splitPanel->partSizeField->clear();
        runPreset(ui, f->presetsPanel->floppy12Button, source, dst);
        QCOMPARE(ui.reports.size(), 1);
        QCOMPARE(filesIn(dst), (QStringList{"small.bin.001", "small.bin.002", "small.bin.crc",
                                            "small.bin.sfv", "small.bin.txt"}));
        QVERIFY(ui.errors.isEmpty());
    }

    // The hover outline frames whichever preset button the pointer is over.
    void hoverOutline() {
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        QVERIFY(!f->presetsPanel->presetOutline->isVisible());
        for (QWidget* b : {static_cast<QWidget*>(f->presetsPanel->floppy144Button),
                           static_cast<QWidget*>(f->presetsPanel->fat32Button)}) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QCoreApplication::sendEvent(b, &enter);
            QCOMPARE(f->presetsPanel->presetOutline->geometry(),
                     b->geometry().adjusted(-1, -1, 1, 1));
            QVERIFY(f->presetsPanel->presetOutline->isVisible());
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(b, &leave);
            QVERIFY(!f->presetsPanel->presetOutline->isVisible());
        }
    }

    // "Fat32" on a sparse source of 2^32 - 1 bytes: two parts, the second of
    // one byte. Needs about 4 GiB of real disk for the first part.
    void fat32SplitOfFourGiB() {
        const qint64 size = Q_INT64_C(4294967295);
        const QStorageInfo volume(tmp.path());
        if (volume.bytesAvailable() < Q_INT64_C(9000000000))
            QSKIP(qPrintable(QString("needs about 9 GB free in %1, has %2 bytes")
                                 .arg(tmp.path())
                                 .arg(volume.bytesAvailable())));
        const QString source = src + "big.img";
        QVERIFY(makeSparse(source, size));
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::ReadWrite));
            for (const qint64 at : {Q_INT64_C(0), Q_INT64_C(2147483648), size - 2, size - 1}) {
                f.seek(at);
                f.write(QByteArray(1, char(0x40 + at % 31)));
            }
        }
        Ui ui;
        MainWindow* f = ui.form.get();
        openPanel(ui);
        QElapsedTimer clock;
        clock.start();
        runPreset(ui, f->presetsPanel->fat32Button, source, dst);
        qInfo("Fat32 split of %lld bytes took %lld ms", size, clock.elapsed());
        QVERIFY(ui.errors.isEmpty());
        QCOMPARE(filesIn(dst), (QStringList{"big.img.001", "big.img.002", "big.img.crc",
                                            "big.img.sfv", "big.img.txt"}));
        QCOMPARE(QFileInfo(dst + "big.img.001").size(), Q_INT64_C(4294967294));
        QCOMPARE(readFile(dst + "big.img.002"), QByteArray(1, char(0x40 + (size - 1) % 31)));
        {
            QFile part(dst + "big.img.001");
            QVERIFY(part.open(QIODevice::ReadOnly));
            for (const qint64 at : {Q_INT64_C(0), Q_INT64_C(2147483648), size - 2}) {
                part.seek(at);
                QCOMPARE(part.read(1), QByteArray(1, char(0x40 + at % 31)));
            }
        }
        QCOMPARE(f->presetsPanel->presetsCancelButton->text(), QString("Undo"));
        QTest::mouseClick(f->presetsPanel->presetsCancelButton, Qt::LeftButton);
        QVERIFY(filesIn(dst).isEmpty());
        QFile::remove(source);
    }
};

TFS_UI_TEST_MAIN(TestPresets)
#include "tst_presets.moc"
