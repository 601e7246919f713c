// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QList>

class QWidget;

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

private:
    friend class OperationScope;
    bool running_ = false;
};

// One run of a page's operation, from its start to its end however it ends
// (returns and exceptions alike). Made: the page counts as running, tells the
// window that its operation started, and disables `held`, the controls that
// must not be used meanwhile. Gone: the controls are enabled or disabled as
// they were before, the page no longer counts as running, and it tells the
// window that its operation finished, in this order.
class OperationScope {
public:
    explicit OperationScope(OperationPage* page, const QList<QWidget*>& held = {});
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    OperationPage* page_;
    bool wasRunning_;
    QList<QWidget*> held_;
    QList<bool> heldEnabled_; // each held control's state before the run
};
