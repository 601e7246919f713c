// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// The application object. Its notify() is the last line of the top-level error
// handler: an exception that escapes event delivery is shown in a message box
// and the program goes on. Handlers bound by the window catch their own
// exceptions first (MainWindow::guarded).
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Sets up what the program needs before its windows exist: title, fonts,
// style (tooltips after 5 ms), the CRC-32 table.
void prepareApplication();

class MainWindow;

// SIGTERM (a logout, kill), SIGINT (Ctrl+C in the terminal that started the
// program) and SIGHUP (that terminal closing) close the window as its close
// command does, so that a running operation's Cancel removes what it has
// written, and then end the program with 128 + the signal's number. The
// signal is taken up by the event loop, which a running operation serves
// after every block.
void closeOnTerminationSignals(MainWindow* window);
