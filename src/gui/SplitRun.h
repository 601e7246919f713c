#pragma once

#include "core/OperationState.h"
#include "split/SplitEngine.h"

#include <QString>
#include <QStringList>
#include <functional>

class Gauge;
class ReportDialog;

// What a page shows of a split that it runs: the gauge that follows it, and
// its own steps when a part starts, when the engine refuses (before the
// refusal's report shows) and when the split was cancelled.
struct SplitView {
    Gauge* gauge = nullptr;
    std::function<void()> partStarted;
    std::function<void()> refused;
    std::function<void()> cancelled;
};

// The split engine run from a page: progress to the page's gauge, the
// refusals in the report dialog, one event-loop turn after every block.
tfs::SplitOutcome runSplitFromPage(SplitState& state, ReportDialog& reportDialog,
                                   const SplitView& view, const QString& sourcePath,
                                   qint64 partSize);

// Split, then write the list: the Split command's and the presets' one
// routine. Runs `split` (the page's run of the engine) and, when the split
// ran to completion, writes its part list beside the parts (list: its path;
// empty when none was written; listError: why the list or its check files
// could not be written, the parts being complete and kept). The parts that a
// failed split leaves go to partsLeft, which the page's Cancel, the close or
// the next split removes.
struct SplitRun {
    tfs::SplitOutcome outcome = tfs::SplitOutcome::Cancelled;
    QString list;
    QString listError;
};
SplitRun splitAndList(SplitState& state, const QString& sourcePath, QStringList& partsLeft,
                      const std::function<tfs::SplitOutcome()>& split);

// Deletes the parts that a failed split left, and forgets them.
void removeLeftoverParts(QStringList& partsLeft);
