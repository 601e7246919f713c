// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/OperationState.h"
#include "gui/RecoverySetting.h"
#include "gui/pages/OperationPage.h"
#include "split/SplitEngine.h"

#include <QStringList>
#include <functional>

class ClickLabel;
class FileOpenDialog;
class FolderBrowser;
class Gauge;
class PictureButton;
class QLabel;
class QPushButton;
class ReportDialog;
class ShapeOutline;

// The presets page: ten buttons that each split a file at a medium's exact
// size, Cancel/Undo, the hover outline and the folder picture. It owns its
// split's state, knows whether a preset split runs and keeps the parts that a
// failed one left; the source and folder dialogs and the report dialog are
// the window's, shared with the other pages.
class PresetsPage : public OperationPage {
    Q_OBJECT
public:
    PresetsPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& sourceDialog,
                FolderBrowser& folderBrowser);

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
    RecoverySetting recovery; // "Recovery data" and its percentage, shared with the split page

    // The part size typed on the split page, in bytes (0 for none): a preset
    // split refuses a source smaller than it. Set by the window.
    std::function<qint64()> typedPartSize;

    // The page as the start page's button opens it, and as "Main" leaves it.
    void prepareToShow();
    void prepareToLeave();

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
    void setPresetButtonsEnabled(bool enabled); // the ten presets and Main
    // The split engine run with the page's gauge and report dialog; `completed`
    // runs once it has completed (SplitHooks::completed).
    tfs::SplitOutcome runSplit(const QString& sourcePath, qint64 partSize,
                               const std::function<void()>& completed = {});

    // The parts that a failed preset split left go (before a split of
    // another page starts).
    void removeLeftoverParts();
    // Either of the window's dialogs closing resets Cancel.
    void dialogClosed();

    // A close request while a preset split runs (or after one that failed and
    // left its parts) cancels it; a finished or untouched page is left alone.
    void stopForClose() override;
    // The report dialog's OK: the hint comes back.
    void reportAcknowledged() override;

    SplitState& state() { return state_; }
    const SplitState& state() const { return state_; }

signals:
    // A split of this page starts: the parts that a failed split of another
    // page left go first.
    void splitStarting();

private:
    void runMediaPreset(int index);
    bool undoPresetSplit();
    QString presetListPath() const;
    void pressPresetsDestinationPicture();
    void releasePresetsDestinationPicture();

    ReportDialog& reportDialog_;
    FileOpenDialog& sourceDialog_;
    FolderBrowser& folderBrowser_;
    SplitState state_;
    QStringList partsLeft_; // the parts that a failed preset split left
};
