// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Application.h"

#include <QList>
#include <QStringList>
#include <QTest>
#include <QUrl>
#include <functional>
#include <memory>

class QObject;
class QWidget;
class MainWindow;
class ReportDialog;

namespace testutil {

// The real window and report dialog, with the desktop hand-overs scripted:
// file and folder dialogs answer from queues (an empty answer, or an empty
// queue, is a cancel), the shell's "open" and the message boxes are recorded,
// and every modal showing of the report dialog records its lines and is
// answered by `answer` (default: press the visible button, OK first). The
// window's settings are kept in a temporary folder of the test process, and
// every Ui starts without any.
class Ui {
public:
    Ui();
    ~Ui();
    Ui(const Ui&) = delete;
    Ui& operator=(const Ui&) = delete;

    std::unique_ptr<MainWindow> form;
    ReportDialog* dialog = nullptr; // the window's own

    QStringList fileAnswers;
    QStringList folderAnswers;
    QStringList fileDialogTitles;   // title of every file dialog shown
    QStringList folderDialogTitles; // title of every folder browser shown
    QList<QUrl> opened;
    QStringList errors;
    QList<QStringList> reports; // the report area's lines at each showing
    std::function<void(ReportDialog*)> answer;

    // Presses a button of the dialog as a user would (a real mouse click).
    static void press(ReportDialog* dialog, const char* buttonName);
};

// A real mouse click on a control.
void click(QWidget* control);

// Files dragged onto the window and dropped on `at` (at its centre), as a file
// manager does: a drag carrying the files' URLs. Runs what the drop started;
// false when the window did not take the drag.
bool drop(MainWindow* form, QWidget* at, const QList<QUrl>& urls);
bool drop(MainWindow* form, QWidget* at, const QStringList& paths);

// Runs `action` once, at the first event-loop turn (of a running operation,
// typically) at which `when` holds: a click or a close arriving mid-run.
void during(QObject* owner, std::function<bool()> when, std::function<void()> action);

} // namespace testutil

// main() of a window test: the program's own application object (with its
// top-level error handler), headless.
#define TFS_UI_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        Application app(argc, argv);                                                               \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
