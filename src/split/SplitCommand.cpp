// The split panel's Split button (checks, conversion, the split, the part list)
// and its Cancel/Undo button.
#include "app/PartRemoval.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/NumberText.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
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
    return {QString(), QString(), QString(),
            QStringLiteral("   Unknown unit \"%1\"").arg(unitText),
            QStringLiteral("   Choose Bytes, Kilobytes,"),
            QStringLiteral("   Megabytes or Gigabytes !")};
}

} // namespace

void TForm1::BitBtn6Click() {
    sstfdisabled();
    gEdit1->setVisible(true);
    G.SplitPartPaths.clear();
    splitPartsLeft_.clear();
    splitListWritten_.clear(); // from now on Cancel belongs to this split
    BitBtn9->setText(Cancel);
    BitBtn9->setEnabled(true);

    // The part count needs a unit, so the unit is checked first.
    const QString unitText = ComboBox1->currentText();
    if (sizeunits::indexOf(unitText) < 0) {
        G.Form3->Report(unitRefusal(unitText));
        return;
    }

    const qint64 product = checkedMultiply(parseWholeNumber(Edit7->text()), parseWholeNumber(Edit2->text()));
    if (product == 0) {
        G.Form3->Report({QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        BitBtn9->setEnabled(false);
        BitBtn10->setEnabled(true);
        return;
    }

    if (Edit2->text() == Edit1->text()) {
        Edit7->setText(QStringLiteral("1"));
        G.Form3->Report({QString(), QString(), QString(),
                         QStringLiteral("As a Result You will have identical file")});
        BitBtn9->setEnabled(false);
        BitBtn10->setEnabled(true);
        return;
    }

    if (parseNumberText(Edit2->text()) > parseNumberText(Edit1->text())) {
        G.Form3->Report({QString(), QString(), QString(), QStringLiteral("Part Size is bigger then File")});
        return;
    }

    konverzijaBKMG();
    requireSplittableSource(G.SourceFilePath, G.SplitDestFolder);
    gEdit1->setVisible(BitBtn6->isEnabled());
    const SplitRun run = splitAndList(G.SourceFilePath, G.PartSizeBytes, splitPartsLeft_);
    splitListWritten_ = run.list;
    G.SplitSourceName = fileNameOf(G.SourceFilePath);
    if (!splitListWritten_.isEmpty() && partListExists(splitListWritten_)) BitBtn9->setText(Undo);
    sstfenabled();
    if (!run.listError.isEmpty()) throw OperationError(run.listError);
}

void TForm1::BitBtn9Click() {
    sstfdisabled();
    BitBtn10->setEnabled(false);
    G.SplitCancelFlag = 1;

    // The event loop turns while the parts go: this Cancel is pressed once,
    // and one re-entered (by a close request) leaves the removal to it.
    BitBtn9->setEnabled(false);
    const QStringList parts = G.SplitPartPaths;
    if (!removePartsStepping(parts, Gauge1)) return;
    splitPartsLeft_.clear();
    if (!parts.isEmpty()) {
        Gauge1->setVisible(true);
        gEdit1->setText(fileNameOf(OpenDialog1.FileName) + QStringLiteral(" is Already Looaded"));
        gEdit1->setVisible(true);
    }

    // Only the list that this split wrote goes, and only while the parts it
    // names are the ones listed (a preset split may have run since).
    if (!splitListWritten_.isEmpty() && !parts.isEmpty() &&
        basePathOf(parts.first()) + QStringLiteral(".txt") == splitListWritten_) {
        deletePartList(splitListWritten_);
        deleteCheckFilesOf(splitListWritten_);
    }
    splitListWritten_.clear();

    BitBtn9->setEnabled(false);
    if (BitBtn9->text() == Undo)
        BitBtn9->setText(Cancel);
    // A running split re-enables the panel itself once the engine has returned.
    if (!splitEngineRunning_) {
        BitBtn10->setEnabled(true);
        sstfenabled();
    }
}
