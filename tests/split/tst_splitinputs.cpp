// SPDX-License-Identifier: GPL-3.0-or-later
// The split panel's inputs around a split: which buttons and fields a user can
// reach with no part size and while a split runs, Cancel/Undo of thousands of
// parts, and the number texts in locales with other digits and separators.
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/NumberText.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <ctime>

using namespace testutil;

namespace {

// Opens the split panel (with room to spare) and loads `source`.
MainWindow* openAndLoad(Ui& ui, const QString& source) {
    setFreeSpaceQuery([](const QString&) { return 1e15; });
    click(ui.form->startPanel->splitPageButton);
    ui.fileAnswers << source;
    click(ui.form->splitPanel->loadSourceButton);
    return ui.form.get();
}

// Split, Destination, Load, Main.
QList<bool> buttonsEnabled(MainWindow* f) {
    return {f->splitPanel->splitButton->isEnabled(), f->splitPanel->destinationButton->isEnabled(),
            f->splitPanel->loadSourceButton->isEnabled(),
            f->splitPanel->splitMainButton->isEnabled()};
}

// Counts the paintings of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

// This thread's processor time in milliseconds: the work done between two
// event-loop turns, however busy the rest of the machine is.
double workMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

class TestSplitInputs : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> tmp;

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Split and Destination follow the part size, whatever re-enables the panel
    // (Cancel/Undo, Main); the part size and the unit are locked while a split runs.
    void splitFollowsPartSize() {
        const QString source = tmp->filePath("src.bin");
        makeFile(source, 3 * 1048576);
        Ui ui;
        MainWindow* f = openAndLoad(ui, source);
        QTest::keyClicks(f->splitPanel->partSizeField, "1");
        QList<bool> lockedDuringSplit;
        during(
            f, [f] { return f->splitPanel->splitGauge->progress() > 0; },
            [&] {
                lockedDuringSplit = {f->splitPanel->partSizeField->isEnabled(),
                                     f->splitPanel->unitBox->isEnabled()};
            });
        click(f->splitPanel->splitButton);
        QCOMPARE(lockedDuringSplit, (QList<bool>{false, false}));
        QVERIFY(f->splitPanel->partSizeField->isEnabled() && f->splitPanel->unitBox->isEnabled());
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));

        // A refused part size empties the field; Undo then leaves Split and Destination off.
        QTest::keyClicks(f->splitPanel->partSizeField, "0");
        QVERIFY(f->splitPanel->partSizeField->text().isEmpty());
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(buttonsEnabled(f), (QList<bool>{false, false, true, true}));
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files), QStringList{"src.bin"});
        click(f->splitPanel->splitMainButton);
        QCOMPARE(buttonsEnabled(f), (QList<bool>{false, false, true, true}));
        QVERIFY(ui.errors.isEmpty());
    }

    // Undo of 3,000 parts: deleted in order, the gauge stepped down once, and
    // the event loop turning at least every 50 ms all along.
    void undoOfManyParts() {
        const int count = 3000;
        const QString source = tmp->filePath("src.bin");
        makeFile(source, count);
        Ui ui;
        MainWindow* f = openAndLoad(ui, source);
        f->splitPanel->unitBox->setCurrentIndex(0); // Bytes
        QTest::keyClicks(f->splitPanel->partSizeField, "1");
        click(f->splitPanel->splitButton);
        QCOMPARE(f->splitPanel->state().SplitPartPaths.size(), count);
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));

        PaintCounter counter;
        f->splitPanel->splitGauge->installEventFilter(&counter);
        double lastTurn = workMs(), longestWork = 0;
        bool inOrder = true;
        QTimer turns;
        turns.setInterval(1);
        connect(&turns, &QTimer::timeout, [&] {
            longestWork = std::max(longestWork, workMs() - lastTurn);
            // Every part still there comes after every part already gone.
            bool seenLeft = false;
            for (int i = 0; i < count; i += count / 30) {
                const bool left = QFileInfo::exists(f->splitPanel->state().SplitPartPaths.at(i));
                inOrder = inOrder && (left || !seenLeft);
                seenLeft = seenLeft || left;
            }
            lastTurn = workMs();
        });
        turns.start();
        click(f->splitPanel->splitCancelButton);
        longestWork = std::max(longestWork, workMs() - lastTurn);
        turns.stop();

        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files), QStringList{"src.bin"});
        QVERIFY(inOrder);
        QVERIFY2(longestWork < 50,
                 qPrintable(QString("%1 ms of work without an event-loop turn").arg(longestWork)));
        QVERIFY2(counter.paints <= 110, qPrintable(QString("%1 paintings").arg(counter.paints)));
        QCOMPARE(f->splitPanel->splitGauge->progress(), 0);
        QCOMPARE(f->splitPanel->splitHint->text(), QString("src.bin is Already Looaded"));
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Cancel"));
    }

    // Number texts keep ASCII digits with the locale's decimal separator, and
    // read back the same way: the identical-size check matches what is typed.
    void localeNumbers_data() {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"fa_IR", "de_DE", "ar_EG", "en_US"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void localeNumbers() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QString sep = QLocale(locale).decimalPoint();
        QCOMPARE(numberText(0.68359375), "0" + sep + "68359375");
        QCOMPARE(numberText(734003200), QString("734003200"));
        QCOMPARE(parseNumberText("0" + sep + "5"), 0.5);
        QVERIFY_THROWS_EXCEPTION(std::exception,
                                 parseNumberText(QLocale(locale).toString(7) + "x"));

        const QString source = tmp->filePath("src.bin");
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(734003200)); // sparse
        file.close();
        Ui ui;
        MainWindow* f = openAndLoad(ui, source);
        QCOMPARE(
            f->splitPanel->convertedSizeList->lines(),
            (QStringList{"   ", "B=734003200", "KB=716800", "MB=700", "GB=0" + sep + "68359375"}));
        QCOMPARE(f->splitPanel->sourceSizeField->text(), QString("700"));
        QTest::keyClicks(f->splitPanel->partSizeField, "700");
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.reports.last().last(), QString("As a Result You will have identical file"));

        click(f->splitPanel->splitMainButton);
        f->splitPanel->unitBox->setCurrentIndex(3); // Gigabytes: 700 no longer fits
        QCOMPARE(f->splitPanel->sourceSizeField->text(), "0" + sep + "68359375");
        QCOMPARE(ui.reports.last().last(), QString("            Part Is Bigger then file"));
        QVERIFY(ui.errors.isEmpty());
    }
};

TFS_UI_TEST_MAIN(TestSplitInputs)
#include "tst_splitinputs.moc"
