#include "app/Application.h"
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    // Options such as --split run without the window (and without a display).
    if (isCommandLine(argc, argv)) return runCommandLine(argc, argv);
    Application app(argc, argv);
    prepareApplication();
    TForm1 form1; // sets G.Form1
    TForm3 form3(&form1); // sets G.Form3
    form1.show();
    closeOnTerminationSignals(&form1);
    form1.openGiven(QApplication::arguments().mid(1));
    return app.exec();
}
