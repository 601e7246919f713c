// SPDX-License-Identifier: GPL-3.0-or-later
// The split page's inputs: made ready to show and to leave, loading the source
// and showing its size in four units, the unit box, the part size with its
// filters and live checks, the number of parts, the destination folder and the
// two path fields, the page's step of the close request. Its controls are
// built in SplitPageLayout.cpp; the Split and Cancel/Undo buttons are in
// SplitCommand.cpp, the split's run in SplitRun.cpp.
#include "gui/pages/SplitPage.h"
#include "core/FileCopy.h"
#include "core/NumberText.h"
#include "core/OperationState.h"
#include "gui/PathShortening.h"
#include "gui/ReportDialog.h"
#include "gui/Seams.h"
#include "gui/Widgets.h"
#include "parts/Naming.h"
#include "split/SizeUnits.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

using namespace tfs;

namespace {

const QString LoadHint = QStringLiteral("             Click Load File to choose file to be split");

// Selects a unit as the program does: without running the unit box's change
// handler (the callers run it themselves where they need it).
void selectUnit(QComboBox* box, int index) {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index);
    box->setEditText(sizeunits::Names.at(index));
}

// Empties a field and runs its change handler, also when it was empty already,
// so that the buttons that depend on it are set either way.
void emptyField(SplitPage* page, QLineEdit* e, void (SplitPage::*change)()) {
    if (e->text().isEmpty())
        (page->*change)();
    else
        e->clear();
}

} // namespace

// ---------------------------------------------------------------- navigation

void SplitPage::prepareToShow() {
    splitHint->setText(LoadHint);
    splitHint->setVisible(true);
    splitGauge->setProgress(0);
    emptyField(this, sourceSizeField, &SplitPage::sourceSizeChanged);
    emptyField(this, partSizeField, &SplitPage::partSizeChanged);
    sourcePathField->clear();
    destinationField->clear();
    partCountField->clear();
    convertedSizeList->clearLines();
    selectUnit(unitBox, sizeunits::Megabytes);
    splitCancelButton->setText(QStringLiteral("Cancel"));
    splitCancelButton->setEnabled(false);
    destinationPicture->setEnabled(false);
}

void SplitPage::prepareToLeave() {
    setSplitButtonsEnabled(true);
    splitHint->setText(LoadHint);
    splitHint->setVisible(true);
    splitGauge->setProgress(0);
    destinationPicture->setEnabled(false);
}

// The fields as the page starts: no source size, the unit's checks run once.
void SplitPage::settleFields() {
    emptyField(this, sourceSizeField, &SplitPage::sourceSizeChanged);
    unitChanged();
}

// A close request while the split runs cancels it first; so does one after a
// split that failed and left its parts listed. The gauge can't tell: it shows
// 0 during the first half percent of a split and 100 during the last.
void SplitPage::stopForClose() {
    const bool failedPartsLeft = !partsLeft_.isEmpty() && partsLeft_ == state_.SplitPartPaths;
    if (running() || failedPartsLeft) cancelOrUndo();
}

// Split and Destination come back with the part size only: with none there
// is nothing to split (and no part count to check).
void SplitPage::setSplitButtonsEnabled(bool enabled) {
    loadSourceButton->setEnabled(enabled);
    splitMainButton->setEnabled(enabled);
    const bool partSize = enabled && !partSizeField->text().isEmpty();
    splitButton->setEnabled(partSize);
    destinationButton->setEnabled(partSize);
}

// ---------------------------------------------------------------- source

void SplitPage::chooseSource() {
    state_.SplitPartPaths.clear();
    partsLeft_.clear();
    listWritten_.clear(); // Cancel no longer belongs to the last split
    selectUnit(unitBox, sizeunits::Megabytes);
    emptyField(this, partSizeField, &SplitPage::partSizeChanged);
    convertedSizeList->clearLines();

    if (sourceDialog_.exec(window())) {
        const QString path = sourceDialog_.fileName();
        splitHint->setText(QLatin1Char(' ') + fileNameOf(path) + QStringLiteral(" Loaded"));
        state_.SourceFileSize = measureFile(path);
        state_.SourceFilePath = path;
        destinationPicture->setEnabled(true);
        state_.SplitDestFolder = withTrailingSeparator(folderOf(path));
        state_.FreeSpaceDrive = state_.SplitDestFolder;
        sourceSizeField->setText(QString::number(state_.SourceFileSize));
        sourcePathField->setText(state_.SourceFilePath);
        destinationField->setText(state_.SplitDestFolder);
        splitHint->setVisible(true);
        splitGauge->setProgress(0);
    }

    sourceSizeField->setText(
        QString::number(state_.SourceFileSize / sizeunits::Factors[sizeunits::Megabytes]));
    static const char* const prefixes[] = {"B=", "KB=", "MB=", "GB="};
    convertedSizeList->addLine(QStringLiteral("   "));
    for (int unit = 0; unit < 4; ++unit) {
        const double value = static_cast<double>(state_.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0)
            convertedSizeList->addLine(QLatin1String(prefixes[unit]) + numberText(value));
    }
    unitChanged();
}

void SplitPage::sourceSizeChanged() {
    const bool filled = !sourceSizeField->text().isEmpty();
    if (filled) unitBox->setEnabled(true);
    partSizeField->setEnabled(filled);
    if (sourceSizeField->text() == QLatin1String("0")) sourceSizeField->clear();
}

// ---------------------------------------------------------------- unit

bool SplitPage::unitKeyAllowed(QChar key) { return QStringLiteral("BbKkMmGg").contains(key); }

void SplitPage::unitChanged() {
    // The box's completion keeps the case typed: "gigabytes" becomes "Gigabytes".
    for (int i = 0; i < sizeunits::Names.size(); ++i)
        if (unitBox->currentText() == sizeunits::Names.at(i).toLower()) selectUnit(unitBox, i);
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit >= 0) {
        if (unitBox->currentIndex() != unit) selectUnit(unitBox, unit);
        const double value = static_cast<double>(state_.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0) sourceSizeField->setText(numberText(value));
    }
    if (partSizeField->text().isEmpty()) partCountField->clear();
    partSizeChanged();
}

// ---------------------------------------------------------------- part size

bool SplitPage::partSizeKeyAllowed(QChar key) {
    return (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key == QLatin1Char('\b');
}

// Pasting is discarded (Ctrl+V with any other modifiers, Shift+Insert, the
// platform's paste key); the clipboard is left alone.
bool SplitPage::partSizeKeyDownAllowed(QKeyEvent* e) {
    const bool ctrlV = e->key() == Qt::Key_V && (e->modifiers() & Qt::ControlModifier);
    const bool shiftInsert = e->key() == Qt::Key_Insert && (e->modifiers() & Qt::ShiftModifier);
    return !(ctrlV || shiftInsert || e->matches(QKeySequence::Paste));
}

void SplitPage::partSizeChanged() {
    if (splitCancelButton->text() == QLatin1String("Undo"))
        splitCancelButton->setText(QStringLiteral("Cancel"));
    state_.PartSizeEmpty = partSizeField->text().isEmpty() ? 1 : 0;
    // While the split engine runs, Split and Destination stay disabled.
    const bool enable = state_.PartSizeEmpty == 0 && !running();
    splitButton->setEnabled(enable);
    destinationButton->setEnabled(enable);
    if (state_.PartSizeEmpty == 1) return;

    parseWholeNumber(partSizeField->text());
    if (partSizeField->text() == QLatin1String("0")) {
        partSizeField->clear();
        partCountField->clear();
        return;
    }
    // Without a unit there is no part count to show.
    if (sizeunits::indexOf(unitBox->currentText()) < 0)
        partCountField->clear();
    else
        partCountField->setText(QString::number(partCount()));

    if (parseNumberText(sourceSizeField->text()) - parseNumberText(partSizeField->text()) < 0) {
        partCountField->clear();
        reportDialog_.report({QString(), QString(), QString(),
                              QStringLiteral("            Part Is Bigger then file")});
        partSizeField->clear();
    }
}

// The number of parts the split engine writes: the ceiling of the source size
// over the part size in bytes (0 when there is no unit or the part size is 0).
qint64 SplitPage::partCount() {
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit < 0) return 0;
    const qint64 partBytes =
        checkedMultiply(parseWholeNumber(partSizeField->text()), sizeunits::Factors[unit]);
    if (partBytes <= 0) return 0;
    return state_.SourceFileSize / partBytes + (state_.SourceFileSize % partBytes != 0 ? 1 : 0);
}

// PartSizeBytes from the part size and the unit; unchanged when the part size
// is empty or the unit text names no unit.
void SplitPage::updatePartSizeBytes() {
    if (partSizeField->text().isEmpty()) return;
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit < 0) return;
    state_.PartSizeBytes =
        checkedMultiply(parseWholeNumber(partSizeField->text()), sizeunits::Factors[unit]);
}

// ---------------------------------------------------------------- destination

void SplitPage::chooseDestination() {
    if (!folderBrowser_.exec(window())) return;
    state_.SplitDestFolder = withTrailingSeparator(folderBrowser_.folder());
    state_.FreeSpaceDrive = state_.SplitDestFolder;
    destinationField->setText(state_.SplitDestFolder);
}

void SplitPage::sourcePathChanged() { showShortenedPath(sourcePathField); }

void SplitPage::destinationChanged() { showShortenedPath(destinationField); }

void SplitPage::openDestination() { openInShell(window(), state_.SplitDestFolder); }

void SplitPage::pressDestinationPicture() {
    destinationPicture->move(destinationPicture->pos() + QPoint(1, 1));
}

void SplitPage::releaseDestinationPicture() {
    destinationPicture->move(destinationPicture->pos() - QPoint(1, 1));
}

// The part size typed here, in bytes, as the presets take it: 0 while the
// field is empty; else the last one that could be worked out.
qint64 SplitPage::typedPartSize() {
    updatePartSizeBytes();
    return partSizeField->text().isEmpty() ? 0 : state_.PartSizeBytes;
}

void SplitPage::reportPlaced() {
    splitHint->setVisible(true);
    splitGauge->setProgress(0);
}

void SplitPage::reportAcknowledged() { splitHint->setVisible(true); }
