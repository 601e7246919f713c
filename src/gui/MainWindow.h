#pragma once
// src/gui: the top floor, and the only one that uses Qt Widgets. Start-up, the
// main window with its pages, the report dialog, the skin and the seams to
// the desktop.

#include "gui/AboutPage.h"
#include "gui/ComparePage.h"
#include "gui/JoinPage.h"
#include "gui/Seams.h"
#include "gui/StartPage.h"
#include "split/SplitEngine.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStackedWidget;
class ClickLabel;
class LinkLabel;
class Gauge;
class Memo;
class PictureButton;
class ReportDialog;
class ShapeOutline;

// The main window: one panel at a time (start, split, join, compare, presets,
// about). Each panel's layout and handlers are defined in its own files
// (SplitPage.cpp, SplitPageLayout.cpp, ...); controls are named by what they
// hold and carry the same objectName.
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

    // ---------------------------------------------------------------- panels
    StartPage* startPanel;
    QGroupBox* splitPanel;     // "Split Files"
    JoinPage* joinPanel;       // "Join Files"
    ComparePage* comparePanel; // "Compare"
    QGroupBox* presetsPanel;   // "Presets"
    AboutPage* aboutPanel;     // "About"

    // ---------------------------------------------------------------- split panel
    QPushButton* loadSourceButton; // "Load  File"
    QLabel* convertedSizeLabel;
    Memo* convertedSizeList;
    QLabel* sourceSizeLabel;
    QLineEdit* sourceSizeField;
    QLabel* partSizeLabel;
    QLabel* unitLabel;
    QLabel* partCountLabel;
    QLineEdit* partSizeField;
    QComboBox* unitBox;
    QLineEdit* partCountField;
    QPushButton* splitButton; // "Split"
    QLabel* sourcePathLabel;
    QLineEdit* sourcePathField;
    QPushButton* destinationButton; // " Destination"
    QLabel* destinationLabel;
    ClickLabel* destinationPicture;
    QLineEdit* destinationField;
    Gauge* splitGauge;
    QLabel* splitHint;
    QPushButton* splitMainButton;   // "Main"
    QPushButton* splitCancelButton; // "Cancel" / "Undo"
    QMenu* partSizeMenu;

    // ---------------------------------------------------------------- presets panel
    PictureButton* floppy12Button;  // "1.2 MB"
    PictureButton* floppy144Button; // "1.44MB"
    PictureButton* floppy288Button; // "2.88MB"
    PictureButton* zip100Button;    // "100"
    PictureButton* zip250Button;    // "250"
    PictureButton* cd650Button;     // "650MB"
    PictureButton* cd700Button;     // "700MB"
    PictureButton* cd800Button;     // "800MB"
    PictureButton* dvdButton;       // "DVD"
    PictureButton* fat32Button;     // "Fat32"
    QLabel* fat32Label;
    ClickLabel* presetsDestinationPicture;
    ShapeOutline* presetOutline;
    Gauge* presetsGauge;
    QLabel* presetsHint;
    QPushButton* presetsMainButton;   // "Main"
    QPushButton* presetsCancelButton; // "Cancel" / "Undo"

    // ---------------------------------------------------------------- outside the panels
    FileOpenDialog sourceDialog{QStringLiteral("Select File to Split"), QString()};
    FileOpenDialog partDialog{QStringLiteral("Join Files"), QStringLiteral("Select File  (*.0*)")};
    FolderBrowser folderBrowser{QStringLiteral("Browse for Folder to store Your Splited Files"),
                                QStringLiteral(" Output Folder")};

    // ---------------------------------------------------------------- window and navigation
    void initialize();
    void arrange();
    // Shows one page (a panel) in place of the one shown.
    void showPage(QWidget* page);
    QWidget* currentPage() const;
    // Grays the close command (and the title bar's close button) out, or gives it back.
    void setCloseAllowed(bool allowed);
    void operationEnded();
    void keyWithoutFocus(QChar key);
    void stopOperationsBeforeClose();

    // ---------------------------------------------------------------- split panel
    void showSplitPage(); // opens the panel
    void leaveSplitPage();
    void splitPanelStartup();   // runs inside initialize
    void splitPanelCloseStep(); // the panel's step of the close request
    void chooseSource();
    void unitChanged();
    bool unitKeyAllowed(QChar key); // false: the key is discarded
    void sourceSizeChanged();
    bool partSizeKeyAllowed(QChar key);        // false: the key is discarded
    bool partSizeKeyDownAllowed(QKeyEvent* e); // false: the key is discarded
    void partSizeChanged();
    qint64 partCount();
    void updatePartSizeBytes();
    void chooseDestination();
    void sourcePathChanged();
    void destinationChanged();
    void openDestination();
    void pressDestinationPicture();
    void releaseDestinationPicture();
    void sourceDialogClosed();
    void folderBrowserClosed();
    void startSplit();
    void cancelOrUndo();
    // Load, Split, Destination and Main; Split and Destination come back only
    // with a part size.
    void setSplitButtonsEnabled(bool enabled);
    // The split engine run with the window's hooks (gauges, destinationField, report dialog).
    tfs::SplitOutcome runSplit(const QString& sourcePath, qint64 partSize);
    // Split, then write the list: the Split command's and the presets' one
    // routine. Runs runSplit and, when the split ran to completion, writes
    // its part list beside the parts (list: its path; empty when none was
    // written; listError: why the list or its check files could not be
    // written, the parts being complete and kept). The parts that a failed split leaves go to
    // partsLeft, which the panel's Cancel, the close or the next split removes.
    struct SplitRun {
        tfs::SplitOutcome outcome = tfs::SplitOutcome::Cancelled;
        QString list;
        QString listError;
    };
    SplitRun splitAndList(const QString& sourcePath, qint64 partSize, QStringList& partsLeft);

    // ---------------------------------------------------------------- join page
    void showJoinPage(); // opens the page
    void leaveJoinPage();
    void settleSplitPageAfterJoin();

    // ---------------------------------------------------------------- compare panel
    void showComparePage(); // opens the page
    void leaveComparePage();

    // ---------------------------------------------------------------- presets panel
    void showPresetsPage(); // opens the panel
    void leavePresetsPage();
    void presetsPanelCloseStep();
    void runFloppy12Preset();
    void runFloppy144Preset();
    void runFloppy288Preset();
    void runZip100Preset();
    void runZip250Preset();
    void runCd650Preset();
    void runCd700Preset();
    void runCd800Preset();
    void runDvdPreset();
    void runFat32Preset();
    void runPresetSplit();
    void cancelOrUndoPreset();
    void outlinePreset(QWidget* button);
    void hidePresetOutline();
    void openPresetsDestination();
    void pressPresetsDestinationPicture();
    void releasePresetsDestinationPicture();
    void setPresetButtonsEnabled(bool enabled); // the ten presets and Main

    // ---------------------------------------------------------------- about panel
    void showAboutPage(); // opens the page
    void leaveAboutPage();

    // ---------------------------------------------------------------- files from the desktop
    // Loads the file handed to the program (its argument, as "Open With"
    // passes it) into the fitting panel once the event loop runs.
    void openGiven(const QStringList& files);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Each panel's controls, built at their places, with their events bound.
    void buildSplitPanel();
    void buildPresetsPanel();
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
    bool closeEnabled_ = true;
    bool shownBefore_ = false;
    bool programClose_ = false;

    // ------------------------------------------------ per-panel working state
    // Split panel: the list file written by the split that Cancel/Undo belongs to.
    QString splitListWritten_;
    // True while the split engine runs (split panel or presets): the split
    // panel's buttons stay disabled until it has returned.
    bool splitEngineRunning_ = false;
    // Presets panel: true while a preset split runs.
    bool presetSplitRunning_ = false;
    // Presets panel: a preset button's command around runPresetSplit, and
    // the Undo of a finished preset split.
    void runMediaPreset(int index);
    bool undoPresetSplit();
    // Split and presets panels: the parts that a failed split left on disk,
    // which the panel's Cancel (or closing the window) still removes.
    QStringList splitPartsLeft_;
    QStringList presetPartsLeft_;
    void removeLeftoverParts();

    // Files from the desktop (DesktopOpen.cpp): where a drop lands, and the
    // loading of a file as each panel's own dialog would have chosen it.
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
