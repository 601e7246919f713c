#include "split/SplitOverEarlier.h"

#include "core/FileError.h"
#include "core/ProgramState.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SplitEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace {

// Deletes the list of an earlier split and returns the part names it held.
QStringList removeEarlierList(const QString& list) {
    if (!partListExists(list)) return {};
    QStringList names;
    QFile file(list);
    if (file.open(QIODevice::ReadOnly)) {
        const QString content = QString::fromUtf8(file.readAll());
        names =
            content.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")), Qt::SkipEmptyParts);
        file.close();
    }
    if (!file.remove())
        throw FileError(QStringLiteral("Cannot delete %1, the part list of an earlier split "
                                       "whose parts this split replaces: %2")
                            .arg(list, file.errorString()));
    return names;
}

// Only names that the earlier list gave, in this folder, with a higher
// ordinal of the same source name are removed.
void removeEarlierPartsBeyond(const QStringList& earlier, const QString& destFolder,
                              const QString& sourcePath, qint64 newCount) {
    const QString prefix = fileNameOf(sourcePath) + QLatin1Char('.');
    for (const QString& name : earlier) {
        if (!name.startsWith(prefix)) continue;
        bool number = false;
        const QString digits = name.mid(prefix.size());
        const qint64 ordinal = digits.toLongLong(&number);
        if (!number || ordinal <= newCount || rednibroj_to_ext(ordinal) != digits) continue;
        const QString path = destFolder + name;
        if (QFileInfo(path).isFile()) QFile::remove(path);
    }
}

} // namespace

void splitOverEarlierSet(ProgramState& state, const QString& sourcePath, qint64 partSize,
                         const SplitHooks& hooks) {
    bool firstPart = true;
    QStringList earlierParts;
    SplitHooks own = hooks;
    own.partStarted = [&] {
        if (std::exchange(firstPart, false))
            earlierParts =
                removeEarlierList(partListPath(state.SplitDestFolder, fileNameOf(sourcePath)));
        if (hooks.partStarted) hooks.partStarted();
    };
    splitfile(state, sourcePath, partSize, own);
    if (state.SplitCancelFlag == 0 && !earlierParts.isEmpty())
        removeEarlierPartsBeyond(earlierParts, state.SplitDestFolder, sourcePath,
                                 state.SplitPartPaths.size());
}
