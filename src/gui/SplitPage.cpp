// The split panel's inputs: opening and leaving the panel, loading the source
// and showing its size in four units, the unit box, the part size with its
// filters and live checks, the number of parts, the destination folder and the
// two path fields. The Split and Cancel/Undo buttons are in SplitCommand.cpp.
#include "core/FileCopy.h"
#include "core/NumberText.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/PathShortening.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "split/Naming.h"
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
void emptyField(MainWindow* form, QLineEdit* e, void (MainWindow::*change)()) {
    if (e->text().isEmpty())
        (form->*change)();
    else
        e->clear();
}

} // namespace

// ---------------------------------------------------------------- navigation

void MainWindow::showSplitPage() {
    splitHint->setText(LoadHint);
    splitHint->setVisible(true);
    splitGauge->setProgress(0);
    emptyField(this, sourceSizeField, &MainWindow::sourceSizeChanged);
    emptyField(this, partSizeField, &MainWindow::partSizeChanged);
    sourcePathField->clear();
    destinationField->clear();
    partCountField->clear();
    convertedSizeList->clearLines();
    selectUnit(unitBox, sizeunits::Megabytes);
    showPage(splitPanel);
    splitCancelButton->setText(QStringLiteral("Cancel"));
    splitCancelButton->setEnabled(false);
    destinationPicture->setEnabled(false);
}

void MainWindow::leaveSplitPage() {
    showPage(startPanel);
    setSplitButtonsEnabled(true);
    splitHint->setText(LoadHint);
    splitHint->setVisible(true);
    splitGauge->setProgress(0);
    destinationPicture->setEnabled(false);
}

void MainWindow::splitPanelStartup() {
    emptyField(this, sourceSizeField, &MainWindow::sourceSizeChanged);
    unitChanged();
}

// A close request while a split runs (this panel's or a preset's, which
// moves this panel's gauge too) cancels it first; so does one after a split
// that failed and left its parts listed. The gauge can't tell: it shows 0
// during the first half percent of a split and 100 during the last.
void MainWindow::splitPanelCloseStep() {
    const bool failedPartsLeft = !splitPartsLeft_.isEmpty() && splitPartsLeft_ == G.SplitPartPaths;
    if (splitEngineRunning_ || failedPartsLeft) cancelOrUndo();
}

// Split and Destination come back with the part size only: with none there
// is nothing to split (and no part count to check).
void MainWindow::setSplitButtonsEnabled(bool enabled) {
    loadSourceButton->setEnabled(enabled);
    splitMainButton->setEnabled(enabled);
    const bool partSize = enabled && !partSizeField->text().isEmpty();
    splitButton->setEnabled(partSize);
    destinationButton->setEnabled(partSize);
}

// ---------------------------------------------------------------- source

void MainWindow::chooseSource() {
    G.SplitPartPaths.clear();
    splitPartsLeft_.clear();
    splitListWritten_.clear(); // Cancel no longer belongs to the last split
    selectUnit(unitBox, sizeunits::Megabytes);
    emptyField(this, partSizeField, &MainWindow::partSizeChanged);
    convertedSizeList->clearLines();

    if (sourceDialog.Execute(this)) {
        const QString path = sourceDialog.FileName;
        splitHint->setText(QLatin1Char(' ') + fileNameOf(path) + QStringLiteral(" Loaded"));
        G.SourceFileSize = measureFile(path);
        G.SourceFilePath = path;
        destinationPicture->setEnabled(true);
        G.SplitDestFolder = withTrailingSeparator(folderOf(path));
        G.FreeSpaceDrive = G.SplitDestFolder;
        sourceSizeField->setText(QString::number(G.SourceFileSize));
        sourcePathField->setText(G.SourceFilePath);
        destinationField->setText(G.SplitDestFolder);
        splitHint->setVisible(true);
        splitGauge->setProgress(0);
    }

    sourceSizeField->setText(
        QString::number(G.SourceFileSize / sizeunits::Factors[sizeunits::Megabytes]));
    static const char* const prefixes[] = {"B=", "KB=", "MB=", "GB="};
    convertedSizeList->addLine(QStringLiteral("   "));
    for (int unit = 0; unit < 4; ++unit) {
        const double value = static_cast<double>(G.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0)
            convertedSizeList->addLine(QLatin1String(prefixes[unit]) + numberText(value));
    }
    unitChanged();
}

void MainWindow::sourceSizeChanged() {
    const bool filled = !sourceSizeField->text().isEmpty();
    if (filled) unitBox->setEnabled(true);
    partSizeField->setEnabled(filled);
    if (sourceSizeField->text() == QLatin1String("0")) sourceSizeField->clear();
}

// ---------------------------------------------------------------- unit

bool MainWindow::unitKeyAllowed(QChar key) { return QStringLiteral("BbKkMmGg").contains(key); }

void MainWindow::unitChanged() {
    // The box's completion keeps the case typed: "gigabytes" becomes "Gigabytes".
    for (int i = 0; i < sizeunits::Names.size(); ++i)
        if (unitBox->currentText() == sizeunits::Names.at(i).toLower()) selectUnit(unitBox, i);
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit >= 0) {
        if (unitBox->currentIndex() != unit) selectUnit(unitBox, unit);
        const double value = static_cast<double>(G.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0) sourceSizeField->setText(numberText(value));
    }
    if (partSizeField->text().isEmpty()) partCountField->clear();
    partSizeChanged();
}

// ---------------------------------------------------------------- part size

bool MainWindow::partSizeKeyAllowed(QChar key) {
    return (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key == QLatin1Char('\b');
}

// Pasting is discarded (Ctrl+V with any other modifiers, Shift+Insert, the
// platform's paste key); the clipboard is left alone.
bool MainWindow::partSizeKeyDownAllowed(QKeyEvent* e) {
    const bool ctrlV = e->key() == Qt::Key_V && (e->modifiers() & Qt::ControlModifier);
    const bool shiftInsert = e->key() == Qt::Key_Insert && (e->modifiers() & Qt::ShiftModifier);
    return !(ctrlV || shiftInsert || e->matches(QKeySequence::Paste));
}

void MainWindow::partSizeChanged() {
    if (splitCancelButton->text() == QLatin1String("Undo"))
        splitCancelButton->setText(QStringLiteral("Cancel"));
    G.PartSizeEmpty = partSizeField->text().isEmpty() ? 1 : 0;
    // While the split engine runs, Split and Destination stay disabled.
    const bool enable = G.PartSizeEmpty == 0 && !splitEngineRunning_;
    splitButton->setEnabled(enable);
    destinationButton->setEnabled(enable);
    if (G.PartSizeEmpty == 1) return;

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
        G.reportDialog->report({QString(), QString(), QString(),
                                QStringLiteral("            Part Is Bigger then file")});
        partSizeField->clear();
    }
}

// The number of parts the split engine writes: the ceiling of the source size
// over the part size in bytes (0 when there is no unit or the part size is 0).
qint64 MainWindow::partCount() {
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit < 0) return 0;
    const qint64 partBytes =
        checkedMultiply(parseWholeNumber(partSizeField->text()), sizeunits::Factors[unit]);
    if (partBytes <= 0) return 0;
    return G.SourceFileSize / partBytes + (G.SourceFileSize % partBytes != 0 ? 1 : 0);
}

// PartSizeBytes from the part size and the unit; unchanged when the part size
// is empty or the unit text names no unit.
void MainWindow::updatePartSizeBytes() {
    if (partSizeField->text().isEmpty()) return;
    const int unit = sizeunits::indexOf(unitBox->currentText());
    if (unit < 0) return;
    G.PartSizeBytes =
        checkedMultiply(parseWholeNumber(partSizeField->text()), sizeunits::Factors[unit]);
}

// ---------------------------------------------------------------- destination

void MainWindow::chooseDestination() {
    if (!folderBrowser.Execute(this)) return;
    G.SplitDestFolder = withTrailingSeparator(folderBrowser.Folder);
    G.FreeSpaceDrive = G.SplitDestFolder;
    destinationField->setText(G.SplitDestFolder);
}

void MainWindow::sourcePathChanged() { showShortenedPath(sourcePathField); }

void MainWindow::destinationChanged() { showShortenedPath(destinationField); }

void MainWindow::openDestination() { openInShell(this, G.SplitDestFolder); }

void MainWindow::pressDestinationPicture() {
    destinationPicture->move(destinationPicture->pos() + QPoint(1, 1));
}

void MainWindow::releaseDestinationPicture() {
    destinationPicture->move(destinationPicture->pos() - QPoint(1, 1));
}

// Either dialog closing, from this panel or from the presets, resets the
// presets panel's Cancel button.
void MainWindow::sourceDialogClosed() {
    presetsCancelButton->setEnabled(false);
    presetsCancelButton->setText(QStringLiteral("Cancel"));
}

void MainWindow::folderBrowserClosed() { sourceDialogClosed(); }
