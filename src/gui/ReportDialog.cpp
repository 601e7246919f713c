// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ReportDialog.h"

#include "gui/Guarded.h"
#include "gui/Seams.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

namespace {
const QString JoinAnywayCaption = QStringLiteral("Join Anyway");
const QString AbortCaption = QStringLiteral("Abort");
} // namespace

ReportDialog::ReportDialog(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("reportDialog"));
    setWindowTitle(QStringLiteral("Dialog"));
    setModal(true);
    setFixedSize(194, 154);
    setStyleSheet(skin::dialogStyle());
    setAttribute(Qt::WA_StyledBackground);
    QPalette background = palette();
    background.setColor(QPalette::Window, skin::Background);
    setPalette(background);
    setAutoFillBackground(true);

    messageLabel = skin::label(this, "messageLabel", QString(), 8, 0);
    messageLabel->setWordWrap(true);
    messageLabel->resize(177, 113);
    reportArea = new Memo(this);
    reportArea->setObjectName(QStringLiteral("reportArea"));
    reportArea->setGeometry(2, 0, 190, 113);
    reportArea->hide();
    joinAnywayButton = skin::button(this, "joinAnywayButton", JoinAnywayCaption, 2, 123, 85, 25);
    okButton = skin::button(this, "okButton", QString(), 52, 123, 85, 25);
    abortButton = skin::button(this, "abortButton", AbortCaption, 108, 123, 85, 25);
    joinAnywayButton->hide();
    abortButton->hide();
    for (QPushButton* b : {joinAnywayButton, okButton, abortButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(okButton, &QPushButton::clicked, this,
            [this] { runButton(&ReportDialog::acknowledge); });
    connect(joinAnywayButton, &QPushButton::clicked, this,
            [this] { runButton(&ReportDialog::chooseJoinAnyway); });
    connect(abortButton, &QPushButton::clicked, this,
            [this] { runButton(&ReportDialog::chooseAbort); });
    initialize();
}

ReportDialog::~ReportDialog() = default;

void ReportDialog::initialize() { okButton->setText(QStringLiteral("OK")); }

ReportDialog::Answer ReportDialog::showModal() {
    closeRequested_ = false;
    answer_ = Answer::None;
    // The main window is the dialog's transient parent: where the window
    // system doesn't let a client place its windows (Wayland), it opens the
    // dialog over its parent instead.
    create();
    if (QWindow* own = windowHandle())
        own->setTransientParent(mainWindow_->window()->windowHandle());
    seams().showModal(this);
    return answer_;
}

void ReportDialog::report(const QStringList& lines) {
    for (const QString& line : lines)
        reportArea->addLine(line);
    reportArea->show();
    okButton->show();
    showModal();
}

bool ReportDialog::decide(const QStringList& lines, const QString& yes, const QString& no) {
    for (const QString& line : lines)
        reportArea->addLine(line);
    reportArea->show();
    joinAnywayButton->setText(yes);
    abortButton->setText(no);
    joinAnywayButton->show();
    abortButton->show();
    okButton->hide();
    const Answer answer = showModal();
    joinAnywayButton->setText(JoinAnywayCaption);
    abortButton->setText(AbortCaption);
    return answer == Answer::JoinAnyway;
}

void ReportDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    placeOverMainWindow();
}

void ReportDialog::placeOverMainWindow() {
    const QRect main = mainWindow_->frameGeometry();
    const QSize own = frameGeometry().size();
    QPoint at(main.left() + own.width() / 2, main.top() + own.height() / 2);
    if (!shownBefore_) {
        shownBefore_ = true;
        at = QPoint(std::max(0, main.left() + (main.width() - own.width()) / 2),
                    std::max(0, main.top() + (main.height() - own.height()) / 2));
    }
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) move(at);
    emit placed();
}

void ReportDialog::acknowledge() {
    reportArea->clearLines();
    reportArea->hide();
    answer_ = Answer::Ok;
    requestClose();
    emit acknowledged();
}

void ReportDialog::chooseJoinAnyway() {
    answer_ = Answer::JoinAnyway;
    joinAnywayButton->hide();
    abortButton->hide();
    okButton->show();
    requestClose();
}

void ReportDialog::chooseAbort() {
    answer_ = Answer::Abort;
    joinAnywayButton->hide();
    abortButton->hide();
    okButton->show();
    requestClose();
}

void ReportDialog::runButton(void (ReportDialog::*handler)()) {
    runGuarded([&] { (this->*handler)(); });
    if (closeRequested_) {
        closeRequested_ = false;
        done(QDialog::Accepted);
    }
}

void ReportDialog::resetToIdle() {
    joinAnywayButton->hide();
    abortButton->hide();
    okButton->show();
    reportArea->hide();
    reportArea->clearLines();
}

void ReportDialog::done(int result) {
    if (closing_) return;
    closing_ = true;
    QDialog::done(result);
    resetToIdle();
    closing_ = false;
}

void ReportDialog::keyPressEvent(QKeyEvent* e) {
    // No cancel key and no default key: only Space or Enter on the focused button.
    if (e->key() == Qt::Key_Escape) return;
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget());
            b && b->isVisible() && b->isEnabled())
            b->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void ReportDialog::closeEvent(QCloseEvent* e) {
    // A close from the window system closes the dialog as any other close does.
    QDialog::closeEvent(e);
}
