// The split panel's Split button (checks, conversion, the split, the part list)
// and its Cancel/Undo button.
#include "core/NumberText.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/PartRemoval.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SizeUnits.h"
#include "split/SplitCheckFiles.h"
#include "split/SplitEngine.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace tfs;

namespace {

const QString Cancel = QStringLiteral("Cancel");
const QString Undo = QStringLiteral("Undo");

// A unit text that names none of the four units is refused before a split.
QStringList unitRefusal(const QString& unitText) {
    if (unitText.isEmpty())
        return {QString(), QString(), QString(), QStringLiteral("You must select Unit !")};
    return {QString(),
            QString(),
            QString(),
            QStringLiteral("   Unknown unit \"%1\"").arg(unitText),
            QStringLiteral("   Choose Bytes, Kilobytes,"),
            QStringLiteral("   Megabytes or Gigabytes !")};
}

} // namespace

void MainWindow::startSplit() {
    setSplitButtonsEnabled(false);
    splitHint->setVisible(true);
    G.SplitPartPaths.clear();
    splitPartsLeft_.clear();
    splitListWritten_.clear(); // from now on Cancel belongs to this split
    splitCancelButton->setText(Cancel);
    splitCancelButton->setEnabled(true);

    // The part count needs a unit, so the unit is checked first.
    const QString unitText = unitBox->currentText();
    if (sizeunits::indexOf(unitText) < 0) {
        G.reportDialog->report(unitRefusal(unitText));
        return;
    }

    const qint64 product = checkedMultiply(parseWholeNumber(partCountField->text()),
                                           parseWholeNumber(partSizeField->text()));
    if (product == 0) {
        G.reportDialog->report(
            {QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        splitCancelButton->setEnabled(false);
        splitMainButton->setEnabled(true);
        return;
    }

    if (partSizeField->text() == sourceSizeField->text()) {
        partCountField->setText(QStringLiteral("1"));
        G.reportDialog->report({QString(), QString(), QString(),
                                QStringLiteral("As a Result You will have identical file")});
        splitCancelButton->setEnabled(false);
        splitMainButton->setEnabled(true);
        return;
    }

    if (parseNumberText(partSizeField->text()) > parseNumberText(sourceSizeField->text())) {
        G.reportDialog->report(
            {QString(), QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    updatePartSizeBytes();
    requireSplittableSource(G.SourceFilePath, G.SplitDestFolder);
    splitHint->setVisible(splitButton->isEnabled());
    const SplitRun run = splitAndList(G.SourceFilePath, G.PartSizeBytes, splitPartsLeft_);
    splitListWritten_ = run.list;
    G.SplitSourceName = fileNameOf(G.SourceFilePath);
    if (!splitListWritten_.isEmpty() && partListExists(splitListWritten_))
        splitCancelButton->setText(Undo);
    setSplitButtonsEnabled(true);
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

void MainWindow::cancelOrUndo() {
    setSplitButtonsEnabled(false);
    splitMainButton->setEnabled(false);
    G.SplitCancelFlag = 1;

    // The event loop turns while the parts go: this Cancel is pressed once,
    // and one re-entered (by a close request) leaves the removal to it.
    splitCancelButton->setEnabled(false);
    // A complete set goes only with the list this split wrote (as Undo, even
    // once an edited part size has turned the caption back to Cancel): after
    // a split whose list could not be written, Cancel keeps the parts, as the
    // error box says.
    const bool completeSetKept =
        !splitEngineRunning_ && splitPartsLeft_.isEmpty() && splitListWritten_.isEmpty();
    const QStringList parts = completeSetKept ? QStringList() : G.SplitPartPaths;
    if (!removePartsStepping(parts, splitGauge)) return;
    splitPartsLeft_.clear();
    if (!parts.isEmpty()) {
        splitGauge->setVisible(true);
        splitHint->setText(fileNameOf(sourceDialog.FileName) +
                           QStringLiteral(" is Already Looaded"));
        splitHint->setVisible(true);
    }

    // Only the list that this split wrote goes, and only while the parts it
    // names are the ones listed (a preset split may have run since).
    if (!splitListWritten_.isEmpty() && !parts.isEmpty() &&
        basePathOf(parts.first()) + QStringLiteral(".txt") == splitListWritten_) {
        deletePartList(splitListWritten_);
        deleteCheckFilesOf(splitListWritten_);
    }
    splitListWritten_.clear();

    splitCancelButton->setEnabled(false);
    if (splitCancelButton->text() == Undo) splitCancelButton->setText(Cancel);
    // A running split re-enables the panel itself once the engine has returned.
    if (!splitEngineRunning_) {
        splitMainButton->setEnabled(true);
        setSplitButtonsEnabled(true);
    }
}
