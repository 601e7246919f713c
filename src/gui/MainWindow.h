// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/gui: the window, the only floor that uses Qt Widgets. Start-up, the
// main window with its pages, the report dialog, the skin and the seams to
// the desktop. The program's entry (src/app) stands above it.

#include "gui/Seams.h"
#include "gui/pages/AboutPage.h"
#include "gui/pages/ComparePage.h"
#include "gui/pages/JoinPage.h"
#include "gui/pages/PresetsPage.h"
#include "gui/pages/SplitPage.h"
#include "gui/pages/StartPage.h"

#include <QStringList>
#include <QWidget>
#include <functional>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QStackedWidget;
class ReportDialog;

// The main window: one page at a time (start, split, join, compare, presets,
// about), each a class of its own with its layout, handlers and state. The
// window leads from the start page to the others and back, holds the dialogs
// the pages share (the report dialog, the file and folder dialogs), and
// follows the operations the pages start and end: files from the desktop
// wait while one runs, and a close request stops them first.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    // Runs a handler; an exception that escapes it goes to the top-level error
    // handler, which shows its text in a message box, and the program goes on.
    void guarded(const std::function<void()>& handler);
    static void showError(const QString& text);

    // Closes the window on the program's own behalf (never refused).
    void closeByProgram();
    // The report dialog through which the pages report and ask.
    ReportDialog* reportDialog() const { return reportDialog_; }
    bool closeCommandEnabled() const { return closeEnabled_; }

    // ---------------------------------------------------------------- pages
    StartPage* startPanel;
    SplitPage* splitPanel;     // "Split Files"
    JoinPage* joinPanel;       // "Join Files"
    ComparePage* comparePanel; // "Compare"
    PresetsPage* presetsPanel; // "Presets"
    AboutPage* aboutPanel;     // "About"

    // ---------------------------------------------------------------- dialogs the pages share
    FileOpenDialog sourceDialog{QStringLiteral("Select File to Split"), QString()};
    FileOpenDialog partDialog{QStringLiteral("Join Files"), QStringLiteral("Select File  (*.0*)")};
    FolderBrowser folderBrowser{QStringLiteral("Browse for Folder to store Your Splited Files"),
                                QStringLiteral(" Output Folder")};

    // ---------------------------------------------------------------- window and navigation
    void initialize();
    void arrange();
    // Shows one page in place of the one shown.
    void showPage(QWidget* page);
    QWidget* currentPage() const;
    // Grays the close command (and the title bar's close button) out, or gives it back.
    void setCloseAllowed(bool allowed);
    void keyWithoutFocus(QChar key);
    void stopOperationsBeforeClose();

    // Each page as the start page's button opens it, and as its "Main" leaves it.
    void showSplitPage();
    void leaveSplitPage();
    void showJoinPage();
    void leaveJoinPage();
    void showComparePage();
    void leaveComparePage();
    void showPresetsPage();
    void leavePresetsPage();
    void showAboutPage();
    void leaveAboutPage();

    // ---------------------------------------------------------------- files from the desktop
    // Loads the file handed to the program (its argument, as "Open With"
    // passes it) into the fitting page once the event loop runs.
    void openGiven(const QStringList& files);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // The pages made, with their signals bound to the window and to each other.
    void makePages();
    void operationStarted();
    void operationEnded();
    void settleSplitPageAfterJoin();
    void setTabOrder(const QList<QWidget*>& order);
    // Connects a control's signal to a handler run through guarded().
    template <class Sender, class Signal>
    void bind(Sender* sender, Signal signal, void (MainWindow::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    }

    // Sizes the window so that its outer size, frame included, is 340 x 365.
    void fitOuterSize();

    ReportDialog* reportDialog_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    // The pages that run operations, in the order a close request stops them.
    QList<OperationPage*> operationPages_;
    bool closeEnabled_ = true;
    bool shownBefore_ = false;
    bool programClose_ = false;
    // The pages' operations under way (a split, a join, a checksum, ...).
    int operationsRunning_ = 0;

    // Files from the desktop (DesktopOpen.cpp): where a drop lands, and the
    // loading of a file as each page's own dialog would have chosen it.
    enum class DropZone { None, Start, Split, Join, Checksum, Compare };
    DropZone dropZoneAt(const QPoint& pos) const;
    bool operationRunning() const;
    void prepareDrops();
    void takeDrop(DropZone zone, const QList<QUrl>& urls);
    void openInFittingPanel(const QString& path);
    void loadGiven(FileOpenDialog& dialog, const QStringList& paths,
                   const std::function<void()>& handler);
    void refuseOpening(const QStringList& report);
};
