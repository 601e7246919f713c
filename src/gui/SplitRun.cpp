// The split engine run from the window: progress to both split gauges, the
// destination field at every new part, the refusals in the report dialog, and
// one event-loop turn after every block. Then the part list, written when the
// split ran to completion: the one routine of the Split command and the presets.
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Widgets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SplitCheckFiles.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <utility>

using namespace tfs;

SplitOutcome MainWindow::runSplit(const QString& sourcePath, qint64 partSize) {
    SplitHooks hooks;
    hooks.progress = [this](int percent) {
        splitGauge->setProgress(percent);
        presetsGauge->setProgress(percent);
    };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.partStarted = [this] { destinationField->setText(G.SplitDestFolder); };
    hooks.refused = [this](const QStringList& lines) {
        for (const QString& line : lines)
            G.reportDialog->reportArea->addLine(line);
        G.reportDialog->reportArea->setVisible(true);
        splitCancelButton->setEnabled(false);
        presetsCancelButton->setEnabled(false);
        G.reportDialog->showModal();
    };
    hooks.cancelled = [this] {
        splitGauge->stepDownToZero();
        presetsGauge->setProgress(0);
    };
    // Marks the run, also when a file error ends it.
    const QScopedValueRollback<bool> running(splitEngineRunning_, true);
    // The part size and the unit stay as the split took them while it runs.
    const bool partSizeOpen = partSizeField->isEnabled();
    const bool unitOpen = unitBox->isEnabled();
    partSizeField->setEnabled(false);
    unitBox->setEnabled(false);
    const auto reopen = qScopeGuard([&] {
        partSizeField->setEnabled(partSizeOpen);
        unitBox->setEnabled(unitOpen);
    });
    removeLeftoverParts();
    const GaugeRun run({splitGauge, presetsGauge}, QFileInfo(sourcePath).size());
    return tfs::splitIntoParts(G, sourcePath, partSize, hooks);
}

// The parts that a failed split left (of either panel, the last one cut
// short) go before a new split starts: once forgotten, nothing would remove
// them, and the new set may take their names.
void MainWindow::removeLeftoverParts() {
    for (QStringList* left : {&splitPartsLeft_, &presetPartsLeft_})
        for (const QString& path : std::exchange(*left, {}))
            QFile::remove(path);
}

MainWindow::SplitRun MainWindow::splitAndList(const QString& sourcePath, qint64 partSize,
                                              QStringList& partsLeft) {
    SplitRun run;
    try {
        run.outcome = runSplit(sourcePath, partSize);
    } catch (...) {
        // The parts written so far stay listed for Cancel, or for the close.
        partsLeft = G.SplitPartPaths;
        throw;
    }
    if (run.outcome != SplitOutcome::Completed) return run;
    // The parts are complete whether or not their list can be written: a list
    // that fails (a full disk) leaves them in place, joinable without it.
    const QString list = partListPath(G.SplitDestFolder, fileNameOf(sourcePath));
    const auto count = G.SplitPartNames.size();
    try {
        writePartList(list, G.SplitPartNames);
    } catch (const OperationError& e) {
        run.listError = e.text() + QStringLiteral("\nThe %1 parts were all written and are kept; "
                                                  "they can be joined without their list.")
                                       .arg(count);
        return run;
    }
    run.list = list;
    // With the list written, Undo is offered: it removes the parts and the list.
    try {
        writeCheckFiles(G.SplitDestFolder + fileNameOf(sourcePath), G.SplitPartNames,
                        G.SplitPartCrcs);
    } catch (const OperationError& e) {
        run.listError = e.text() + QStringLiteral("\nThe %1 parts and their list were all written "
                                                  "and are kept; they can be joined without "
                                                  "their check files, and Undo removes them.")
                                       .arg(count);
    }
    return run;
}
