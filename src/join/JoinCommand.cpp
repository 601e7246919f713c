// The Join button: the destination's free space and largest file, the
// missing-part question when the set's part list (or its .sfv) names parts
// that aren't there (or, without a list, when parts lie beyond a gap), the end
// of the set where its list ends, the output name ("Clone Of " before a name
// while it is taken), the join engine with the panel's gauge and icon, the
// check files' verdict (keep or remove the joined bytes when a check failed),
// and the completion report.
#include "app/RunMeter.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/FileSystemLimits.h"
#include "core/FreeSpace.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "split/Naming.h"
#include "split/PartList.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

using namespace tfs;

namespace {

const QString ClonePrefix = QString::fromLatin1(JoinClonePrefix);
const QString AbortMarker = QStringLiteral("prekini");

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

// The missing-part scan for the part last chosen in the panel.
void TForm1::BitBtn5Click() {
    scanForMissingParts(G, OpenDialog2.FileName);
}

// The Join button, step by step: the panel made ready, the refusals before
// anything is written, the question about missing parts, the output's name,
// the engine's run and the result.
void TForm1::BitBtn2Click() {
    // A Join click that was queued behind Cancel can arrive while the
    // cancelled join is still unwinding: it must not start a join inside it.
    if (joinRunning_) return;
    const QScopedValueRollback<bool> running(joinRunning_, true);

    const QString chosen = OpenDialog2.FileName;
    try {
        ListedEnd listed;
        JoinCheckVerdict verdict;
        bool completed = joinPrepare(chosen);
        if (completed) {
            if (joinRefusedBeforeWriting()) return;
            const JoinChecks checks = readJoinChecks(chosen);
            const JoinMissingAnswer answer = joinAskAboutMissingParts(chosen, checks);
            if (answer == JoinMissingAnswer::Abort) return;
            // Without its first part the set would join into an empty file,
            // "Join Anyway" or not: that is no join.
            if (!hasFirstPart(chosen)) {
                joinRefuse(missingFirstPartLines(fileNameOf(firstPartPathOf(chosen))));
                return;
            }
            listed = listedEndOf(G, chosen);
            joinChooseOutputName(chosen);
            completed = joinRunEngine(chosen, listed.last, checks, verdict);
        }
        joinShowResult(completed, chosen, listed.beyond, verdict);
    } catch (...) {
        // The engine has removed its partial output. The panel is put back as
        // Cancel leaves it, and the error goes on to the message box.
        BitBtn12Click();
        throw;
    }
}

// The panel as it is while a join runs, and one turn of the event loop.
// False when Cancel (or a close of the window) came during that turn: the
// command then ends before anything is written.
bool TForm1::joinPrepare(const QString& chosen) {
    TForm3* dialog = G.Form3;
    BitBtn11->setEnabled(false);
    suiImageButton10->setEnabled(false);
    suiImageButton12->setEnabled(false);
    BitBtn22->setVisible(false);
    dialog->Label1->clear();
    dialog->Label2->clear();
    Gauge2->setProgress(0);
    gEdit2->setVisible(true);
    joindisable();
    BitBtn12->setEnabled(true);
    Edit5->setText(chosen);
    suiImageButton5->setVisible(false);
    Label12->setVisible(false);
    Image1->setVisible(true);
    G.JoinCancelFlag = 0;
    QCoreApplication::processEvents();
    return G.JoinCancelFlag == 0;
}

// A refusal before anything is written: its report, then the panel as after
// Cancel but with Load and "Main" ready (the user may give up on this set).
void TForm1::joinRefuse(const QStringList& lines) {
    TForm3* dialog = G.Form3;
    for (const QString& line : lines)
        dialog->suiMemo1->addLine(line);
    dialog->suiMemo1->setVisible(true);
    dialog->OKBtn->setVisible(true);
    joinenable();
    BitBtn12->setEnabled(false);
    dialog->ShowModal();
    suiImageButton10->setEnabled(true);
    BitBtn11->setEnabled(true);
}

// The refusals before anything is written: too little free space, or a
// joined file larger than the destination's file system can hold. A refusal
// shows its report and leaves the panel as after Cancel but with Load ready.
bool TForm1::joinRefusedBeforeWriting() {
    // Parts after the end of the set's list are left out: they need no room.
    const QStringList refusal =
        joinRefusal(G, sizeToJoin(OpenDialog2.FileName, G.JoinTotalSize), G.JoinDestFolder);
    if (refusal.isEmpty()) return false;
    joinRefuse(refusal);
    return true;
}

// The parts that the set's part list (or its .sfv) names but that aren't
// there, or without a list the gaps below the set's highest part: the user
// chooses between "Join Anyway" and "Abort".
TForm1::JoinMissingAnswer TForm1::joinAskAboutMissingParts(const QString& chosen,
                                                           const JoinChecks& checks) {
    collectMissingParts(G, chosen, checks);
    if (G.JoinMissingParts.isEmpty()) return JoinMissingAnswer::NoneMissing;

    TForm3* dialog = G.Form3;
    Memo* memo = dialog->suiMemo1;
    BitBtn12->setEnabled(false);
    dialog->BitBtn1->setVisible(true);
    dialog->BitBtn2->setVisible(true);
    dialog->OKBtn->setVisible(false);
    memo->addLine(QStringLiteral("        "));
    memo->addLine(QStringLiteral("             Missing Files:"));
    QString missing;
    for (const QString& entry : std::as_const(G.JoinMissingParts))
        missing += entry + QStringLiteral("\r\n");
    memo->addText(missing);
    memo->setVisible(true);
    dialog->ShowModal();
    BitBtn22->setVisible(false);
    BitBtn12->setVisible(true);
    if (dialog->Label2->text() == AbortMarker) {
        // The dialog's Abort has reset the rest of the panel.
        BitBtn12->setEnabled(false);
        BitBtn11->setEnabled(true);
        Edit5->clear();
        Edit6->clear();
        return JoinMissingAnswer::Abort;
    }
    BitBtn12->setEnabled(true);
    BitBtn11->setEnabled(false);
    return JoinMissingAnswer::JoinAnyway;
}

// The output: the parts' name without the ordinal, in the destination, with
// "Clone Of " put before it again and again while that name is taken: no file
// already there is ever replaced.
void TForm1::joinChooseOutputName(const QString& chosen) {
    G.JoinOutputPath = joinOutputPathFor(G.JoinDestFolder, chosen);
    Edit6->setText(G.JoinOutputPath);
    gEdit2->setVisible(false);
}

// The join engine with the panel's gauge and icon, up to lastOrdinal when
// that is above 0, checking the parts against the check files as it copies.
// True when it completed: the engine puts the output in place exactly when it
// wasn't cancelled, nor removed after a failed check. A failed check keeps the
// joined bytes under the hidden name until the user has decided in the
// report; the parts are never touched.
bool TForm1::joinRunEngine(const QString& chosen, qint64 lastOrdinal, const JoinChecks& checks,
                           JoinCheckVerdict& verdict) {
    JoinHooks hooks;
    hooks.progress = [this](int percent) { Gauge2->setProgress(percent); };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.iconRefresh = [this] { Exticon(); };
    hooks.partCrcs = checks.any();
    bool kept = false;
    hooks.keep = [&] {
        const QStringList failed = failedCheckLines(checks, G.JoinPartCrcs);
        if (failed.isEmpty()) return true;
        verdict.decided = true;
        kept = G.Form3->Decide(QStringList{QStringLiteral("   CRC-32 check failed:")} + failed +
                                   checks.notes +
                                   QStringList{QStringLiteral("   Keep the joined file?")},
                               QStringLiteral("Keep"), QStringLiteral("Remove"));
        return kept;
    };
    JoinOptions options;
    options.lastOrdinal = lastOrdinal;
    options.keepExisting = true;
    const GaugeRun run({Gauge2}, G.JoinTotalSize);
    spojfor(G, chosen, G.JoinOutputPath, hooks, options);
    const bool completed = G.JoinCancelFlag == 0 && (!verdict.decided || kept);
    if (completed && !verdict.decided && checks.any())
        verdict.lines << passedCheckLine(checks, G.JoinPartCrcs);
    if (!verdict.decided) verdict.lines << checks.notes;
    return completed;
}

// The panel after the join (or a cancel before it), and the completion
// report, which names the parts after the list's end that were left out.
void TForm1::joinShowResult(bool completed, const QString& chosen, const QStringList& leftOut,
                            const JoinCheckVerdict& verdict) {
    if (completed) {
        Exticon();
        suiImageButton5->setVisible(true);
        Label12->setVisible(true);
        Image1->setVisible(false);
    }
    Image1->repaint();
    BitBtn11->setEnabled(true);
    suiImageButton10->setEnabled(true);
    joinenable();
    Gauge2->setProgress(100);
    if (!completed) Gauge2->setProgress(0);
    suiImageButton5->setVisible(completed);
    Label12->setVisible(completed);
    BitBtn12->setEnabled(false);
    BitBtn22->setVisible(completed);
    if (completed) {
        QStringList lines = partListExists(joinListPathOf(chosen)) ? CompletedWithListLines
                                                                   : CompletedWithoutListLines;
        lines << verdict.lines;
        if (!leftOut.isEmpty())
            lines << QStringLiteral("  ") << QStringLiteral("     Left out, not listed:")
                  << leftOut;
        // After a failed check that the user kept, the decision was the report.
        if (!verdict.decided) G.Form3->Report(lines);
        BitBtn22->setVisible(true);
        BitBtn12->setEnabled(false);
        BitBtn22->setEnabled(true);
        if (Edit2->text().isEmpty()) {
            BitBtn9->setEnabled(false);
            BitBtn10->setEnabled(true);
        }
    }
    suiImageButton10->setEnabled(true);
    suiImageButton12->setEnabled(true);
}
