// The presets panel: ten buttons that each split a file at a medium's exact
// size, Cancel/Undo, the hover outline, the folder picture, and the panel's
// steps in the window's navigation and close request.
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/PartRemoval.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "presets/Presets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SplitCheckFiles.h"
#include "split/SplitEngine.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <utility>

using namespace tfs;

namespace {

const QString CancelCaption = QStringLiteral("Cancel");
const QString UndoCaption = QStringLiteral("Undo");

// The part list file of the last preset split; empty before the first one.
QString presetListPath() {
    return G.PresetListBase.isEmpty() ? QString() : G.PresetListBase + QStringLiteral(".txt");
}

// Deletes parts in order, the gauge running down from 100 once over them all.
bool removeParts(MainWindow* f, const QStringList& paths) {
    return removePartsStepping(paths, f->presetsGauge);
}

} // namespace

// ---------------------------------------------------------------- navigation

void MainWindow::showPresetsPage() {
    presetsDestinationPicture->setEnabled(false);
    presetsGauge->setProgress(0);
    presetsHint->setVisible(true);
    showPage(presetsPanel);
    presetsCancelButton->setText(CancelCaption);
    presetsCancelButton->setEnabled(false);
}

void MainWindow::leavePresetsPage() {
    presetsDestinationPicture->setEnabled(false);
    presetsCancelButton->setText(CancelCaption);
    setPresetButtonsEnabled(true);
    showPage(startPanel);
}

// A close request while a preset split runs (or after one that failed and
// left its parts) cancels it; a finished or untouched panel is left alone.
// The gauge can't tell: it shows 0 during the first half percent of a split
// and 100 during the last.
void MainWindow::presetsPanelCloseStep() {
    if (presetSplitRunning_ || !presetPartsLeft_.isEmpty()) cancelOrUndoPreset();
}

// ---------------------------------------------------------------- the ten presets

void MainWindow::runFloppy12Preset() { runMediaPreset(0); }
void MainWindow::runFloppy144Preset() { runMediaPreset(1); }
void MainWindow::runFloppy288Preset() { runMediaPreset(2); }
void MainWindow::runZip100Preset() { runMediaPreset(3); }
void MainWindow::runZip250Preset() { runMediaPreset(4); }
void MainWindow::runCd650Preset() { runMediaPreset(5); }
void MainWindow::runCd700Preset() { runMediaPreset(6); }
void MainWindow::runCd800Preset() { runMediaPreset(7); }
void MainWindow::runDvdPreset() { runMediaPreset(8); }
void MainWindow::runFat32Preset() { runMediaPreset(9); }

void MainWindow::runMediaPreset(int index) {
    const MediaPreset& preset = mediaPresets().at(index);
    setPresetButtonsEnabled(false);
    if (preset.showsHint) presetsHint->setVisible(true);
    G.SplitPartPaths.clear();
    removeLeftoverParts();
    presetsCancelButton->setText(CancelCaption);
    G.PresetPartSize = preset.partSize;

    // However the command ends (a file error included), it ends the same way:
    // Undo is offered while the last preset split's list is there, and the
    // panel's buttons work again. After a split that failed, the button stays
    // Cancel: it removes the parts that split left, not an earlier split.
    const auto end = qScopeGuard([this] {
        const QString list = presetListPath();
        if (presetPartsLeft_.isEmpty() && !list.isEmpty() && partListExists(list))
            presetsCancelButton->setText(UndoCaption);
        G.SourceFileSize = 0;
        setPresetButtonsEnabled(true);
    });
    runPresetSplit();
}

void MainWindow::runPresetSplit() {
    if (!sourceDialog.Execute(this)) return;
    G.SourceFilePath = sourceDialog.FileName;
    G.JoinOutputPath = fileNameOf(G.SourceFilePath);
    G.SourceFileSize = measureFile(G.SourceFilePath);
    if (!fillsMedium(G.SourceFileSize, G.PresetPartSize)) {
        const MediaPreset* preset = mediaPresetOfSize(G.PresetPartSize);
        G.reportDialog->report(preset ? preset->smallerLines : QStringList());
        return;
    }

    if (!folderBrowser.Execute(this)) return;
    presetsHint->setVisible(false);
    G.SplitDestFolder = withTrailingSeparator(folderBrowser.Folder);
    G.FreeSpaceDrive = G.SplitDestFolder;
    presetsDestinationPicture->setEnabled(true);

    // The Split panel's part size, when one is typed there, must fit the source too.
    updatePartSizeBytes();
    if (!partSizeField->text().isEmpty() && G.SourceFileSize < G.PartSizeBytes) {
        G.reportDialog->report(
            {QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    requireSplittableSource(G.SourceFilePath, G.SplitDestFolder); // it may have changed meanwhile
    presetsCancelButton->setEnabled(true);
    SplitRun run;
    {
        const QScopedValueRollback<bool> running(presetSplitRunning_, true);
        run = splitAndList(G.SourceFilePath, G.PresetPartSize, presetPartsLeft_);
    }
    G.PresetListBase = G.SplitDestFolder + fileNameOf(G.SourceFilePath);
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

// ---------------------------------------------------------------- Cancel and Undo

void MainWindow::cancelOrUndoPreset() {
    setPresetButtonsEnabled(false);
    presetsDestinationPicture->setEnabled(false);
    G.SplitCancelFlag = 1;
    if (presetSplitRunning_) {
        // Cancel of the running split: it stops before its next block. Its
        // parts go here, a step at a time with the event loop turning (the
        // engine's own removal would hold the window for as long as it
        // takes). The previous split's parts and list are not this Cancel's
        // business, and the buttons come back when the command ends.
        presetsCancelButton->setEnabled(false);
        presetsHint->setVisible(true);
        removeParts(this, G.SplitPartPaths);
        return;
    }
    // Pressed once: the event loop turns while the parts go, and a Cancel
    // re-entered meanwhile (by a close request) leaves the removal to this one.
    presetsCancelButton->setEnabled(false);
    if (!undoPresetSplit()) return;
    setPresetButtonsEnabled(true);
    presetsMainButton->repaint();
    presetsHint->setVisible(true);
}

// Deletes the parts of the finished preset split, then its list. Only an
// offered Undo does this: the close request also reaches here while a Split
// panel split moves the gauge, and must not remove finished output. After a
// failed preset split, the parts it left are deleted instead. False when a
// removal of the panel's parts is running already.
bool MainWindow::undoPresetSplit() {
    if (!presetPartsLeft_.isEmpty()) return removeParts(this, std::exchange(presetPartsLeft_, {}));
    const QString list = presetListPath();
    if (presetsCancelButton->text() != UndoCaption || list.isEmpty() || !partListExists(list))
        return true;
    if (!removeParts(this, G.SplitPartPaths)) return false;
    deletePartList(list);
    deleteCheckFilesOf(list);
    return true;
}

// ---------------------------------------------------------------- hover outline and folder picture

void MainWindow::outlinePreset(QWidget* button) {
    presetOutline->setGeometry(button->x() - 1, button->y() - 1, button->width() + 2,
                               button->height() + 2);
    presetOutline->setVisible(true);
}

void MainWindow::hidePresetOutline() { presetOutline->setVisible(false); }

void MainWindow::openPresetsDestination() { openInShell(this, G.SplitDestFolder); }
void MainWindow::pressPresetsDestinationPicture() {
    presetsDestinationPicture->move(presetsDestinationPicture->pos() + QPoint(1, 1));
}
void MainWindow::releasePresetsDestinationPicture() {
    presetsDestinationPicture->move(presetsDestinationPicture->pos() - QPoint(1, 1));
}

// ---------------------------------------------------------------- button groups

void MainWindow::setPresetButtonsEnabled(bool enabled) {
    for (QWidget* w : QList<QWidget*>{floppy12Button, floppy144Button, floppy288Button,
                                      zip100Button, zip250Button, cd650Button, cd700Button,
                                      cd800Button, dvdButton, fat32Button, presetsMainButton})
        w->setEnabled(enabled);
}
