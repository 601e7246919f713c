// The presets panel: ten buttons that each split a file at a medium's exact
// size, Cancel/Undo, the hover outline, the folder picture, and the panel's
// steps in the window's navigation and close request.
#include "app/PartRemoval.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
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
bool removeParts(TForm1* f, const QStringList& paths) {
    return removePartsStepping(paths, f->Gauge5);
}

void setPresetButtonsEnabled(TForm1* f, bool enabled) {
    const QList<QWidget*> buttons{f->BitBtn23, f->BitBtn15, f->suiImageButton11, f->BitBtn16,
                                  f->suiImageButton6, f->suiImageButton7, f->BitBtn17,
                                  f->suiImageButton13, f->BitBtn18, f->suiImageButton8, f->BitBtn19};
    for (QWidget* w : buttons)
        w->setEnabled(enabled);
}

} // namespace

// ---------------------------------------------------------------- navigation

void TForm1::suiImageButton4Click() {
    sakrigrupe();
    Image7->setEnabled(false);
    Gauge5->setProgress(0);
    gedit5->setVisible(true);
    GroupBox5->setVisible(true);
    BitBtn20->setText(CancelCaption);
    BitBtn20->setEnabled(false);
}

void TForm1::BitBtn19Click() {
    sakrigrupe();
    Image7->setEnabled(false);
    BitBtn20->setText(CancelCaption);
    enablepresets();
    GroupBox1->setVisible(true);
}

// A close request while a preset split runs (or after one that failed and
// left its parts) cancels it; a finished or untouched panel is left alone.
// The gauge can't tell: it shows 0 during the first half percent of a split
// and 100 during the last.
void TForm1::presetsPanelCloseStep() {
    if (presetSplitRunning_ || !presetPartsLeft_.isEmpty()) BitBtn20Click();
}

// ---------------------------------------------------------------- the ten presets

void TForm1::BitBtn23Click() { runMediaPreset(0); }
void TForm1::BitBtn15Click() { runMediaPreset(1); }
void TForm1::suiImageButton11Click() { runMediaPreset(2); }
void TForm1::BitBtn16Click() { runMediaPreset(3); }
void TForm1::suiImageButton6Click() { runMediaPreset(4); }
void TForm1::suiImageButton7Click() { runMediaPreset(5); }
void TForm1::BitBtn17Click() { runMediaPreset(6); }
void TForm1::suiImageButton13Click() { runMediaPreset(7); }
void TForm1::BitBtn18Click() { runMediaPreset(8); }
void TForm1::suiImageButton8Click() { runMediaPreset(9); }

void TForm1::runMediaPreset(int index) {
    const MediaPreset& preset = mediaPresets().at(index);
    disabledpresets();
    if (preset.showsHint)
        gedit5->setVisible(true);
    G.SplitPartPaths.clear();
    removeLeftoverParts();
    BitBtn20->setText(CancelCaption);
    G.PresetPartSize = preset.partSize;

    // However the command ends (a file error included), it ends the same way:
    // Undo is offered while the last preset split's list is there, and the
    // panel's buttons work again. After a split that failed, the button stays
    // Cancel: it removes the parts that split left, not an earlier split.
    const auto end = qScopeGuard([this] {
        const QString list = presetListPath();
        if (presetPartsLeft_.isEmpty() && !list.isEmpty() && partListExists(list))
            BitBtn20->setText(UndoCaption);
        G.SourceFileSize = 0;
        enablepresets();
    });
    standardniformati();
}

void TForm1::standardniformati() {
    if (!OpenDialog1.Execute(this))
        return;
    G.SourceFilePath = OpenDialog1.FileName;
    G.JoinOutputPath = fileNameOf(G.SourceFilePath);
    G.SourceFileSize = measureFile(G.SourceFilePath);
    if (!fillsMedium(G.SourceFileSize, G.PresetPartSize)) {
        const MediaPreset* preset = mediaPresetOfSize(G.PresetPartSize);
        G.Form3->Report(preset ? preset->smallerLines : QStringList());
        return;
    }

    if (!JamBfF1.Execute(this))
        return;
    gedit5->setVisible(false);
    G.SplitDestFolder = withTrailingSeparator(JamBfF1.Folder);
    G.FreeSpaceDrive = G.SplitDestFolder;
    Image7->setEnabled(true);

    // The Split panel's part size, when one is typed there, must fit the source too.
    konverzijaBKMG();
    if (!Edit2->text().isEmpty() && G.SourceFileSize < G.PartSizeBytes) {
        G.Form3->Report({QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    requireSplittableSource(G.SourceFilePath, G.SplitDestFolder); // it may have changed meanwhile
    BitBtn20->setEnabled(true);
    SplitRun run;
    {
        const QScopedValueRollback<bool> running(presetSplitRunning_, true);
        run = splitAndList(G.SourceFilePath, G.PresetPartSize, presetPartsLeft_);
    }
    G.PresetListBase = G.SplitDestFolder + fileNameOf(G.SourceFilePath);
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

// ---------------------------------------------------------------- Cancel and Undo

void TForm1::BitBtn20Click() {
    presdisabled();
    Image7->setEnabled(false);
    G.SplitCancelFlag = 1;
    if (presetSplitRunning_) {
        // Cancel of the running split: it stops before its next block and
        // removes its own parts. The previous split's parts and list are not
        // this Cancel's business, and the buttons come back when the command ends.
        BitBtn20->setEnabled(false);
        gedit5->setVisible(true);
        return;
    }
    // Pressed once: the event loop turns while the parts go, and a Cancel
    // re-entered meanwhile (by a close request) leaves the removal to this one.
    BitBtn20->setEnabled(false);
    if (!undoPresetSplit()) return;
    presenabled();
    BitBtn19->repaint();
    gedit5->setVisible(true);
}

// Deletes the parts of the finished preset split, then its list. Only an
// offered Undo does this: the close request also reaches here while a Split
// panel split moves the gauge, and must not remove finished output. After a
// failed preset split, the parts it left are deleted instead. False when a
// removal of the panel's parts is running already.
bool TForm1::undoPresetSplit() {
    if (!presetPartsLeft_.isEmpty()) return removeParts(this, std::exchange(presetPartsLeft_, {}));
    const QString list = presetListPath();
    if (BitBtn20->text() != UndoCaption || list.isEmpty() || !partListExists(list)) return true;
    if (!removeParts(this, G.SplitPartPaths)) return false;
    deletePartList(list);
    deleteCheckFilesOf(list);
    return true;
}

// ---------------------------------------------------------------- hover outline and folder picture

void TForm1::BitBtn23MouseEnter(QWidget* button) {
    Shape1->setGeometry(button->x() - 1, button->y() - 1, button->width() + 2, button->height() + 2);
    Shape1->setVisible(true);
}

void TForm1::BitBtn23MouseExit() { Shape1->setVisible(false); }

void TForm1::Image7Click() { openInShell(G.SplitDestFolder); }
void TForm1::Image7MouseDown() { Image7->move(Image7->pos() + QPoint(1, 1)); }
void TForm1::Image7MouseUp() { Image7->move(Image7->pos() - QPoint(1, 1)); }

// ---------------------------------------------------------------- button groups

void TForm1::disabledpresets() { setPresetButtonsEnabled(this, false); }
void TForm1::enablepresets() { setPresetButtonsEnabled(this, true); }
void TForm1::presdisabled() { setPresetButtonsEnabled(this, false); }
void TForm1::presenabled() { setPresetButtonsEnabled(this, true); }
