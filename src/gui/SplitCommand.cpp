// SPDX-License-Identifier: GPL-3.0-or-later
// The split page's Split button (checks, conversion, the split, the part list),
// its run of the split engine, and its Cancel/Undo button.
#include "core/NumberText.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "gui/PartRemoval.h"
#include "gui/ReportDialog.h"
#include "gui/Seams.h"
#include "gui/SplitRun.h"
#include "gui/Widgets.h"
#include "gui/pages/SplitPage.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/SetFiles.h"
#include "split/SizeUnits.h"
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

void SplitPage::startSplit() {
    setSplitButtonsEnabled(false);
    splitHint->setVisible(true);
    state_.SplitPartPaths.clear();
    partsLeft_.clear();
    listWritten_.clear(); // from now on Cancel belongs to this split
    splitCancelButton->setText(Cancel);
    splitCancelButton->setEnabled(true);

    // The part count needs a unit, so the unit is checked first.
    const QString unitText = unitBox->currentText();
    if (sizeunits::indexOf(unitText) < 0) {
        reportDialog_.report(unitRefusal(unitText));
        return;
    }

    const qint64 product = checkedMultiply(parseWholeNumber(partCountField->text()),
                                           parseWholeNumber(partSizeField->text()));
    if (product == 0) {
        reportDialog_.report(
            {QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        splitCancelButton->setEnabled(false);
        splitMainButton->setEnabled(true);
        return;
    }

    if (partSizeField->text() == sourceSizeField->text()) {
        partCountField->setText(QStringLiteral("1"));
        reportDialog_.report({QString(), QString(), QString(),
                              QStringLiteral("As a Result You will have identical file")});
        splitCancelButton->setEnabled(false);
        splitMainButton->setEnabled(true);
        return;
    }

    if (parseNumberText(partSizeField->text()) > parseNumberText(sourceSizeField->text())) {
        reportDialog_.report(
            {QString(), QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    updatePartSizeBytes();
    requireSplittableSource(state_.SourceFilePath, state_.SplitDestFolder);
    splitHint->setVisible(splitButton->isEnabled());
    const SplitRun run =
        splitAndList(state_, state_.SourceFilePath, partsLeft_, recovery.percent(), splitGauge,
                     [this](const std::function<void()>& completed) {
                         return runSplit(state_.SourceFilePath, state_.PartSizeBytes, completed);
                     });
    listWritten_ = run.list;
    state_.SplitSourceName = fileNameOf(state_.SourceFilePath);
    if (!listWritten_.isEmpty() && partListExists(listWritten_)) splitCancelButton->setText(Undo);
    setSplitButtonsEnabled(true);
    if (!run.notes.isEmpty()) reportDialog_.report(run.notes);
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

SplitOutcome SplitPage::runSplit(const QString& sourcePath, qint64 partSize,
                                 const std::function<void()>& completed) {
    SplitView view;
    view.completed = completed;
    view.gauge = splitGauge;
    view.partStarted = [this] { destinationField->setText(state_.SplitDestFolder); };
    view.refused = [this] { splitCancelButton->setEnabled(false); };
    view.cancelled = [this] { splitGauge->stepDownToZero(); };
    // Marks the run, also when a file error ends it. The part size and the
    // unit stay as the split took them while it runs.
    const OperationScope operation(this, {partSizeField, unitBox});
    // The parts that a failed split left (of either page) go before a new
    // split starts: once forgotten, nothing would remove them, and the new
    // set may take their names.
    removeLeftoverParts();
    emit splitStarting();
    return runSplitFromPage(state_, reportDialog_, view, sourcePath, partSize);
}

void SplitPage::removeLeftoverParts() { ::removeLeftoverParts(partsLeft_); }

void SplitPage::cancelOrUndo() {
    setSplitButtonsEnabled(false);
    splitMainButton->setEnabled(false);
    state_.SplitCancelFlag = 1;

    // The event loop turns while the parts go: this Cancel is pressed once,
    // and one re-entered (by a close request) leaves the removal to it.
    splitCancelButton->setEnabled(false);
    // A complete set goes only with the list this split wrote (as Undo, even
    // once an edited part size has turned the caption back to Cancel): after
    // a split whose list could not be written, Cancel keeps the parts, as the
    // error box says.
    const bool completeSetKept = !running() && partsLeft_.isEmpty() && listWritten_.isEmpty();
    const QStringList parts = completeSetKept ? QStringList() : state_.SplitPartPaths;
    if (!removePartsStepping(parts, splitGauge)) return;
    partsLeft_.clear();
    if (!parts.isEmpty()) {
        splitGauge->setVisible(true);
        splitHint->setText(fileNameOf(sourceDialog_.fileName()) +
                           QStringLiteral(" is Already Looaded"));
        splitHint->setVisible(true);
    }

    // Only the list that this split wrote goes, and only while the parts it
    // names are the ones listed.
    if (!listWritten_.isEmpty() && !parts.isEmpty() &&
        basePathOf(parts.first()) + QStringLiteral(".txt") == listWritten_) {
        removeSetFiles(listWritten_);
    }
    listWritten_.clear();

    splitCancelButton->setEnabled(false);
    if (splitCancelButton->text() == Undo) splitCancelButton->setText(Cancel);
    // A running split re-enables the page itself once the engine has returned.
    if (!running()) {
        splitMainButton->setEnabled(true);
        setSplitButtonsEnabled(true);
    }
}
