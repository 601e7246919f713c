#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class Memo;

// The report dialog: a small frameless modal box through which the operations
// report (lines acknowledged with "OK") and, once, ask ("Join Anyway" or
// "Abort"). Callers append lines to suiMemo1, make the fitting controls
// visible and call ShowModal(); every close puts the dialog back to its idle
// state (OK visible, choice buttons hidden, report area hidden and empty).
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* mainWindow);
    ~TForm3() override;

    QLabel* Label1;
    QLabel* Label2;   // the result slot: "prekini" after "Abort"
    Memo* suiMemo1;   // the report area
    QPushButton* BitBtn1; // "Join Anyway"
    QPushButton* OKBtn;
    QPushButton* BitBtn2; // "Abort"

    // Shows the dialog modally; returns once it has closed.
    void ShowModal();
    // Report mode in one call: adds the lines, shows the report area and OK, shows the dialog.
    void Report(const QStringList& lines);
    // The two-button mode for a decision: adds the lines, shows them with
    // `yes` and `no` on the two choice buttons, and returns true for `yes`. A
    // close by the window system counts as `no`. The buttons get their own
    // captions back when the dialog closes.
    bool Decide(const QStringList& lines, const QString& yes, const QString& no);

    void FormCreate();
    void FormShow();
    void OKBtnClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void FormClose();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

public slots:
    void done(int result) override;

private:
    // A button's handler asks for the close; it happens once the handler has returned.
    void requestClose() { closeRequested_ = true; }
    void runButton(void (TForm3::*handler)());

    QWidget* mainWindow_;
    bool closeRequested_ = false;
    bool shownBefore_ = false;
    bool closing_ = false;
    bool deciding_ = false; // Decide() runs: "no" is no join's Abort
};
