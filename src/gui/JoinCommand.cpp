// SPDX-License-Identifier: GPL-3.0-or-later
// The Join button: the destination's free space and largest file, the
// missing-part question when the set's part list (or its .sfv) names parts
// that aren't there (or, without a list, when parts lie beyond a gap), the end
// of the set where its list ends, the output name ("Clone Of " before a name
// while it is taken), the join engine with the page's gauge and icon, the
// check files' verdict (keep or remove the joined bytes when a check failed),
// and the completion report.
#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Seams.h"
#include "gui/Widgets.h"
#include "gui/pages/JoinPage.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "join/SetRecovery.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "parts/PartSet.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

using namespace tfs;

namespace {

const QString ClonePrefix = QString::fromLatin1(JoinClonePrefix);

const QStringList CompletedWithListLines{QString(), QString(), QString(),
                                         QStringLiteral("              Joining completed,")};

const QStringList CompletedWithoutListLines{
    QString(), QString(), QStringLiteral("              Joining completed,"), QStringLiteral("  "),
    QStringLiteral("         Check.txt not availiable")};

// Short lines: the report's memo is narrow.
QStringList missingFirstPartLines(const QString& firstName) {
    const QString indent = QStringLiteral("     ");
    return {QStringLiteral(" "), QStringLiteral(" "),
            indent + QStringLiteral("Not joined: the first part"), indent + firstName,
            indent + QStringLiteral("is missing")};
}

} // namespace

// The Join button, step by step: the page made ready, the refusals before
// anything is written, the question about missing parts, the output's name,
// the engine's run and the result.
void JoinPage::startJoin() {
    // A Join click that was queued behind Cancel can arrive while the
    // cancelled join is still unwinding: it must not start a join inside it.
    if (running()) return;
    const OperationScope operation(this);
    runJoinCommand();
}

void JoinPage::runJoinCommand() {
    const QString chosen = partDialog_.fileName();
    try {
        ListedEnd listed;
        CheckVerdict verdict;
        PartSet set;
        recoveryNote_.clear();
        bool completed = prepareJoin(chosen);
        if (completed) {
            set = readPartSet(chosen);
            if (refusedBeforeWriting(set)) return;
            if (!repairFromRecoveryData(chosen, verdict)) {
                showResult(false, set, listed.beyond, verdict);
                return;
            }
            set = readPartSet(chosen); // with the parts the repair rebuilt
            JoinChecks checks = readJoinChecks(set);
            checks.unrepaired = verdict.unrepaired;
            const MissingAnswer answer = askAboutMissingParts(set, checks);
            if (answer == MissingAnswer::Abort) return;
            // Without its first part the set would join into an empty file,
            // "Join Anyway" or not: that is no join.
            if (!hasFirstPart(set)) {
                refuse(missingFirstPartLines(set.partName(1)));
                return;
            }
            listed = listedEndOf(state_, set);
            chooseOutputName(set);
            completed = runEngine(set, listed.last, checks, verdict);
        }
        showResult(completed, set, listed.beyond, verdict);
    } catch (...) {
        // The engine has removed its partial output. The page is put back as
        // Cancel leaves it, and the error goes on to the message box.
        cancelJoin();
        throw;
    }
}

// The page as it is while a join runs, and one turn of the event loop.
// False when Cancel (or a close of the window) came during that turn: the
// command then ends before anything is written.
bool JoinPage::prepareJoin(const QString& chosen) {
    ReportDialog* dialog = &reportDialog_;
    joinMainButton->setEnabled(false);
    loadPartButton->setEnabled(false);
    joinDestinationButton->setEnabled(false);
    joinUndoButton->setVisible(false);
    dialog->messageLabel->clear();
    joinGauge->setProgress(0);
    joinHint->setVisible(true);
    setJoinCommandsEnabled(false);
    joinCancelButton->setEnabled(true);
    chosenPartField->setText(chosen);
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    outputIcon->setVisible(true);
    state_.JoinCancelFlag = 0;
    QCoreApplication::processEvents();
    return state_.JoinCancelFlag == 0;
}

// A refusal before anything is written: its report, then the page as after
// Cancel but with Load and "Main" ready (the user may give up on this set).
void JoinPage::refuse(const QStringList& lines) {
    ReportDialog* dialog = &reportDialog_;
    for (const QString& line : lines)
        dialog->reportArea->addLine(line);
    dialog->reportArea->setVisible(true);
    dialog->okButton->setVisible(true);
    setJoinCommandsEnabled(true);
    joinCancelButton->setEnabled(false);
    dialog->showModal();
    loadPartButton->setEnabled(true);
    joinMainButton->setEnabled(true);
}

// The refusals before anything is written: too little free space, or a
// joined file larger than the destination's file system can hold. A refusal
// shows its report and leaves the page as after Cancel but with Load ready.
bool JoinPage::refusedBeforeWriting(const PartSet& set) {
    // Parts after the end of the set's list are left out: they need no room.
    const QStringList refusal =
        joinRefusal(sizeToJoin(set, state_.JoinTotalSize), state_.JoinDestFolder);
    if (refusal.isEmpty()) return false;
    refuse(refusal);
    return true;
}

// The parts that the set's part list (or its .sfv) names but that aren't
// there, or without a list the gaps below the set's highest part: the user
// chooses between "Join Anyway" and "Abort".
JoinPage::MissingAnswer JoinPage::askAboutMissingParts(const PartSet& set,
                                                       const JoinChecks& checks) {
    collectMissingParts(state_, set, checks);
    if (state_.JoinMissingParts.isEmpty()) return MissingAnswer::NoneMissing;

    ReportDialog* dialog = &reportDialog_;
    Memo* memo = dialog->reportArea;
    joinCancelButton->setEnabled(false);
    dialog->joinAnywayButton->setVisible(true);
    dialog->abortButton->setVisible(true);
    dialog->okButton->setVisible(false);
    memo->addLine(QStringLiteral("        "));
    for (const QString& line : takeRecoveryNote())
        memo->addLine(line);
    memo->addLine(QStringLiteral("             Missing Files:"));
    QString missing;
    for (const QString& entry : std::as_const(state_.JoinMissingParts))
        missing += entry + QStringLiteral("\r\n");
    memo->addText(missing);
    memo->setVisible(true);
    // A close by the window system joins anyway, as the choice does.
    const bool abort = dialog->showModal() == ReportDialog::Answer::Abort;
    if (abort) resetAfterAbort();
    joinUndoButton->setVisible(false);
    joinCancelButton->setVisible(true);
    if (abort) {
        joinCancelButton->setEnabled(false);
        joinMainButton->setEnabled(true);
        chosenPartField->clear();
        joinDestinationField->clear();
        return MissingAnswer::Abort;
    }
    joinCancelButton->setEnabled(true);
    joinMainButton->setEnabled(false);
    return MissingAnswer::JoinAnyway;
}

// The output: the parts' name without the ordinal, in the destination, with
// "Clone Of " put before it again and again while that name is taken: no file
// already there is ever replaced.
void JoinPage::chooseOutputName(const PartSet& set) {
    state_.JoinOutputPath = joinOutputPathFor(state_.JoinDestFolder, set);
    joinDestinationField->setText(state_.JoinOutputPath);
    joinHint->setVisible(false);
}

bool JoinPage::repairFromRecoveryData(const QString& chosen, CheckVerdict& verdict) {
    SetRecovery recovery(chosen);
    if (!recovery.hasFiles()) return true;
    EngineHooks hooks;
    hooks.progress = [this](int percent) { joinGauge->setProgress(percent); };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    const CancelToken cancel([this] { return state_.JoinCancelFlag != 0; });
    try {
        if (!recovery.read(hooks, cancel)) return false;
        if (const QString alone = recovery.leftAloneNote(); !alone.isEmpty())
            verdict.lines << QStringLiteral("   ") + alone;
        // Known before the parts are read: said without reading them.
        if (const QString refused = repairRefusedBeforeCheck(recovery.data()); !refused.isEmpty()) {
            recoveryNote_ = QStringLiteral("   ") + refused;
        } else {
            if (!recovery.check(hooks, cancel, true)) return false;
            const SetCheck& check = recovery.result();
            if (!check.whole() && !check.repairable())
                recoveryNote_ = QStringLiteral("   %1").arg(check.whyNotRepairable(false));
            else if (!recovery.repair(hooks, cancel))
                return false;
        }
    } catch (const OperationError& e) {
        // The join goes on as without recovery data, or with its verdict;
        // the report tells why.
        recoveryNote_ = QStringLiteral("   ") + e.text();
    }
    for (const QString& name : recovery.repaired())
        verdict.lines << QStringLiteral("   Repaired %1").arg(name);
    verdict.unrepaired = recovery.unrepaired();
    joinGauge->setProgress(0);
    return true;
}

QStringList JoinPage::takeRecoveryNote() {
    if (recoveryNote_.isEmpty()) return {};
    return {std::exchange(recoveryNote_, QString())};
}

// The join engine with the page's gauge and icon, up to lastOrdinal when
// that is above 0, checking the parts against the check files as it copies.
// True when it completed: the engine puts the output in place exactly when it
// wasn't cancelled, nor removed after a failed check. A failed check keeps the
// joined bytes under the hidden name until the user has decided in the
// report; the parts are never touched.
bool JoinPage::runEngine(const PartSet& set, qint64 lastOrdinal, const JoinChecks& checks,
                         CheckVerdict& verdict) {
    JoinHooks hooks;
    hooks.progress = [this](int percent) { joinGauge->setProgress(percent); };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.iconRefresh = [this] { showOutputIcon(); };
    hooks.partCrcs = checks.any();
    bool kept = false;
    hooks.keep = [&] {
        const QStringList failed = failedCheckLines(checks, state_.JoinPartCrcs);
        if (failed.isEmpty()) return true;
        verdict.decided = true;
        kept = reportDialog_.decide(takeRecoveryNote() +
                                        QStringList{QStringLiteral("   %1:").arg(
                                            failedCheckWords(checks, state_.JoinPartCrcs))} +
                                        failed + checks.notes +
                                        QStringList{QStringLiteral("   Keep the joined file?")},
                                    QStringLiteral("Keep"), QStringLiteral("Remove"));
        return kept;
    };
    JoinOptions options;
    options.lastOrdinal = lastOrdinal;
    options.keepExisting = true;
    const GaugeRun run({joinGauge}, state_.JoinTotalSize);
    joinParts(state_, set, state_.JoinOutputPath, hooks, options);
    const bool completed = state_.JoinCancelFlag == 0 && (!verdict.decided || kept);
    if (completed && !verdict.decided && checks.any())
        verdict.lines << passedCheckLine(checks, state_.JoinPartCrcs);
    if (!verdict.decided) verdict.lines << checks.notes;
    return completed;
}

// The page after the join (or a cancel before it), and the completion
// report, which names the parts after the list's end that were left out.
void JoinPage::showResult(bool completed, const PartSet& set, const QStringList& leftOut,
                          const CheckVerdict& verdict) {
    if (completed) {
        showOutputIcon();
        runJoinedButton->setVisible(true);
        runJoinedLabel->setVisible(true);
        outputIcon->setVisible(false);
    }
    outputIcon->repaint();
    joinMainButton->setEnabled(true);
    loadPartButton->setEnabled(true);
    setJoinCommandsEnabled(true);
    joinGauge->setProgress(100);
    if (!completed) joinGauge->setProgress(0);
    runJoinedButton->setVisible(completed);
    runJoinedLabel->setVisible(completed);
    joinCancelButton->setEnabled(false);
    joinUndoButton->setVisible(completed);
    if (completed) {
        QStringList lines =
            partListExists(set.listPath()) ? CompletedWithListLines : CompletedWithoutListLines;
        lines << verdict.lines << takeRecoveryNote();
        if (!leftOut.isEmpty())
            lines << QStringLiteral("  ") << QStringLiteral("     Left out, not listed:")
                  << leftOut;
        // After a failed check that the user kept, the decision was the report.
        if (!verdict.decided) reportDialog_.report(lines);
        joinUndoButton->setVisible(true);
        joinCancelButton->setEnabled(false);
        joinUndoButton->setEnabled(true);
        emit joinCompleted();
    }
    loadPartButton->setEnabled(true);
    joinDestinationButton->setEnabled(true);
}
