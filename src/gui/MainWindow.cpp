// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/MainWindow.h"

#include "core/OperationError.h"
#include "gui/Guarded.h"
#include "gui/ReportDialog.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "gui/pages/AboutPage.h"
#include "gui/pages/StartPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>

MainWindow::MainWindow() : QWidget(nullptr) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tarvello File Splitter"));
    setWindowIcon(QIcon(QStringLiteral(":/art/tarvello-file-splitter.svg")));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_StyledBackground);
    setFont(skin::windowFont());
    setStyleSheet(skin::windowStyle());
    // Only the pages' controls take the focus: a focused window would be a
    // Tab stop where nothing shows it. Keys that no control takes come here.
    setFocusPolicy(Qt::NoFocus);

    makePages();

    // One page at a time, each filling the stack.
    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("pages"));
    for (QGroupBox* g : QList<QGroupBox*>{startPanel, splitPanel, joinPanel, comparePanel,
                                          presetsPanel, aboutPanel})
        pages_->addWidget(g);
    setTabOrder({startPanel, splitPanel, joinPanel, comparePanel, presetsPanel, aboutPanel});

    // Either dialog closing, from the split page or from the presets,
    // resets the presets page's Cancel button.
    sourceDialog.onClose = [this] { presetsPanel->dialogClosed(); };
    folderBrowser.onClose = [this] { presetsPanel->dialogClosed(); };

    prepareDrops();
    guarded([this] { initialize(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::makePages() {
    reportDialog_ = new ReportDialog(this);

    startPanel = new StartPage(this);
    bind(startPanel->splitPageButton, &QAbstractButton::clicked, &MainWindow::showSplitPage);
    bind(startPanel->joinPageButton, &QAbstractButton::clicked, &MainWindow::showJoinPage);
    bind(startPanel->comparePageButton, &QAbstractButton::clicked, &MainWindow::showComparePage);
    bind(startPanel->presetsPageButton, &QAbstractButton::clicked, &MainWindow::showPresetsPage);
    bind(startPanel->aboutPageButton, &QAbstractButton::clicked, &MainWindow::showAboutPage);

    splitPanel = new SplitPage(this, *reportDialog_, sourceDialog, folderBrowser);

    joinPanel = new JoinPage(this, *reportDialog_, partDialog, folderBrowser);
    bind(joinPanel, &JoinPage::exitRequested, &MainWindow::closeByProgram);
    bind(joinPanel, &JoinPage::joinCompleted, &MainWindow::settleSplitPageAfterJoin);

    comparePanel = new ComparePage(this, *reportDialog_, sourceDialog);

    presetsPanel = new PresetsPage(this, *reportDialog_, sourceDialog, folderBrowser);
    // The presets refuse a source smaller than the split page's part size.
    presetsPanel->typedPartSize = [this] { return splitPanel->typedPartSize(); };
    shareRecoverySetting({splitPanel->recovery, presetsPanel->recovery});

    aboutPanel = new AboutPage(this);
    bind(aboutPanel, &AboutPage::startPageRequested, &MainWindow::leaveAboutPage);

    // The pages that run operations, in the order a close request stops them,
    // each with the window's step as its "Main" leaves it.
    const QList<QPair<OperationPage*, void (MainWindow::*)()>> operationPages{
        {splitPanel, &MainWindow::leaveSplitPage},
        {joinPanel, &MainWindow::leaveJoinPage},
        {presetsPanel, &MainWindow::leavePresetsPage},
        {comparePanel, &MainWindow::leaveComparePage}};
    for (const auto& [page, leave] : operationPages) {
        operationPages_ << page;
        bind(page, &OperationPage::startPageRequested, leave);
        // Files from the desktop wait while a page's operation runs; once it
        // has ended the close command is offered again.
        bind(page, &OperationPage::operationStarted, &MainWindow::operationStarted);
        bind(page, &OperationPage::operationFinished, &MainWindow::operationEnded);
        // The report dialog's OK: each page's hint and Cancel as they were.
        connect(reportDialog_, &ReportDialog::acknowledged, page,
                &OperationPage::reportAcknowledged);
    }

    // A split of either page first removes what a failed split of the other left.
    connect(splitPanel, &SplitPage::splitStarting, presetsPanel, &PresetsPage::removeLeftoverParts);
    connect(presetsPanel, &PresetsPage::splitStarting, splitPanel, &SplitPage::removeLeftoverParts);

    // The report dialog shown over the window: the split page's hint as it was.
    connect(reportDialog_, &ReportDialog::placed, splitPanel, &SplitPage::reportPlaced);
}

void MainWindow::operationStarted() { ++operationsRunning_; }

void MainWindow::operationEnded() {
    --operationsRunning_;
    setCloseAllowed(true);
}

void MainWindow::guarded(const std::function<void()>& handler) { runGuarded(handler); }

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        MainWindow::showError(QString::fromStdString(e.what()));
    } catch (...) {
        MainWindow::showError(QStringLiteral("Unknown error"));
    }
}

// The message box stands over the main window, when there is one.
void MainWindow::showError(const QString& text) {
    QWidget* parent = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<MainWindow*>(w)) parent = window;
    seams().showError(parent, text);
}

void MainWindow::setTabOrder(const QList<QWidget*>& order) {
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------- start-up

void MainWindow::initialize() {
    // The tooltip delay (5 ms) is set by the application's style.
    arrange();
}

void MainWindow::arrange() {
    // Every page fills the stack from the start: the stack's layout places
    // only the page it shows, and only once the event loop runs.
    pages_->setGeometry(7, 5, startPanel->width(), startPanel->height());
    for (int i = 0; i < pages_->count(); ++i)
        pages_->widget(i)->setGeometry(pages_->rect());
    fitOuterSize();
    showPage(startPanel);
}

void MainWindow::fitOuterSize() {
    // The outer size, frame included, is the start panel's size + (20, 45).
    const QSize outer(startPanel->width() + 20, startPanel->height() + 45);
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(outer - frame);
}

void MainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shownBefore_) return;
    shownBefore_ = true;
    // The frame is known once the window is shown (a window manager may tell it later).
    fitOuterSize();
    QTimer::singleShot(300, this, [this] { fitOuterSize(); });
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        const QSize outer = frameGeometry().size();
        move(area.left() + (area.width() - outer.width()) / 2,
             area.top() + (area.height() - outer.height()) / 2);
    }
}

void MainWindow::showPage(QWidget* page) {
    // A hidden control keeps the focus unless told otherwise: the keys would
    // go on reaching it (Space pressing the hidden button that opened the page).
    // The stack would hand the focus on to the next page's first control.
    for (QWidget* focus : {QApplication::focusWidget(), focusWidget()})
        if (focus && isAncestorOf(focus)) focus->clearFocus();
    pages_->setCurrentWidget(page);
}

QWidget* MainWindow::currentPage() const { return pages_->currentWidget(); }

// ---------------------------------------------------------------- presets page

void MainWindow::showPresetsPage() {
    presetsPanel->prepareToShow();
    showPage(presetsPanel);
}

void MainWindow::leavePresetsPage() {
    presetsPanel->prepareToLeave();
    showPage(startPanel);
}

// ---------------------------------------------------------------- about page

void MainWindow::showAboutPage() {
    showPage(aboutPanel);
    if (aboutPanel->isVisible()) setCloseAllowed(false);
}

void MainWindow::leaveAboutPage() {
    setCloseAllowed(true);
    showPage(startPanel);
}

// ---------------------------------------------------------------- split page

void MainWindow::showSplitPage() {
    splitPanel->prepareToShow();
    showPage(splitPanel);
}

void MainWindow::leaveSplitPage() {
    showPage(startPanel);
    splitPanel->prepareToLeave();
}

// ---------------------------------------------------------------- join page

void MainWindow::showJoinPage() {
    joinPanel->prepareToShow();
    showPage(joinPanel);
}

void MainWindow::leaveJoinPage() {
    showPage(startPanel);
    joinPanel->prepareToLeave();
}

// A completed join leaves the split page's Cancel disabled and its Main
// enabled while it has no part size.
void MainWindow::settleSplitPageAfterJoin() {
    if (!splitPanel->partSizeField->text().isEmpty()) return;
    splitPanel->splitCancelButton->setEnabled(false);
    splitPanel->splitMainButton->setEnabled(true);
}

// ---------------------------------------------------------------- compare page

void MainWindow::showComparePage() {
    comparePanel->prepareToShow();
    showPage(comparePanel);
}

void MainWindow::leaveComparePage() {
    showPage(startPanel);
    comparePanel->prepareToLeave();
}

// ---------------------------------------------------------------- close command

namespace {
void setCloseButton(QWidget* window, bool enabled) {
    if (QWindow* handle = window->windowHandle()) {
        handle->setFlag(Qt::WindowCloseButtonHint, enabled);
    } else {
        window->setWindowFlag(Qt::WindowCloseButtonHint, enabled);
    }
}
} // namespace

void MainWindow::setCloseAllowed(bool allowed) {
    closeEnabled_ = allowed;
    setCloseButton(this, allowed);
}

void MainWindow::closeByProgram() {
    programClose_ = true;
    close();
    programClose_ = false;
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // While Close is greyed, a close asked for by the window system is ignored;
    // one the program asks for always goes through.
    if (!closeEnabled_ && !programClose_) {
        e->ignore();
        return;
    }
    guarded([this] { stopOperationsBeforeClose(); });
    e->accept();
}

void MainWindow::stopOperationsBeforeClose() {
    for (OperationPage* page : std::as_const(operationPages_))
        page->stopForClose();
}

// ---------------------------------------------------------------- keyboard

// A key that produces a character: letters, digits and signs, and also
// Escape, Enter/Return and Backspace (Esc, CR and BS); Tab moves the focus.
void MainWindow::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    const bool character = !text.isEmpty() && text.at(0) != QLatin1Char('\t');
    QWidget* focus = QApplication::focusWidget();
    if (character && (focus == nullptr || focus == this)) {
        const QChar key = text.at(0);
        guarded([this, key] { keyWithoutFocus(key); });
        return;
    }
    QWidget::keyPressEvent(e);
}

void MainWindow::keyWithoutFocus(QChar) {
    // The about page gives way to the start page; a work page stays. Either
    // way the close command comes back.
    if (currentPage() == aboutPanel) showPage(startPanel);
    setCloseAllowed(true);
}
