// The split engine run from the window: progress to both split gauges, the
// destination field at every new part, the free-space refusal in the report
// dialog, and one event-loop turn after every block, over an earlier split of
// the same name (splitOverEarlierSet).
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "split/SplitEngine.h"
#include "split/SplitOverEarlier.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

void TForm1::splitfile(const QString& sourcePath, qint64 partSize) {
    SplitHooks hooks;
    hooks.progress = [this](int percent) {
        Gauge1->setProgress(percent);
        Gauge5->setProgress(percent);
    };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.partStarted = [this] { Edit4->setText(G.SplitDestFolder); };
    hooks.refused = [this](const QStringList& lines) {
        for (const QString& line : lines)
            G.Form3->suiMemo1->addLine(line);
        G.Form3->suiMemo1->setVisible(true);
        BitBtn9->setEnabled(false);
        BitBtn20->setEnabled(false);
        G.Form3->ShowModal();
    };
    hooks.cancelled = [this] {
        Gauge1->stepDownToZero();
        Gauge5->setProgress(0);
    };
    // Marks the run, also when a file error ends it.
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(splitEngineRunning_);
    // A new split supersedes the parts that a failed one left: its own parts
    // may take their names.
    splitPartsLeft_.clear();
    presetPartsLeft_.clear();
    splitOverEarlierSet(G, sourcePath, partSize, hooks);
}
