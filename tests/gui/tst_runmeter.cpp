// SPDX-License-Identifier: GPL-3.0-or-later
// Progress beyond the gauges: the texts of a running gauge's tooltip, the
// tooltip of each operation's gauge while it runs and after, and the
// launcher entry's D-Bus signal (run on a private session bus, see CMake).
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/RunMeter.h"
#include "gui/Widgets.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <utility>

using namespace testutil;

namespace {

const qint64 Size = 4 << 20; // several blocks of every engine

// Starts an operation through the window on files in `dir`; returns its gauge.
using Start = std::function<Gauge*(MainWindow*, const QTemporaryDir&)>;

Gauge* checksum(MainWindow* f, const QTemporaryDir& dir) {
    f->showComparePage();
    drop(f, f->comparePanel->checksumResults, QStringList{dir.filePath("source")});
    return f->comparePanel->checksumGauge;
}
Gauge* compare(MainWindow* f, const QTemporaryDir& dir) {
    f->showComparePage();
    drop(f, f->comparePanel->compareResults,
         QStringList{dir.filePath("source"), dir.filePath("source")});
    return f->comparePanel->compareGauge;
}
Gauge* split(MainWindow* f, const QTemporaryDir& dir) {
    f->showSplitPage();
    drop(f, f->splitPanel->sourcePathField, QStringList{dir.filePath("source")});
    f->splitPanel->partSizeField->setText("1"); // megabyte
    click(f->splitPanel->splitButton);
    return f->splitPanel->splitGauge;
}
Gauge* join(MainWindow* f, const QTemporaryDir& dir) {
    for (int i = 1; i <= 3; ++i)
        makeFile(dir.filePath(QString("set.bin.00%1").arg(i)), Size / 3, i);
    f->showJoinPage();
    drop(f, f->joinPanel->chosenPartField, QStringList{dir.filePath("set.bin.001")});
    click(f->joinPanel->joinButton);
    return f->joinPanel->joinGauge;
}

// Runs one operation, keeping the tooltips of the gauges that moved meanwhile
// and the operation's gauge's tooltip afterwards.
struct Run {
    QStringList tips;
    QString tipAfter;
    Run(const Start& start) {
        QTemporaryDir dir;
        makeFile(dir.filePath("source"), Size);
        Ui ui;
        MainWindow* f = ui.form.get();
        for (Gauge* g : f->findChildren<Gauge*>())
            QObject::connect(g, &Gauge::progressChanged, g, [this, g](int v) {
                if (v > 0 && v < 100) tips << g->toolTip();
            });
        tipAfter = start(f, dir)->toolTip();
    }
};

void addRuns() {
    QTest::addColumn<Start>("start");
    QTest::newRow("checksum") << Start(checksum);
    QTest::newRow("compare") << Start(compare);
    QTest::newRow("split") << Start(split);
    QTest::newRow("join") << Start(join);
}

// The properties an Update signal carries.
QVariantMap properties(const QDBusMessage& m) {
    return qdbus_cast<QVariantMap>(m.arguments().at(1));
}

// Signals caught on the session bus.
class Catcher : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> caught;
public slots:
    void update(const QDBusMessage& m) { caught << m; }
};

} // namespace

Q_DECLARE_METATYPE(Start)

// Calls back on every paint of the widget it watches.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(std::function<void()> onPaint) : onPaint_(std::move(onPaint)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) onPaint_();
        return false;
    }

private:
    std::function<void()> onPaint_;
};

class TestRunMeter : public QObject {
    Q_OBJECT
private slots:
    void texts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bytes") << byteText(1023) << "1023 bytes";
        QTest::newRow("kilobytes") << byteText(1536) << "1.5 KB";
        QTest::newRow("megabytes") << byteText(734003200) << "700.0 MB";
        QTest::newRow("gigabytes") << byteText(5LL << 30) << "5.0 GB";
        QTest::newRow("terabytes in GB") << byteText(3LL << 40) << "3072.0 GB";
        QTest::newRow("seconds") << durationText(5) << "0:05";
        QTest::newRow("minutes") << durationText(754) << "12:34";
        QTest::newRow("hours") << durationText(3 * 3600 + 61) << "3:01:01";
        QTest::newRow("start") << runTooltip(0, 2048, 0)
                               << "0 bytes of 2.0 KB\nSpeed: measuring\nTime left: measuring";
        // 100 MB of 700 MB in 4 s: 25 MB/s, 600 MB left take 24 s.
        QTest::newRow("running") << runTooltip(100 << 20, 700 << 20, 4000)
                                 << "100.0 MB of 700.0 MB\nSpeed: 25.0 MB/s\nTime left: 0:24";
        QTest::newRow("done") << runTooltip(700 << 20, 700 << 20, 4000)
                              << "700.0 MB of 700.0 MB\nSpeed: 175.0 MB/s\nTime left: 0:00";
    }
    void texts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // A gauge set faster than the screen refreshes paints at most once a
    // frame (16 ms of the clock that paces it, here one the test moves), and
    // the value it ends on is painted.
    void gaugePaintsOncePerFrame_data() {
        QTest::addColumn<int>("msPerValue");
        // Paints of the 100 values, before the frame after the last one.
        QTest::addColumn<int>("fewestPaints");
        QTest::addColumn<int>("mostPaints");
        QTest::newRow("all in one frame") << 0 << 1 << 1;
        QTest::newRow("four values a frame") << 4 << 24 << 26;
        QTest::newRow("a frame per value") << 16 << 100 << 100;
    }
    void gaugePaintsOncePerFrame() {
        QFETCH(int, msPerValue);
        QFETCH(int, fewestPaints);
        QFETCH(int, mostPaints);
        qint64 now = 1000000;
        const auto realClock = std::exchange(Gauge::frameClock(), [&now] { return now; });
        const auto restore = qScopeGuard([&] { Gauge::frameClock() = realClock; });
        QWidget window;
        Gauge gauge(&window, Qt::blue);
        gauge.resize(200, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<int> painted;
        PaintSpy spy([&] { painted << gauge.progress(); });
        gauge.installEventFilter(&spy);
        now += 1000;
        for (int v = 1; v <= 100; ++v) {
            gauge.setProgress(v);
            QCoreApplication::processEvents();
            now += msPerValue;
        }
        QVERIFY2(painted.size() >= fewestPaints && painted.size() <= mostPaints,
                 qPrintable(QString::number(painted.size())));
        now += 16;
        QTRY_COMPARE(painted.value(painted.size() - 1), 100);
    }

    // While an operation runs its gauge tells how far it is; afterwards nothing.
    void tooltips_data() { addRuns(); }
    void tooltips() {
        QFETCH(Start, start);
        Run run(start);
        QVERIFY(!run.tips.isEmpty());
        for (const QString& tip : run.tips) {
            QVERIFY2(tip.contains(" of 4.0 MB\nSpeed: ") && tip.contains("\nTime left: "),
                     qPrintable(tip));
        }
        QCOMPARE(run.tipAfter, QString());
    }

    // Each operation's progress reaches the desktop's launcher entry: shown
    // rising while it runs, hidden when it ends.
    void launcherEntry_data() { addRuns(); }
    void launcherEntry() {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus (CTest runs this under dbus-run-session)");
        QFETCH(Start, start);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.isConnected());
        Catcher catcher;
        QVERIFY(bus.connect(QString(), launcherEntry::objectPath(),
                            "com.canonical.Unity.LauncherEntry", "Update", &catcher,
                            SLOT(update(QDBusMessage))));
        Run run(start);
        QTRY_VERIFY(!catcher.caught.isEmpty() &&
                    !properties(catcher.caught.last()).value("progress-visible").toBool());
        double last = -1;
        int between = 0;
        for (int i = 0; i < catcher.caught.size(); ++i) {
            const QList<QVariant> args = catcher.caught[i].arguments();
            QCOMPARE(args.size(), 2);
            QCOMPARE(args[0].toString(), QString("application://tarvello-file-splitter.desktop"));
            const QVariantMap props = properties(catcher.caught[i]);
            const bool visible = props.value("progress-visible").toBool();
            const double progress = props.value("progress").toDouble();
            QCOMPARE(visible, i + 1 < catcher.caught.size()); // hidden by the last one only
            if (!visible) break;
            QVERIFY2(progress >= last && progress <= 1.0, qPrintable(QString::number(progress)));
            between += progress > 0 && progress < 1;
            last = progress;
        }
        QVERIFY(between > 0);
        bus.disconnect(QString(), launcherEntry::objectPath(), "com.canonical.Unity.LauncherEntry",
                       "Update", &catcher, SLOT(update(QDBusMessage)));
    }
};

TFS_UI_TEST_MAIN(TestRunMeter)
#include "tst_runmeter.moc"
