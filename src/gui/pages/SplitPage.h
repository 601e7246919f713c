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
class Memo;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class ReportDialog;

// The split page: a source loaded (its size shown in four units), the part
// size and its unit, the number of parts, the destination folder, the Split
// command and its Cancel/Undo. It owns the split's state, knows whether its
// split runs and keeps the parts that a failed split left; the source and
// folder dialogs and the report dialog are the window's, shared with the
// other pages.
class SplitPage : public OperationPage {
    Q_OBJECT
public:
    SplitPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& sourceDialog,
              FolderBrowser& folderBrowser);

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
    RecoverySetting recovery; // "Recovery data" and its percentage, shared with the presets

    // The page as the start page's button opens it, and as "Main" leaves it.
    void prepareToShow();
    void prepareToLeave();

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
    void openDestination();
    void startSplit();
    void cancelOrUndo();
    // Load, Split, Destination and Main; Split and Destination come back only
    // with a part size.
    void setSplitButtonsEnabled(bool enabled);
    // The split engine run with the page's gauge, destination field and
    // report dialog; `completed` runs once it has completed (SplitHooks::completed).
    tfs::SplitOutcome runSplit(const QString& sourcePath, qint64 partSize,
                               const std::function<void()>& completed = {});

    // The part size typed here, in bytes; 0 while the field is empty.
    qint64 typedPartSize();
    // The parts that a failed split of this page left go (before a split of
    // another page starts).
    void removeLeftoverParts();

    // A close request while the split runs cancels it first; so does one
    // after a split that failed and left its parts listed.
    void stopForClose() override;
    // The report dialog shown over the window, and its OK: the hint comes back.
    void reportPlaced();
    void reportAcknowledged() override;

    SplitState& state() { return state_; }
    const SplitState& state() const { return state_; }

signals:
    // A split of this page starts: the parts that a failed split of another
    // page left go first.
    void splitStarting();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void settleFields();
    void sourcePathChanged();
    void destinationChanged();
    void pressDestinationPicture();
    void releaseDestinationPicture();

    ReportDialog& reportDialog_;
    FileOpenDialog& sourceDialog_;
    FolderBrowser& folderBrowser_;
    SplitState state_;
    // The list file written by the split that Cancel/Undo belongs to.
    QString listWritten_;
    // The parts that a failed split left on disk, which Cancel (or closing
    // the window) still removes.
    QStringList partsLeft_;
};
