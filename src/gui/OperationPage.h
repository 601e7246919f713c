#pragma once

#include <QGroupBox>

// A page that runs an operation of its own (a split, a join, a checksum or a
// comparison): it knows whether one runs, tells the window when one starts
// and ends, stops it when the window closes, and leads back to the start page
// with its "Main" button. The window follows every such page the same way.
class OperationPage : public QGroupBox {
    Q_OBJECT
public:
    OperationPage(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

    bool running() const { return running_; }
    // A close request: whatever the page runs stops first, and whatever a
    // failed run of it left behind goes (each page says what that is).
    virtual void stopForClose() = 0;
    // The report dialog's OK; a page whose controls change with it says how.
    virtual void reportAcknowledged() {}

signals:
    void startPageRequested(); // "Main"
    void operationStarted();   // an operation of the page starts
    void operationFinished();  // it has ended, however it ended

protected:
    bool running_ = false; // true while the page's operation runs
};
