// SPDX-License-Identifier: GPL-3.0-or-later
// The split engine run from a page: progress to the page's gauge, the
// destination at every new part, the refusals in the report dialog, and one
// event-loop turn after every block. Then the set's files, written when the
// split ran to completion: the one routine of the Split command and the presets.
#include "gui/SplitRun.h"

#include "core/OperationError.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Widgets.h"
#include "parts/Naming.h"
#include "split/SetFiles.h"

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
    hooks.completed = view.completed;
    const GaugeRun run({view.gauge}, QFileInfo(sourcePath).size());
    return tfs::splitIntoParts(state, sourcePath, partSize, hooks);
}

void removeLeftoverParts(QStringList& partsLeft) {
    for (const QString& path : std::exchange(partsLeft, {}))
        QFile::remove(path);
}

namespace {

// What a split whose set files failed at `step` keeps, for its part count.
QString keptAfterFailure(SetFileStep step) {
    switch (step) {
    case SetFileStep::List:
        return QStringLiteral("The %1 parts were all written and are kept; they can be joined "
                              "without their list.");
    case SetFileStep::CheckFiles:
        return QStringLiteral("The %1 parts and their list were all written and are kept; they "
                              "can be joined without their check files, and Undo removes them.");
    case SetFileStep::RecoveryData:
        return QStringLiteral("The %1 parts, their list and their check files were all written "
                              "and are kept; no recovery data was written, and Undo removes "
                              "them.");
    case SetFileStep::None:
        break;
    }
    return {};
}

} // namespace

SplitRun splitAndList(SplitState& state, const QString& sourcePath, QStringList& partsLeft,
                      int recoveryPercent, Gauge* gauge, const SplitWithHook& split) {
    SplitRun run;
    SetFilesWritten written;
    const auto completed = [&] {
        EngineHooks hooks;
        hooks.progress = [gauge, &state](int percent) {
            if (state.SplitCancelFlag == 0) gauge->setProgress(percent); // not past a Cancel
        };
        hooks.yield = [] { QCoreApplication::processEvents(); };
        const CancelToken cancel([&state] { return state.SplitCancelFlag != 0; });
        written = writeSetFiles(state, fileNameOf(sourcePath), recoveryPercent, hooks, cancel);
    };
    try {
        run.outcome = split(completed);
    } catch (...) {
        // The parts written so far stay listed for Cancel, or for the close.
        partsLeft = state.SplitPartPaths;
        throw;
    }
    if (run.outcome != SplitOutcome::Completed) return run;
    if (written.cancelled || state.SplitCancelFlag != 0) {
        // Cancelled while its files were written: the set goes whole, as Undo
        // removes it (the Cancel has begun with the parts).
        if (!written.list.isEmpty()) removeSetFiles(written.list);
        for (const QString& path : std::as_const(state.SplitPartPaths))
            QFile::remove(path);
        run.outcome = SplitOutcome::Cancelled;
        return run;
    }
    run.list = written.list;
    run.notes = written.notes;
    // The parts are complete whether or not their list can be written: a list
    // that fails (a full disk) leaves them in place, joinable without it.
    // With the list written, Undo is offered: it removes the parts and the
    // list, and the check files and the recovery data with them.
    if (written.failed != SetFileStep::None)
        run.listError = written.error + QLatin1Char('\n') +
                        keptAfterFailure(written.failed).arg(state.SplitPartNames.size());
    return run;
}
