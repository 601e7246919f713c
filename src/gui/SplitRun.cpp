// The split engine run from a page: progress to the page's gauge, the
// destination at every new part, the refusals in the report dialog, and one
// event-loop turn after every block. Then the part list, written when the
// split ran to completion: the one routine of the Split command and the presets.
#include "gui/SplitRun.h"

#include "core/OperationError.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Widgets.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/SplitCheckFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <utility>

using namespace tfs;

SplitOutcome runSplitFromPage(SplitState& state, ReportDialog& reportDialog, const SplitView& view,
                              const QString& sourcePath, qint64 partSize) {
    SplitHooks hooks;
    hooks.progress = [&view](int percent) { view.gauge->setProgress(percent); };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.partStarted = view.partStarted;
    hooks.refused = [&](const QStringList& lines) {
        for (const QString& line : lines)
            reportDialog.reportArea->addLine(line);
        reportDialog.reportArea->setVisible(true);
        if (view.refused) view.refused();
        reportDialog.showModal();
    };
    hooks.cancelled = view.cancelled;
    const GaugeRun run({view.gauge}, QFileInfo(sourcePath).size());
    return tfs::splitIntoParts(state, sourcePath, partSize, hooks);
}

void removeLeftoverParts(QStringList& partsLeft) {
    for (const QString& path : std::exchange(partsLeft, {}))
        QFile::remove(path);
}

SplitRun splitAndList(SplitState& state, const QString& sourcePath, QStringList& partsLeft,
                      const std::function<SplitOutcome()>& split) {
    SplitRun run;
    try {
        run.outcome = split();
    } catch (...) {
        // The parts written so far stay listed for Cancel, or for the close.
        partsLeft = state.SplitPartPaths;
        throw;
    }
    if (run.outcome != SplitOutcome::Completed) return run;
    // The parts are complete whether or not their list can be written: a list
    // that fails (a full disk) leaves them in place, joinable without it.
    const QString list = partListPath(state.SplitDestFolder, fileNameOf(sourcePath));
    const auto count = state.SplitPartNames.size();
    try {
        writePartList(list, state.SplitPartNames);
    } catch (const OperationError& e) {
        run.listError = e.text() + QStringLiteral("\nThe %1 parts were all written and are kept; "
                                                  "they can be joined without their list.")
                                       .arg(count);
        return run;
    }
    run.list = list;
    // With the list written, Undo is offered: it removes the parts and the list.
    try {
        writeCheckFiles(state.SplitDestFolder + fileNameOf(sourcePath), state.SplitPartNames,
                        state.SplitPartCrcs);
    } catch (const OperationError& e) {
        run.listError = e.text() + QStringLiteral("\nThe %1 parts and their list were all written "
                                                  "and are kept; they can be joined without "
                                                  "their check files, and Undo removes them.")
                                       .arg(count);
    }
    return run;
}
