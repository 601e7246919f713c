// SPDX-License-Identifier: GPL-3.0-or-later
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
    std::function<void()> completed; // the split's completed hook (SplitHooks::completed)
};

// The split engine run from a page: progress to the page's gauge, the
// refusals in the report dialog, one event-loop turn after every block.
tfs::SplitOutcome runSplitFromPage(SplitState& state, ReportDialog& reportDialog,
                                   const SplitView& view, const QString& sourcePath,
                                   qint64 partSize);

// Split, then write the set's files: the Split command's and the presets' one
// routine. Runs `split` (the page's run of the engine, given the hook to run
// once the split has completed) and, from that hook, while the split still
// holds its set, writes its list, its check files and, with recoveryPercent
// above 0, its recovery data beside the parts (split/SetFiles.h), the
// recovery data's progress on `gauge`. list: the part list's path, empty when
// none was written; listError: why the list, the check files or the recovery
// data could not be written, the parts being complete and kept; notes: what
// the report tells while the set stands (a check file or recovery data not
// written, and why). A Cancel (or close) while the set's files are written
// removes the set whole, and the split comes out Cancelled. The parts that a
// failed split leaves go to partsLeft, which the page's Cancel, the close or
// the next split removes.
struct SplitRun {
    tfs::SplitOutcome outcome = tfs::SplitOutcome::Cancelled;
    QString list;
    QString listError;
    QStringList notes;
};
using SplitWithHook = std::function<tfs::SplitOutcome(const std::function<void()>& completed)>;
SplitRun splitAndList(SplitState& state, const QString& sourcePath, QStringList& partsLeft,
                      int recoveryPercent, Gauge* gauge, const SplitWithHook& split);

// Deletes the parts that a failed split left, and forgets them.
void removeLeftoverParts(QStringList& partsLeft);
