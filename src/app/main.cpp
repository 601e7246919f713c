// SPDX-License-Identifier: GPL-3.0-or-later
// src/app: the program's entry, above the window and the command line. It
// chooses one of them by the arguments, so that neither floor includes the
// other.
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
