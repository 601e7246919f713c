// SPDX-License-Identifier: GPL-3.0-or-later
// The Compare panel driven through its real buttons, with scripted file
// dialogs: the checksum and comparison lines, both Cancels pressed while the
// operation runs, failures, the lock between the two commands, navigation.
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "verify/Crc32.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace tfs;

using namespace testutil;

namespace {

const QString Blank10 = QStringLiteral("          ");
const QString Aborted = QStringLiteral("                  Aborted by user");

// Bytes (31 i + 7) mod 251: their CRCs below were computed with zlib.
QByteArray rampBytes(qint64 size) {
    QByteArray b(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 31 + 7) % 251);
    return b;
}

QString identical(const QString& a, const QString& b) {
    return "Files " + a + "    and " + b + " are Identical";
}
QString notIdentical(const QString& a, const QString& b) {
    return "Files " + a + "        and " + b + " are Not Identical";
}

// Records every value a gauge is painted with.
class PaintLog : public QObject {
public:
    explicit PaintLog(Gauge* g) : gauge(g) { g->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) values << gauge->progress();
        return false;
    }
    // Whether the log ends with every value from `from` down to 0.
    bool endsWithStepsDownFrom(int from) const {
        QList<int> steps;
        for (int v = from; v >= 0; --v)
            steps << v;
        return values.size() >= steps.size() && values.mid(values.size() - steps.size()) == steps;
    }
    // The values painted, for a failure's message.
    QByteArray text() const {
        QByteArray t;
        for (int v : values)
            t += QByteArray::number(v) + ' ';
        return t;
    }
    Gauge* gauge;
    QList<int> values;
};

// Runs `during` at the first event-loop turn that the operation started by
// the click hands over.
void clickWhileRunning(QPushButton* button, const std::function<void()>& during) {
    bool ran = false;
    QTimer::singleShot(0, button, [&] {
        ran = true;
        during();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(ran, "the operation handed no turn to the event loop");
}

} // namespace

class TestComparePanel : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

    static void open(MainWindow* f) {
        QTest::mouseClick(f->startPanel->comparePageButton, Qt::LeftButton);
    }

    // A file of the nine digits, whose CRC-32 is CBF43926.
    QString digitsFile() const {
        const QString file = path("digits.txt");
        writeFile(file, "123456789");
        return file;
    }
    // A complete checksum of the digits through the CheckSum button.
    void checksumOfDigits(Ui& ui) const {
        ui.fileAnswers << digitsFile();
        QTest::mouseClick(ui.form->comparePanel->checksumButton, Qt::LeftButton);
    }

    // The panel at rest: both commands usable, Main enabled, both labels up.
    static void verifyIdle(MainWindow* f) {
        QVERIFY(f->comparePanel->checksumButton->isEnabled());
        QVERIFY(f->comparePanel->compareButton->isEnabled());
        QVERIFY(f->comparePanel->compareMainButton->isEnabled());
        QVERIFY(f->comparePanel->checksumHint->isVisible());
        QVERIFY(f->comparePanel->compareHint->isVisible());
        QCOMPARE(f->comparePanel->compareGauge->progress(), 0);
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void checksumLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("decimal");
        QTest::newRow("digits 1 to 9") << QByteArray("123456789") << "CBF43926"
                                       << "3421780262";
        QTest::newRow("empty") << QByteArray() << "00000000"
                               << "0";
        QTest::newRow("leading zeros") << QByteArray("x31") << "001685F0"
                                       << "1476080";
        QTest::newRow("one whole block") << rampBytes(CrcBlockSize) << "4270C7A5"
                                         << "1114687397";
        QTest::newRow("a block and a byte") << rampBytes(CrcBlockSize + 1) << "8F288448"
                                            << "2401797192";
    }
    void checksumLines() {
        QFETCH(QByteArray, content);
        QFETCH(QString, hex);
        QFETCH(QString, decimal);
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        const QString file = path("sum.bin");
        writeFile(file, content);
        ui.fileAnswers << file;
        QTest::mouseClick(f->comparePanel->checksumButton, Qt::LeftButton);

        QCOMPARE(ui.fileDialogTitles, QStringList{"Select File to Split"});
        QCOMPARE(f->comparePanel->checksumResults->lines(),
                 QStringList({"  ", "CheckSum for " + file, "", "CRC32 is: $" + hex, decimal}));
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 100);
        QVERIFY(!f->comparePanel->checksumCancelButton->isEnabled());
        QVERIFY(f->comparePanel->checksumCancelButton->isVisible());
        QVERIFY(!f->comparePanel->compareCancelButton->isVisible());
        QVERIFY(ui.reports.isEmpty());
        QVERIFY(ui.errors.isEmpty());
        verifyIdle(f);
    }

    // A cancelled dialog leaves the "  " line and the gauge as they were; the
    // Cancel left enabled then still reports.
    void checksumDialogCancelled() {
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        checksumOfDigits(ui);
        QTest::mouseClick(f->comparePanel->checksumButton, Qt::LeftButton); // dialog cancelled
        QCOMPARE(f->comparePanel->checksumResults->lines(), QStringList{"  "});
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 100);
        QVERIFY(f->comparePanel->checksumCancelButton->isEnabled());
        verifyIdle(f);

        QTest::mouseClick(f->comparePanel->checksumCancelButton, Qt::LeftButton);
        QCOMPARE(ui.reports, QList<QStringList>{QStringList({Blank10, Blank10, Blank10, Aborted})});
        QVERIFY(f->comparePanel->checksumResults->lines().isEmpty());
        QVERIFY(!f->comparePanel->checksumCancelButton->isEnabled());
    }

    // Cancel pressed in the first event-loop turn: the block in hand is
    // finished, nothing more is read, no result line appears, and the gauge
    // is stepped down visibly, also when that block was the file's last.
    void checksumCancelDuringRun_data() {
        QTest::addColumn<qint64>("size");
        QTest::newRow("four blocks") << 4 * CrcBlockSize;
        QTest::newRow("last block already read") << qint64(1000);
    }
    void checksumCancelDuringRun() {
        QFETCH(qint64, size);
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        PaintLog paints(f->comparePanel->checksumGauge);
        const QString file = path("big.bin");
        makeFile(file, size);
        ui.fileAnswers << file;
        clickWhileRunning(f->comparePanel->checksumButton, [&] {
            // Running: only Cancel works; the other command is locked out.
            QVERIFY(f->comparePanel->checksumCancelButton->isVisible() &&
                    f->comparePanel->checksumCancelButton->isEnabled());
            QVERIFY(!f->comparePanel->compareCancelButton->isVisible());
            QVERIFY(!f->comparePanel->compareMainButton->isEnabled());
            QVERIFY(!f->comparePanel->checksumButton->isEnabled());
            QVERIFY(!f->comparePanel->compareButton->isEnabled());
            QVERIFY(!f->comparePanel->checksumHint->isVisible());
            QTest::mouseClick(f->comparePanel->compareButton,
                              Qt::LeftButton); // disabled: no dialog opens
            QCOMPARE(ui.fileDialogTitles.size(), 1);
            QTest::mouseClick(f->comparePanel->checksumCancelButton, Qt::LeftButton);
        });

        QCOMPARE(ui.reports, QList<QStringList>{QStringList({Blank10, Blank10, Blank10, Aborted})});
        QCOMPARE(CrcBytesDone, qMin(size, CrcBlockSize));
        QVERIFY(f->comparePanel->checksumResults->lines().isEmpty());
        const int share = int(100 * qMin(size, CrcBlockSize) / size);
        QVERIFY2(paints.endsWithStepsDownFrom(share), paints.text().constData());
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 0);
        QVERIFY(!f->comparePanel->checksumCancelButton->isEnabled());
        verifyIdle(f);
        QVERIFY(ui.errors.isEmpty());
    }

    // A file that can't be read reaches the message box; the panel is idle
    // again and both commands work afterwards.
    void failuresLeaveThePanelUsable_data() {
        QTest::addColumn<QString>("bad");
        QTest::newRow("missing file") << path("missing.bin");
        QTest::newRow("folder") << tmp.path();
    }
    void failuresLeaveThePanelUsable() {
        QFETCH(QString, bad);
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        const QString good = digitsFile();

        ui.fileAnswers << bad;
        QTest::mouseClick(f->comparePanel->checksumButton, Qt::LeftButton);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY2(ui.errors[0].contains(bad), qPrintable(ui.errors[0]));
        QCOMPARE(f->comparePanel->checksumResults->lines(), QStringList{"  "});
        verifyIdle(f);

        ui.fileAnswers << good << bad;
        QTest::mouseClick(f->comparePanel->compareButton, Qt::LeftButton);
        QCOMPARE(ui.errors.size(), 2);
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled());
        QVERIFY(!f->comparePanel->state().CompareStream1 &&
                !f->comparePanel->state().CompareStream2);
        verifyIdle(f);

        ui.fileAnswers << good << good;
        QTest::mouseClick(f->comparePanel->compareButton, Qt::LeftButton);
        QCOMPARE(f->comparePanel->compareResults->lines(), QStringList{identical(good, good)});
        checksumOfDigits(ui);
        QCOMPARE(f->comparePanel->checksumResults->lines().value(4), QString("3421780262"));
        QCOMPARE(ui.errors.size(), 2);
    }

    void comparisonLines_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("secondName");
        QTest::addColumn<bool>("same");
        QTest::addColumn<bool>("lengthsDiffer");
        QTest::addColumn<int>("gauge");
        const QByteArray block = rampBytes(CompareBlockSize);
        QByteArray lastByte = block;
        lastByte[CompareBlockSize - 1] = char(lastByte[CompareBlockSize - 1] ^ 1);
        const QByteArray big = rampBytes(250000);
        QByteArray firstByte = big;
        firstByte[0] = char(firstByte[0] ^ 0x80);
        QTest::newRow("copies of 250,000 bytes")
            << big << big << "second.bin" << true << false << 100;
        QTest::newRow("different lengths")
            << big << big.left(249999) << "second.bin" << false << true << 0;
        QTest::newRow("100,000 bytes, last differs")
            << block << lastByte << "second.bin" << false << false << 100;
        QTest::newRow("first byte differs")
            << big << firstByte << "second.bin" << false << false << 40;
        QTest::newRow("the same file twice") << big << big << "first.bin" << true << false << 100;
        QTest::newRow("two empty files")
            << QByteArray() << QByteArray() << "second.bin" << true << false << 100;
    }
    void comparisonLines() {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QString, secondName);
        QFETCH(bool, same);
        QFETCH(bool, lengthsDiffer);
        QFETCH(int, gauge);
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        const QString a = path("first.bin"), b = path(secondName);
        writeFile(b, second);
        writeFile(a, first);
        ui.fileAnswers << a << b;
        QTest::mouseClick(f->comparePanel->compareButton, Qt::LeftButton);

        QCOMPARE(ui.fileDialogTitles,
                 QStringList({"Select File to Split", "Select File to Split"}));
        QStringList expected;
        if (lengthsDiffer) expected << "Files Have different length, so  ";
        expected << (same ? identical(a, b) : notIdentical(a, b));
        QCOMPARE(f->comparePanel->compareResults->lines(), expected);
        QCOMPARE(f->comparePanel->compareGauge->progress(),
                 gauge); // 0: different lengths read nothing
        QVERIFY(f->comparePanel->compareCancelButton->isVisible());
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled());
        QVERIFY(!f->comparePanel->checksumCancelButton->isVisible());
        QVERIFY(f->comparePanel->compareMainButton->isEnabled());
        QVERIFY(f->comparePanel->checksumHint->isVisible() &&
                f->comparePanel->compareHint->isVisible());
        QVERIFY(ui.errors.isEmpty() && ui.reports.isEmpty());
    }

    void comparisonDialogCancelled_data() {
        QTest::addColumn<int>("answered");
        QTest::newRow("first dialog") << 0;
        QTest::newRow("second dialog") << 1;
    }
    void comparisonDialogCancelled() {
        QFETCH(int, answered);
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        writeFile(path("x.txt"), "x");
        if (answered == 1) ui.fileAnswers << path("x.txt");
        QTest::mouseClick(f->comparePanel->compareButton, Qt::LeftButton);
        QCOMPARE(ui.fileDialogTitles.size(), answered + 1);
        QCOMPARE(f->comparePanel->compareResults->lines(), QStringList{"  "});
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled());
        verifyIdle(f);
    }

    // Cancel in the first turn: the report, both memos emptied (the
    // checksum's too), the comparison stops after its first block and its
    // gauge steps down to 0.
    void comparisonCancelDuringRun() {
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        checksumOfDigits(ui);
        QCOMPARE(f->comparePanel->checksumResults->lineCount(), 5);

        PaintLog paints(f->comparePanel->compareGauge);
        const QString a = path("c1.bin"), b = path("c2.bin");
        makeFile(a, 5 * CompareBlockSize);
        makeFile(b, 5 * CompareBlockSize);
        ui.fileAnswers << a << b;
        clickWhileRunning(f->comparePanel->compareButton, [&] {
            QCOMPARE(f->comparePanel->compareResults->lines(),
                     QStringList({"  ", "                     Comparing", a,
                                  "                     and", b}));
            QVERIFY(f->comparePanel->compareCancelButton->isVisible() &&
                    f->comparePanel->compareCancelButton->isEnabled());
            QVERIFY(!f->comparePanel->checksumCancelButton->isVisible());
            QVERIFY(!f->comparePanel->compareMainButton->isEnabled());
            QVERIFY(!f->comparePanel->checksumButton->isEnabled());
            QVERIFY(!f->comparePanel->compareButton->isEnabled());
            QVERIFY(!f->comparePanel->compareHint->isVisible());
            QCOMPARE(f->comparePanel->compareGauge->progress(), 20);
            QTest::mouseClick(f->comparePanel->compareCancelButton, Qt::LeftButton);
        });

        QCOMPARE(ui.reports, QList<QStringList>{QStringList({Blank10, Blank10, Aborted})});
        QVERIFY(f->comparePanel->checksumResults->lines().isEmpty());
        QVERIFY(f->comparePanel->compareResults->lines().isEmpty());
        QVERIFY2(paints.endsWithStepsDownFrom(20), paints.text().constData());
        QVERIFY(*std::max_element(paints.values.begin(), paints.values.end()) <= 20);
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 0);
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled());
        verifyIdle(f);
        QVERIFY(!f->comparePanel->state().CompareStream1 &&
                !f->comparePanel->state().CompareStream2);
    }

    // Closing the window in the middle of a checksum or a comparison stops it
    // quietly instead of reading on behind the closed window.
    void closingTheWindowStopsTheRun() {
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        const QString a = path("w1.bin"), b = path("w2.bin");
        makeFile(a, 4 * CrcBlockSize);
        makeFile(b, 4 * CrcBlockSize);
        ui.fileAnswers << a;
        clickWhileRunning(f->comparePanel->checksumButton, [&] { f->close(); });
        QCOMPARE(CrcBytesDone, CrcBlockSize);
        QCOMPARE(f->comparePanel->checksumResults->lines(), QStringList{"  "});

        f->show();
        ui.fileAnswers << a << b;
        clickWhileRunning(f->comparePanel->compareButton, [&] { f->close(); });
        QCOMPARE(f->comparePanel->compareGauge->progress(),
                 qRound(100.0 * CompareBlockSize / (4 * CrcBlockSize)));
        QVERIFY(f->comparePanel->compareResults->lines().isEmpty());
        QVERIFY(ui.reports.isEmpty());
        QVERIFY(ui.errors.isEmpty());
    }

    // "Main" keeps the memos and rewinds the gauges; opening the panel again
    // empties the memos and leaves both Cancels visible but disabled.
    void mainAndOpening() {
        Ui ui;
        MainWindow* f = ui.form.get();
        open(f);
        QVERIFY(f->comparePanel->isVisible() && !f->startPanel->isVisible());
        QVERIFY(f->comparePanel->compareCancelButton->isVisible() &&
                f->comparePanel->checksumCancelButton->isVisible());
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled() &&
                !f->comparePanel->checksumCancelButton->isEnabled());
        verifyIdle(f);

        checksumOfDigits(ui);
        ui.fileAnswers << digitsFile() << digitsFile();
        QTest::mouseClick(f->comparePanel->compareButton, Qt::LeftButton);
        f->comparePanel->checksumGauge->setProgress(40);
        f->comparePanel->compareGauge->setProgress(55);

        QTest::mouseClick(f->comparePanel->compareMainButton, Qt::LeftButton);
        QVERIFY(f->startPanel->isVisible() && !f->comparePanel->isVisible());
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 0);
        QCOMPARE(f->comparePanel->compareGauge->progress(), 0);
        QCOMPARE(f->comparePanel->checksumResults->lineCount(), 5);
        QCOMPARE(f->comparePanel->compareResults->lineCount(), 1);

        f->comparePanel->checksumGauge->setProgress(30);
        open(f);
        QVERIFY(f->comparePanel->isVisible() && !f->startPanel->isVisible());
        QVERIFY(f->comparePanel->checksumResults->lines().isEmpty() &&
                f->comparePanel->compareResults->lines().isEmpty());
        QCOMPARE(f->comparePanel->checksumGauge->progress(), 0);
        QVERIFY(f->comparePanel->compareCancelButton->isVisible() &&
                f->comparePanel->checksumCancelButton->isVisible());
        QVERIFY(!f->comparePanel->compareCancelButton->isEnabled() &&
                !f->comparePanel->checksumCancelButton->isEnabled());
        verifyIdle(f);
    }
};

TFS_UI_TEST_MAIN(TestComparePanel)
#include "tst_comparepanel.moc"
