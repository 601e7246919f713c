// The split engine run from the window: progress to both split gauges, the
// destination field at every new part, the free-space refusal in the report
// dialog, and one event-loop turn after every block. The part list of an
// earlier split of the same name goes when the first part is created.
#include "core/FileError.h"
#include "core/ProgramState.h"
#include "app/RunMeter.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SplitEngine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Deletes the list of an earlier split and returns the part names it held;
// one that can't be deleted stops the split before its first part.
QStringList removeEarlierList(const QString& list) {
    if (!partListExists(list))
        return {};
    QStringList names;
    QFile file(list);
    if (file.open(QIODevice::ReadOnly)) {
        const QString content = QString::fromUtf8(file.readAll());
        names = content.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")),
                              Qt::SkipEmptyParts);
        file.close();
    }
    if (!file.remove())
        throw FileError(QStringLiteral("Cannot delete %1, the part list of an earlier split "
                                       "whose parts this split replaces: %2")
                            .arg(list, file.errorString()));
    return names;
}

// After a completed split, the parts of the earlier split of the same name
// beyond the new set's last part go too: the join takes every consecutive
// part it finds, and old ones behind the new set would be joined into it.
// Only names that the earlier list gave, in this folder, with a higher
// ordinal of the same source name are removed.
void removeEarlierPartsBeyond(const QStringList& earlier, const QString& sourcePath,
                              qint64 newCount) {
    const QString prefix = fileNameOf(sourcePath) + QLatin1Char('.');
    for (const QString& name : earlier) {
        if (!name.startsWith(prefix))
            continue;
        bool number = false;
        const QString digits = name.mid(prefix.size());
        const qint64 ordinal = digits.toLongLong(&number);
        if (!number || ordinal <= newCount || rednibroj_to_ext(ordinal) != digits)
            continue;
        const QString path = G.SplitDestFolder + name;
        if (QFileInfo(path).isFile())
            QFile::remove(path);
    }
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
    QStringList earlierParts;
    hooks.partStarted = [this, &firstPart, &earlierParts, &sourcePath] {
        Edit4->setText(G.SplitDestFolder);
        if (std::exchange(firstPart, false))
            earlierParts =
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
    const GaugeRun run({Gauge1, Gauge5}, QFileInfo(sourcePath).size());
    ::splitfile(G, sourcePath, partSize, hooks);
    if (G.SplitCancelFlag == 0 && !earlierParts.isEmpty())
        removeEarlierPartsBeyond(earlierParts, sourcePath, G.SplitPartPaths.size());
}
