// SPDX-License-Identifier: GPL-3.0-or-later
// --checksum, --compare and --verify: their jobs' requests and results.
#include "cli/Commands.h"
#include "cli/Console.h"
#include "jobs/ChecksumJob.h"
#include "jobs/CompareJob.h"
#include "jobs/VerifyJob.h"
#include "parts/Naming.h"

#include <QFileInfo>

using namespace tfs;

namespace cli {

namespace {

QString verdictWord(PartVerdict verdict) {
    switch (verdict) {
    case PartVerdict::Ok:
        return QStringLiteral("OK");
    case PartVerdict::Bad:
        return QStringLiteral("BAD");
    case PartVerdict::Missing:
        break;
    }
    return QStringLiteral("MISSING");
}

} // namespace

int checksum(const QString& path) {
    JobProgress progress;
    JobHooks hooks;
    progress.follow(hooks);
    const CancelToken cancel(interrupted);
    const ChecksumResult result = runChecksum({path}, hooks, cancel);
    if (result.cancelled) return interruptedStatus();
    const QString hex =
        QString::number(result.crc, 16).toUpper().rightJustified(8, QLatin1Char('0'));
    print(QStringLiteral("%1 %2 %3").arg(hex).arg(result.crc).arg(path));
    return Success;
}

int compare(const QString& first, const QString& second) {
    JobProgress progress;
    JobHooks hooks;
    progress.follow(hooks);
    CancelToken cancel(interrupted);
    const CompareJobResult result = runCompare({first, second}, hooks, cancel);
    if (result.cancelled) return interruptedStatus();
    if (result.found.identical) {
        print(QStringLiteral("identical"));
        return Success;
    }
    // Counted from 1, as cmp counts.
    print(result.found.differentLength
              ? QStringLiteral("different length")
              : QStringLiteral("different at byte %1").arg(result.found.firstDifference + 1));
    return Different;
}

int verify(const QString& argument) {
    // Without a .sfv (or naming a .par2), the recovery data checks the set.
    const QFileInfo named(argument);
    const QString setName = joinOutputNameOf(named.absoluteFilePath());
    const QFileInfo sfv(folderOf(named.absoluteFilePath()) + setName + QStringLiteral(".sfv"));
    if (!named.isDir() && hasRecoveryData(named.absoluteFilePath()) &&
        (named.fileName().endsWith(QLatin1String(".par2"), Qt::CaseInsensitive) ||
         (!sfv.exists() && !sfv.isSymLink())))
        return verifyWithRecovery(argument);
    JobProgress progress;
    VerifyHooks hooks;
    progress.follow(hooks);
    int status = Success;
    bool unreadable = false; // a read that failed is a failure, not a verdict
    hooks.partVerified = [&](const VerifiedPart& part) {
        if (!part.readError.isEmpty()) {
            error(part.readError);
            unreadable = true;
        }
        if (part.verdict != PartVerdict::Ok) status = Different;
        print(part.name + QLatin1Char(' ') + verdictWord(part.verdict));
    };
    const CancelToken cancel(interrupted);
    if (runVerify({argument}, hooks, cancel).cancelled) return interruptedStatus();
    return unreadable ? Refused : status;
}

} // namespace cli
