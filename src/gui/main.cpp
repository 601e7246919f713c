// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "gui/Application.h"
#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    // Options such as --split run without the window (and without a display).
    if (isCommandLine(argc, argv)) return runCommandLine(argc, argv);
    Application app(argc, argv);
    prepareApplication();
    MainWindow window;
    window.show();
    closeOnTerminationSignals(&window);
    window.openGiven(QApplication::arguments().mid(1));
    return app.exec();
}
