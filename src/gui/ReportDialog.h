// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class Memo;

// The report dialog: a small frameless modal box through which the operations
// report (lines acknowledged with "OK") and, once, ask ("Join Anyway" or
// "Abort"). Callers append lines to reportArea, make the fitting controls
// visible and call showModal(), which returns the button pressed; every close puts the dialog back
// to its idle state (OK visible, choice buttons hidden, report area hidden and empty).
// The main window makes it, one for the whole run, and hands it to the pages.
class ReportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReportDialog(QWidget* mainWindow);
    ~ReportDialog() override;

    QLabel* messageLabel;
    Memo* reportArea;
    QPushButton* joinAnywayButton; // "Join Anyway", or decide()'s `yes`
    QPushButton* okButton;
    QPushButton* abortButton; // "Abort", or decide()'s `no`

    // The button that closed the dialog; None when the window system closed it.
    enum class Answer { None, Ok, JoinAnyway, Abort };
    Q_ENUM(Answer)

    // Shows the dialog modally; returns once it has closed, with the answer.
    Answer showModal();
    // Report mode in one call: adds the lines, shows the report area and OK, shows the dialog.
    void report(const QStringList& lines);
    // The two-button mode for a decision: adds the lines, shows them with
    // `yes` and `no` on the two choice buttons, and returns true for `yes`. A
    // close by the window system counts as `no`. The buttons get their own
    // captions back when the dialog closes.
    bool decide(const QStringList& lines, const QString& yes, const QString& no);

    void initialize();
    void placeOverMainWindow();
    void acknowledge();
    void chooseJoinAnyway();
    void chooseAbort();
    void resetToIdle();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

public slots:
    void done(int result) override;

signals:
    // The dialog has been placed over the main window, about to show.
    void placed();
    // OK has been pressed.
    void acknowledged();

private:
    // A button's handler asks for the close; it happens once the handler has returned.
    void requestClose() { closeRequested_ = true; }
    void runButton(void (ReportDialog::*handler)());

    QWidget* mainWindow_;
    Answer answer_ = Answer::None;
    bool closeRequested_ = false;
    bool shownBefore_ = false;
    bool closing_ = false;
};
