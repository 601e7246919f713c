// The split panel's inputs: opening and leaving the panel, loading the source
// and showing its size in four units, the unit box, the part size with its
// filters and live checks, the number of parts, the destination folder and the
// two path fields. The Split and Cancel/Undo buttons are in SplitCommand.cpp.
#include "core/NumberText.h"
#include "app/PathShortening.h"
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/FileCopy.h"
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
void emptyField(TForm1* form, QLineEdit* e, void (TForm1::*change)()) {
    if (e->text().isEmpty())
        (form->*change)();
    else
        e->clear();
}

} // namespace

// ---------------------------------------------------------------- navigation

void TForm1::suiImageButton3Click() {
    sakrigrupe();
    gEdit1->setText(LoadHint);
    gEdit1->setVisible(true);
    Gauge1->setProgress(0);
    emptyField(this, Edit1, &TForm1::Edit1Change);
    emptyField(this, Edit2, &TForm1::Edit2Change);
    Edit3->clear();
    Edit4->clear();
    Edit7->clear();
    suiMemo3->clearLines();
    selectUnit(ComboBox1, sizeunits::Megabytes);
    GroupBox2->setVisible(true);
    BitBtn9->setText(QStringLiteral("Cancel"));
    BitBtn9->setEnabled(false);
    Image5->setEnabled(false);
}

void TForm1::BitBtn10Click() {
    sakrigrupe();
    GroupBox1->setVisible(true);
    sstfenabled();
    gEdit1->setText(LoadHint);
    gEdit1->setVisible(true);
    Gauge1->setProgress(0);
    Image5->setEnabled(false);
}

void TForm1::splitPanelStartup() {
    emptyField(this, Edit1, &TForm1::Edit1Change);
    ComboBox1Change();
}

// A close request while a split runs (this panel's or a preset's, which
// moves this panel's gauge too) cancels it first; so does one after a split
// that failed and left its parts listed. The gauge can't tell: it shows 0
// during the first half percent of a split and 100 during the last.
void TForm1::splitPanelCloseStep() {
    const bool failedPartsLeft = !splitPartsLeft_.isEmpty() && splitPartsLeft_ == G.SplitPartPaths;
    if (splitEngineRunning_ || failedPartsLeft) BitBtn9Click();
}

void TForm1::sstfdisabled() {
    for (QPushButton* b : {BitBtn1, BitBtn6, BitBtn7, BitBtn10})
        b->setEnabled(false);
}

// Split and Destination follow the part size: with none there is nothing to
// split (and no part count to check).
void TForm1::sstfenabled() {
    BitBtn1->setEnabled(true);
    BitBtn10->setEnabled(true);
    const bool partSize = !Edit2->text().isEmpty();
    BitBtn6->setEnabled(partSize);
    BitBtn7->setEnabled(partSize);
}

// ---------------------------------------------------------------- source

void TForm1::BitBtn1Click() {
    G.SplitPartPaths.clear();
    splitPartsLeft_.clear();
    splitListWritten_.clear(); // Cancel no longer belongs to the last split
    selectUnit(ComboBox1, sizeunits::Megabytes);
    emptyField(this, Edit2, &TForm1::Edit2Change);
    suiMemo3->clearLines();

    if (OpenDialog1.Execute(this)) {
        const QString path = OpenDialog1.FileName;
        gEdit1->setText(QLatin1Char(' ') + fileNameOf(path) + QStringLiteral(" Loaded"));
        G.SourceFileSize = measureFile(path);
        G.SourceFilePath = path;
        Image5->setEnabled(true);
        G.SplitDestFolder = withTrailingSeparator(folderOf(path));
        G.FreeSpaceDrive = G.SplitDestFolder;
        Edit1->setText(QString::number(G.SourceFileSize));
        Edit3->setText(G.SourceFilePath);
        Edit4->setText(G.SplitDestFolder);
        gEdit1->setVisible(true);
        Gauge1->setProgress(0);
    }

    Edit1->setText(QString::number(G.SourceFileSize / sizeunits::Factors[sizeunits::Megabytes]));
    static const char* const prefixes[] = {"B=", "KB=", "MB=", "GB="};
    suiMemo3->addLine(QStringLiteral("   "));
    for (int unit = 0; unit < 4; ++unit) {
        const double value = static_cast<double>(G.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0)
            suiMemo3->addLine(QLatin1String(prefixes[unit]) + numberText(value));
    }
    ComboBox1Change();
}

void TForm1::Edit1Change() {
    const bool filled = !Edit1->text().isEmpty();
    if (filled)
        ComboBox1->setEnabled(true);
    Edit2->setEnabled(filled);
    if (Edit1->text() == QLatin1String("0"))
        Edit1->clear();
}

// ---------------------------------------------------------------- unit

bool TForm1::ComboBox1KeyPress(QChar key) {
    return QStringLiteral("BbKkMmGg").contains(key);
}

void TForm1::ComboBox1Change() {
    // The box's completion keeps the case typed: "gigabytes" becomes "Gigabytes".
    for (int i = 0; i < sizeunits::Names.size(); ++i)
        if (ComboBox1->currentText() == sizeunits::Names.at(i).toLower())
            selectUnit(ComboBox1, i);
    const int unit = sizeunits::indexOf(ComboBox1->currentText());
    if (unit >= 0) {
        if (ComboBox1->currentIndex() != unit)
            selectUnit(ComboBox1, unit);
        const double value = static_cast<double>(G.SourceFileSize) / sizeunits::Factors[unit];
        if (value > 0)
            Edit1->setText(numberText(value));
    }
    if (Edit2->text().isEmpty())
        Edit7->clear();
    Edit2Change();
}

// ---------------------------------------------------------------- part size

bool TForm1::Edit2KeyPress(QChar key) {
    return (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key == QLatin1Char('\b');
}

// Pasting is discarded (Ctrl+V with any other modifiers, Shift+Insert, the
// platform's paste key); the clipboard is left alone.
bool TForm1::Edit2KeyDown(QKeyEvent* e) {
    const bool ctrlV = e->key() == Qt::Key_V && (e->modifiers() & Qt::ControlModifier);
    const bool shiftInsert = e->key() == Qt::Key_Insert && (e->modifiers() & Qt::ShiftModifier);
    return !(ctrlV || shiftInsert || e->matches(QKeySequence::Paste));
}

void TForm1::Edit2Change() {
    if (BitBtn9->text() == QLatin1String("Undo"))
        BitBtn9->setText(QStringLiteral("Cancel"));
    G.PartSizeEmpty = Edit2->text().isEmpty() ? 1 : 0;
    // While the split engine runs, Split and Destination stay disabled.
    const bool enable = G.PartSizeEmpty == 0 && !splitEngineRunning_;
    BitBtn6->setEnabled(enable);
    BitBtn7->setEnabled(enable);
    if (G.PartSizeEmpty == 1)
        return;

    parseWholeNumber(Edit2->text());
    if (Edit2->text() == QLatin1String("0")) {
        Edit2->clear();
        Edit7->clear();
        return;
    }
    // Without a unit there is no part count to show.
    if (sizeunits::indexOf(ComboBox1->currentText()) < 0)
        Edit7->clear();
    else
        Edit7->setText(QString::number(kolikoizlaznihfajlova()));

    if (parseNumberText(Edit1->text()) - parseNumberText(Edit2->text()) < 0) {
        Edit7->clear();
        G.Form3->Report({QString(), QString(), QString(),
                         QStringLiteral("            Part Is Bigger then file")});
        Edit2->clear();
    }
}

// The number of parts the split engine writes: the ceiling of the source size
// over the part size in bytes (0 when there is no unit or the part size is 0).
qint64 TForm1::kolikoizlaznihfajlova() {
    const int unit = sizeunits::indexOf(ComboBox1->currentText());
    if (unit < 0)
        return 0;
    const qint64 partBytes = checkedMultiply(parseWholeNumber(Edit2->text()), sizeunits::Factors[unit]);
    if (partBytes <= 0)
        return 0;
    return G.SourceFileSize / partBytes + (G.SourceFileSize % partBytes != 0 ? 1 : 0);
}

// PartSizeBytes from the part size and the unit; unchanged when the part size
// is empty or the unit text names no unit.
void TForm1::konverzijaBKMG() {
    if (Edit2->text().isEmpty())
        return;
    const int unit = sizeunits::indexOf(ComboBox1->currentText());
    if (unit < 0)
        return;
    G.PartSizeBytes = checkedMultiply(parseWholeNumber(Edit2->text()), sizeunits::Factors[unit]);
}

// ---------------------------------------------------------------- destination

void TForm1::BitBtn7Click() {
    if (!JamBfF1.Execute(this))
        return;
    G.SplitDestFolder = withTrailingSeparator(JamBfF1.Folder);
    G.FreeSpaceDrive = G.SplitDestFolder;
    Edit4->setText(G.SplitDestFolder);
}

void TForm1::Edit3Change() {
    showShortenedPath(Edit3);
}

void TForm1::Edit4Change() {
    showShortenedPath(Edit4);
}

void TForm1::Image5Click() { openInShell(G.SplitDestFolder); }

void TForm1::Image5MouseDown() { Image5->move(Image5->pos() + QPoint(1, 1)); }

void TForm1::Image5MouseUp() { Image5->move(Image5->pos() - QPoint(1, 1)); }

// Either dialog closing, from this panel or from the presets, resets the
// presets panel's Cancel button.
void TForm1::OpenDialog1Close() {
    BitBtn20->setEnabled(false);
    BitBtn20->setText(QStringLiteral("Cancel"));
}

void TForm1::JamBfF1Close() { OpenDialog1Close(); }
