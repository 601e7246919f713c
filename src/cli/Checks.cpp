// --checksum and --compare: the window's CRC-32 and file comparison.
#include "core/ProgramState.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/FileCopy.h"
#include "verify/CompareEngine.h"
#include "verify/SZCRC32.h"

#include <QFileInfo>

using namespace tfs;

namespace cli {

int checksum(const QString& path) {
    requireRegularFile(path); // a named pipe would wait for a writer
    VerifyState state;
    Progress progress(QFileInfo(path).size());
    CrcHooks hooks;
    hooks.progress = [&](int percent) { progress.show(percent, CrcBytesDone); };
    hooks.yield = [&] {
        if (interrupted()) state.ChecksumCancelFlag = 1;
    };
    const quint32 crc = FileCrc32(state, path, hooks);
    if (state.ChecksumCancelFlag != 0) return interruptedStatus();
    const QString hex = QString::number(crc, 16).toUpper().rightJustified(8, QLatin1Char('0'));
    print(QStringLiteral("%1 %2 %3").arg(hex).arg(crc).arg(path));
    return Success;
}

int compare(const QString& first, const QString& second) {
    requireRegularFile(first);
    requireRegularFile(second);
    VerifyState state;
    bool differentLength = false;
    qint64 differentAt = -1;
    Progress progress(QFileInfo(first).size());
    CompareHooks hooks;
    hooks.differentLength = [&] { differentLength = true; };
    hooks.differentAt = [&](qint64 offset) { differentAt = offset; };
    hooks.progress = [&](int percent) { progress.show(percent); };
    hooks.yield = [&] {
        if (interrupted()) state.CompareCancelFlag = 1;
    };
    const bool identical = comparefiles(state, first, second, hooks);
    if (state.CompareCancelFlag != 0) return interruptedStatus();
    if (identical) {
        print(QStringLiteral("identical"));
        return Success;
    }
    // Counted from 1, as cmp counts.
    print(differentLength ? QStringLiteral("different length")
                          : QStringLiteral("different at byte %1").arg(differentAt + 1));
    return Different;
}

} // namespace cli
