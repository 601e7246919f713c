#pragma once

#include <QApplication>

// The application object. Its notify() is the last line of the top-level error
// handler: an exception that escapes event delivery is shown in a message box
// and the program goes on. Handlers bound by the window catch their own
// exceptions first (TForm1::guarded).
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Sets up what the program needs before its windows exist: title, fonts,
// style (tooltips after 5 ms), the CRC-32 table.
void prepareApplication();
