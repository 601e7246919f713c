// SPDX-License-Identifier: GPL-3.0-or-later
// split_in_window SOURCE DEST PART_BYTES: the Split panel of the real window,
// its dialogs scripted, splits SOURCE into the folder DEST in parts of
// PART_BYTES bytes. Once three parts have been started it prints "copying"
// and waits, inside an event-loop turn of the split, until its standard input
// ends, so that a test can kill it or signal it right there. Prints "done"
// when the Split command has returned. The program's handling of SIGTERM,
// SIGINT and SIGHUP is installed, and the Split click is served by the event
// loop, as in the program; a signal ends the event loop with 128 + its number.
#include "common/FaultUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/Application.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"

#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: split_in_window SOURCE DEST PART_BYTES\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    testutil::Ui ui;
    MainWindow* f = ui.form.get();
    QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
    testutil::prepareSplit(ui, QString::fromLocal8Bit(argv[1]), 0, argv[3],
                           QString::fromLocal8Bit(argv[2]));

    QTimer midway;
    midway.setInterval(0);
    QObject::connect(&midway, &QTimer::timeout, [&midway, f] {
        if (f->splitPanel->state().SplitPartPaths.size() < 3) return;
        midway.stop();
        std::printf("copying\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
    });
    midway.start();
    closeOnTerminationSignals(f);
    QTimer::singleShot(0, f, [f, &ui] {
        QTest::mouseClick(f->splitPanel->splitButton, Qt::LeftButton);
        std::printf("done\n");
        std::fflush(stdout);
        for (const QString& error : ui.errors)
            std::fprintf(stderr, "%s\n", qPrintable(error));
        if (f->isVisible()) QCoreApplication::exit(ui.errors.isEmpty() ? 0 : 1);
    });
    return app.exec();
}
