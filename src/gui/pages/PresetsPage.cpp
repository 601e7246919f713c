// SPDX-License-Identifier: GPL-3.0-or-later
// The presets page: ten buttons that each split a file at a medium's exact
// size, its run of the split engine, Cancel/Undo, the hover outline, the
// folder picture, and the page's steps in the window's navigation and close
// request. Its controls are built in PresetsPageLayout.cpp.
#include "gui/pages/PresetsPage.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "gui/PartRemoval.h"
#include "gui/ReportDialog.h"
#include "gui/Seams.h"
#include "gui/SplitRun.h"
#include "gui/Widgets.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "presets/Presets.h"
#include "split/SetFiles.h"
#include "split/SplitEngine.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <utility>

using namespace tfs;

namespace {

const QString CancelCaption = QStringLiteral("Cancel");
const QString UndoCaption = QStringLiteral("Undo");

} // namespace

// The part list file of the last preset split; empty before the first one.
QString PresetsPage::presetListPath() const {
    return state_.PresetListBase.isEmpty() ? QString()
                                           : state_.PresetListBase + QStringLiteral(".txt");
}

// ---------------------------------------------------------------- navigation

void PresetsPage::prepareToShow() {
    presetsDestinationPicture->setEnabled(false);
    presetsGauge->setProgress(0);
    presetsHint->setVisible(true);
    presetsCancelButton->setText(CancelCaption);
    presetsCancelButton->setEnabled(false);
}

void PresetsPage::prepareToLeave() {
    presetsDestinationPicture->setEnabled(false);
    presetsCancelButton->setText(CancelCaption);
    setPresetButtonsEnabled(true);
}

void PresetsPage::dialogClosed() {
    presetsCancelButton->setEnabled(false);
    presetsCancelButton->setText(CancelCaption);
}

void PresetsPage::reportAcknowledged() { presetsHint->setVisible(true); }

// A close request while a preset split runs (or after one that failed and
// left its parts) cancels it; a finished or untouched page is left alone.
// The gauge can't tell: it shows 0 during the first half percent of a split
// and 100 during the last.
void PresetsPage::stopForClose() {
    if (running() || !partsLeft_.isEmpty()) cancelOrUndoPreset();
}

// ---------------------------------------------------------------- the ten presets

void PresetsPage::runFloppy12Preset() { runMediaPreset(0); }
void PresetsPage::runFloppy144Preset() { runMediaPreset(1); }
void PresetsPage::runFloppy288Preset() { runMediaPreset(2); }
void PresetsPage::runZip100Preset() { runMediaPreset(3); }
void PresetsPage::runZip250Preset() { runMediaPreset(4); }
void PresetsPage::runCd650Preset() { runMediaPreset(5); }
void PresetsPage::runCd700Preset() { runMediaPreset(6); }
void PresetsPage::runCd800Preset() { runMediaPreset(7); }
void PresetsPage::runDvdPreset() { runMediaPreset(8); }
void PresetsPage::runFat32Preset() { runMediaPreset(9); }

void PresetsPage::runMediaPreset(int index) {
    const MediaPreset& preset = mediaPresets().at(index);
    setPresetButtonsEnabled(false);
    if (preset.showsHint) presetsHint->setVisible(true);
    state_.SplitPartPaths.clear();
    removeLeftoverParts();
    emit splitStarting();
    presetsCancelButton->setText(CancelCaption);
    state_.PresetPartSize = preset.partSize;

    // However the command ends (a file error included), it ends the same way:
    // Undo is offered while the last preset split's list is there, and the
    // page's buttons work again. After a split that failed, the button stays
    // Cancel: it removes the parts that split left, not an earlier split.
    const auto end = qScopeGuard([this] {
        const QString list = presetListPath();
        if (partsLeft_.isEmpty() && !list.isEmpty() && partListExists(list))
            presetsCancelButton->setText(UndoCaption);
        state_.SourceFileSize = 0;
        setPresetButtonsEnabled(true);
    });
    runPresetSplit();
}

void PresetsPage::runPresetSplit() {
    if (!sourceDialog_.exec(window())) return;
    state_.SourceFilePath = sourceDialog_.fileName();
    state_.SourceFileSize = measureFile(state_.SourceFilePath);
    if (!fillsMedium(state_.SourceFileSize, state_.PresetPartSize)) {
        const MediaPreset* preset = mediaPresetOfSize(state_.PresetPartSize);
        reportDialog_.report(preset ? preset->smallerLines : QStringList());
        return;
    }

    if (!folderBrowser_.exec(window())) return;
    presetsHint->setVisible(false);
    state_.SplitDestFolder = withTrailingSeparator(folderBrowser_.folder());
    state_.FreeSpaceDrive = state_.SplitDestFolder;
    presetsDestinationPicture->setEnabled(true);

    // The split page's part size, when one is typed there, must fit the source too.
    const qint64 typed = typedPartSize ? typedPartSize() : 0;
    if (typed > 0 && state_.SourceFileSize < typed) {
        reportDialog_.report(
            {QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    // The source may have changed meanwhile.
    requireSplittableSource(state_.SourceFilePath, state_.SplitDestFolder);
    presetsCancelButton->setEnabled(true);
    SplitRun run;
    {
        const OperationScope operation(this);
        run = splitAndList(state_, state_.SourceFilePath, partsLeft_, recovery.percent(),
                           presetsGauge, [this](const std::function<void()>& completed) {
                               return runSplit(state_.SourceFilePath, state_.PresetPartSize,
                                               completed);
                           });
    }
    state_.PresetListBase = state_.SplitDestFolder + fileNameOf(state_.SourceFilePath);
    if (!run.notes.isEmpty()) reportDialog_.report(run.notes);
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

SplitOutcome PresetsPage::runSplit(const QString& sourcePath, qint64 partSize,
                                   const std::function<void()>& completed) {
    SplitView view;
    view.completed = completed;
    view.gauge = presetsGauge;
    view.refused = [this] { presetsCancelButton->setEnabled(false); };
    view.cancelled = [this] { presetsGauge->setProgress(0); };
    // The parts that a failed split left (of either page) go before a new
    // split starts: once forgotten, nothing would remove them, and the new
    // set may take their names.
    removeLeftoverParts();
    emit splitStarting();
    return runSplitFromPage(state_, reportDialog_, view, sourcePath, partSize);
}

void PresetsPage::removeLeftoverParts() { ::removeLeftoverParts(partsLeft_); }

// ---------------------------------------------------------------- Cancel and Undo

void PresetsPage::cancelOrUndoPreset() {
    setPresetButtonsEnabled(false);
    presetsDestinationPicture->setEnabled(false);
    state_.SplitCancelFlag = 1;
    if (running()) {
        // Cancel of the running split: it stops before its next block. Its
        // parts go here, a step at a time with the event loop turning (the
        // engine's own removal would hold the window for as long as it
        // takes). The previous split's parts and list are not this Cancel's
        // business, and the buttons come back when the command ends.
        presetsCancelButton->setEnabled(false);
        presetsHint->setVisible(true);
        removePartsStepping(state_.SplitPartPaths, presetsGauge);
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
// offered Undo does this: a close request must not remove finished output.
// After a failed preset split, the parts it left are deleted instead. False
// when a removal of the page's parts is running already.
bool PresetsPage::undoPresetSplit() {
    if (!partsLeft_.isEmpty())
        return removePartsStepping(std::exchange(partsLeft_, {}), presetsGauge);
    const QString list = presetListPath();
    if (presetsCancelButton->text() != UndoCaption || list.isEmpty() || !partListExists(list))
        return true;
    if (!removePartsStepping(state_.SplitPartPaths, presetsGauge)) return false;
    removeSetFiles(list);
    return true;
}

// ---------------------------------------------------------------- hover outline and folder picture

void PresetsPage::outlinePreset(QWidget* button) {
    presetOutline->setGeometry(button->x() - 1, button->y() - 1, button->width() + 2,
                               button->height() + 2);
    presetOutline->setVisible(true);
}

void PresetsPage::hidePresetOutline() { presetOutline->setVisible(false); }

void PresetsPage::openPresetsDestination() { openInShell(window(), state_.SplitDestFolder); }
void PresetsPage::pressPresetsDestinationPicture() {
    presetsDestinationPicture->move(presetsDestinationPicture->pos() + QPoint(1, 1));
}
void PresetsPage::releasePresetsDestinationPicture() {
    presetsDestinationPicture->move(presetsDestinationPicture->pos() - QPoint(1, 1));
}

// ---------------------------------------------------------------- button groups

void PresetsPage::setPresetButtonsEnabled(bool enabled) {
    for (QWidget* w : QList<QWidget*>{floppy12Button, floppy144Button, floppy288Button,
                                      zip100Button, zip250Button, cd650Button, cd700Button,
                                      cd800Button, dvdButton, fat32Button, presetsMainButton})
        w->setEnabled(enabled);
}
