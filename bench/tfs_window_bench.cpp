// SPDX-License-Identifier: GPL-3.0-or-later
// tfs_window_bench: the program's own start-up (the same steps as its main())
// with a clock on the main window's first paint, a split run from the window's
// own handler with the window's hooks (gauges, destinationField, one processEvents per
// block), and a join run by the Join button's own handler as a user runs it.
// Each also counts the paints of the page's gauge while it runs (the gauge
// paints at most once a frame however often it is set). For the benchmark
// script, under Xvfb.
//
//   tfs_window_bench startup             prints the wall-clock time of the first paint
//   tfs_window_bench split SOURCE DEST   then splits SOURCE into DEST at 10,000,000 bytes
//   tfs_window_bench join PART DEST      then joins PART's set into DEST: the part
//                                        loaded and DEST chosen on the join panel,
//                                        then the Join button (its report closed at once)
#include "TurnMeter.h"

#include "core/OperationState.h"
#include "gui/Application.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Seams.h"
#include "gui/Widgets.h"
#include "parts/Naming.h"
#include "split/SplitEngine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <ctime>

using namespace tfs;

namespace {

qint64 wallClockMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Calls `then` once, after the watched window's first paint has been handled
// (and so handed to the display).
class FirstPaint : public QObject {
public:
    FirstPaint(QObject* window, std::function<void()> then) : then_(std::move(then)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                auto then = std::move(then_);
                then_ = nullptr;
                then();
            });
        }
        return false;
    }

private:
    std::function<void()> then_;
};

// Counts the paints of the widget it watches.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    long long paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The join as a user runs it: the join panel, its Load File and destination
// answered with PART and DEST, and the Join button's handler timed; the
// report it shows at the end is closed at once.
int windowJoin(MainWindow& window, const QString& part, const QString& dest) {
    Seams& s = seams();
    s.openFile = [&](QWidget*, const QString&, const QString&) { return part; };
    s.browseFolder = [&](QWidget*, const QString&, const QString&) { return dest; };
    QStringList report;
    s.showModal = [&](ReportDialog* dialog) {
        report = dialog->reportArea->lines();
        dialog->done(0);
    };
    window.showJoinPage(); // the join panel, with its gauge showing
    window.joinPanel->choosePart();
    window.joinPanel->chooseJoinDestination();
    QCoreApplication::processEvents();
    const PaintCounter gauge(window.joinPanel->joinGauge);
    QElapsedTimer clock;
    clock.start();
    window.joinPanel->startJoin();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qint64 bytes = QFileInfo(window.joinPanel->state().JoinOutputPath).size();
    if (bytes != window.joinPanel->state().JoinTotalSize ||
        window.joinPanel->state().JoinCancelFlag != 0) {
        std::fprintf(stderr, "tfs_window_bench: the join did not complete: %s\n",
                     qPrintable(report.join(QLatin1Char('|'))));
        return 1;
    }
    std::printf("RESULT op=window-join seconds=%.6f bytes=%lld gauge_paints=%lld "
                "peak_rss_kib=%ld\n",
                seconds, static_cast<long long>(bytes), gauge.paints, peakResidentKiB());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    prepareApplication();
    MainWindow window;
    ReportDialog reportDialog(&window);
    const QStringList args = QCoreApplication::arguments();
    const QString op = args.value(1);
    if (!(op == QLatin1String("startup") && args.size() == 2) &&
        !((op == QLatin1String("split") || op == QLatin1String("join")) && args.size() == 4)) {
        std::fprintf(stderr, "usage: tfs_window_bench startup | split SOURCE DEST_FOLDER | "
                             "join PART DEST_FOLDER\n");
        return 2;
    }

    int status = 0;
    FirstPaint firstPaint(&window, [&] {
        std::printf("RESULT op=startup first_paint_epoch_us=%lld\n",
                    static_cast<long long>(wallClockMicroseconds()));
        std::fflush(stdout);
        if (op == QLatin1String("split")) {
            window.showSplitPage(); // the split panel, with its gauge showing
            QCoreApplication::processEvents();
            window.splitPanel->state().SourceFilePath = args[2];
            window.splitPanel->state().SourceFileSize = QFileInfo(args[2]).size();
            window.splitPanel->state().SplitDestFolder = withTrailingSeparator(args[3]);
            window.splitPanel->state().SplitPartPaths.clear();
            const PaintCounter gauge(window.splitPanel->splitGauge);
            QElapsedTimer clock;
            clock.start();
            window.splitPanel->runSplit(window.splitPanel->state().SourceFilePath, SplitBlockSize);
            const double seconds = clock.nsecsElapsed() / 1e9;
            if (window.splitPanel->state().SplitPartPaths.isEmpty()) status = 1;
            std::printf("RESULT op=window-split seconds=%.6f bytes=%lld parts=%lld "
                        "gauge_paints=%lld peak_rss_kib=%ld\n",
                        seconds, static_cast<long long>(window.splitPanel->state().SourceFileSize),
                        static_cast<long long>(window.splitPanel->state().SplitPartPaths.size()),
                        gauge.paints, peakResidentKiB());
            std::fflush(stdout);
        }
        if (op == QLatin1String("join")) status = windowJoin(window, args[2], args[3]);
        QCoreApplication::exit(status);
    });
    window.show();
    return app.exec();
}
