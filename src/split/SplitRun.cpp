// The split engine run from the window: progress to both split gauges, the
// destination field at every new part, the free-space refusal in the report
// dialog, and one event-loop turn after every block. The part list of an
// earlier split of the same name goes when the first part is created.
#include "app/FileError.h"
#include "app/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SplitEngine.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Deletes the list of an earlier split; one that can't be deleted stops the
// split before its first part.
void removeEarlierList(const QString& list) {
    if (!partListExists(list))
        return;
    QFile file(list);
    if (!file.remove())
        throw FileError(QStringLiteral("Cannot delete %1, the part list of an earlier split "
                                       "whose parts this split replaces: %2")
                            .arg(list, file.errorString()));
}

} // namespace

void TForm1::splitfile(const QString& sourcePath, qint64 partSize) {
    SplitHooks hooks;
    hooks.progress = [this](int percent) {
        Gauge1->setProgress(percent);
        Gauge5->setProgress(percent);
    };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    // The first part overwrites the first part of any earlier split of the
    // same name in this folder, and from then on that split's list would name
    // parts that are no longer its own: a join would trust it. The list goes
    // right before the first part is created (a refused split leaves it), so
    // that a split that fails, is cancelled or is killed leaves no list that lies.
    bool firstPart = true;
    hooks.partStarted = [this, &firstPart, &sourcePath] {
        Edit4->setText(G.SplitDestFolder);
        if (std::exchange(firstPart, false))
            removeEarlierList(partListPath(G.SplitDestFolder, fileNameOf(sourcePath)));
    };
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
    ::splitfile(G, sourcePath, partSize, hooks);
}
