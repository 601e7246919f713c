// The Join button: the destination's free space and largest file, the
// missing-part question when the set's part list names parts that aren't
// there, the output name ("Clone Of " before a name that is taken), the join
// engine with the panel's gauge and icon, and the completion report.
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "split/Naming.h"
#include "split/PartList.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace {

const QString AbortMarker = QStringLiteral("prekini");

const QStringList CompletedWithListLines{QString(), QString(), QString(),
                                         QStringLiteral("              Joining completed,")};

const QStringList CompletedWithoutListLines{QString(), QString(),
                                            QStringLiteral("              Joining completed,"),
                                            QStringLiteral("  "),
                                            QStringLiteral("         Check.txt not availiable")};

} // namespace

// The missing-part scan for the part last chosen in the panel.
void TForm1::BitBtn5Click() { scanForMissingParts(G, OpenDialog2.FileName); }

void TForm1::BitBtn2Click() {
    // A Join click that was queued behind Cancel can arrive while the
    // cancelled join is still unwinding: it must not start a join inside it.
    if (joinRunning_)
        return;
    joinRunning_ = true;
    const auto finished = qScopeGuard([this] { joinRunning_ = false; });

    TForm3* dialog = G.Form3;
    Memo* memo = dialog->suiMemo1;
    const QString chosen = OpenDialog2.FileName;
    try {
        // Preparation.
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
        // Cancel (or a close of the window) during that turn ends the command
        // before anything is written.
        bool completed = G.JoinCancelFlag == 0;

        if (completed) {
            // The refusals before anything is written: the report, the panel
            // as after Cancel but with Load ready.
            const auto refuse = [&](const QStringList& lines) {
                for (const QString& line : lines)
                    memo->addLine(line);
                memo->setVisible(true);
                dialog->OKBtn->setVisible(true);
                joinenable();
                BitBtn12->setEnabled(false);
                dialog->ShowModal();
                suiImageButton10->setEnabled(true);
            };

            // Free space (equal is enough) and the destination's largest file.
            const QStringList refusal = joinRefusal(G, G.JoinTotalSize, G.JoinDestFolder);
            if (!refusal.isEmpty()) {
                refuse(refusal);
                return;
            }

            // Missing parts named by the set's part list.
            bool joinAnyway = false;
            G.JoinListName = joinListNameOf(chosen);
            if (partListExists(joinListPathOf(chosen))) {
                BitBtn5Click();
                if (!G.JoinMissingParts.isEmpty()) {
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
                        return;
                    }
                    BitBtn12->setEnabled(true);
                    BitBtn11->setEnabled(false);
                    joinAnyway = true;
                }
            }

            // Without its first part the set joins into an empty file: that is
            // no completed join, unless the user asked for it with "Join Anyway".
            if (!joinAnyway) requireFirstPart(chosen);

            // The output's name.
            G.JoinOutputPath = joinOutputPathFor(G.JoinDestFolder, chosen);
            Edit6->setText(G.JoinOutputPath);
            gEdit2->setVisible(false);

            JoinHooks hooks;
            hooks.progress = [this](int percent) { Gauge2->setProgress(percent); };
            hooks.yield = [] { QCoreApplication::processEvents(); };
            hooks.iconRefresh = [this] { Exticon(); };
            spojfor(G, chosen, G.JoinOutputPath, hooks);
            // The engine puts the output in place exactly when it wasn't cancelled;
            // a file that was already there (an earlier clone) says nothing.
            completed = G.JoinCancelFlag == 0;
        }

        // The result.
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
        if (!completed)
            Gauge2->setProgress(0);
        suiImageButton5->setVisible(completed);
        Label12->setVisible(completed);
        BitBtn12->setEnabled(false);
        BitBtn22->setVisible(completed);
        if (completed) {
            dialog->Report(partListExists(joinListPathOf(chosen)) ? CompletedWithListLines
                                                                  : CompletedWithoutListLines);
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
    } catch (...) {
        // The engine has removed its partial output. The panel is put back as
        // Cancel leaves it, and the error goes on to the message box.
        BitBtn12Click();
        throw;
    }
}
