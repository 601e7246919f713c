// SPDX-License-Identifier: GPL-3.0-or-later
// --checksum, --compare and --verify: the window's CRC-32, file comparison
// and the join's reading of a set's .sfv.
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "join/JoinChecks.h"
#include "parts/Naming.h"
#include "verify/CheckFiles.h"
#include "verify/CompareEngine.h"
#include "verify/Crc32.h"

#include <QFileInfo>

using namespace tfs;

namespace cli {

namespace {

// The .sfv of the set that a part, its part list or its .sfv names, and its
// entries of that set's parts by ordinal. Throws OperationError when the argument
// names no set, or when there is no .sfv, it can't be read, or it names no
// part of the set.
QMap<qint64, SfvEntry> partsToVerify(const QString& argument) {
    const QFileInfo named(argument);
    if (named.isDir())
        throw OperationError(
            QStringLiteral("Cannot verify %1: it is a folder, not a file").arg(argument));
    const QString path = named.absoluteFilePath();
    const QString setName = joinOutputNameOf(path);
    if (setName.isEmpty() || setName == fileNameOf(path))
        throw OperationError(
            QStringLiteral("Cannot verify %1: name a part, the part list or the .sfv "
                           "of a set")
                .arg(argument));
    const QString sfvPath = folderOf(path) + setName + QStringLiteral(".sfv");
    const QFileInfo sfvFile(sfvPath);
    if (!sfvFile.exists() && !sfvFile.isSymLink())
        throw OperationError(QStringLiteral("Cannot verify %1: there is no %2 beside it")
                                 .arg(argument, fileNameOf(sfvPath)));
    const SfvContent sfv = readSfv(sfvPath);
    if (!sfv.error.isEmpty())
        throw OperationError(QStringLiteral("Cannot read %1: %2").arg(sfvPath, sfv.error));
    QString conflict;
    const QMap<qint64, SfvEntry> parts = sfvPartsOf(sfv, setName, &conflict);
    if (!conflict.isEmpty())
        throw OperationError(QStringLiteral("Cannot read %1: %2").arg(sfvPath, conflict));
    if (parts.isEmpty())
        throw OperationError(QStringLiteral("%1 names no part of %2").arg(sfvPath, setName));
    return parts;
}

} // namespace

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
    const bool identical = compareFiles(state, first, second, hooks);
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

int verify(const QString& argument) {
    // Without a .sfv (or naming a .par2), the recovery data checks the set.
    const QFileInfo named(argument);
    const QString setName = joinOutputNameOf(named.absoluteFilePath());
    const QFileInfo sfv(folderOf(named.absoluteFilePath()) + setName + QStringLiteral(".sfv"));
    if (!named.isDir() && hasRecoveryData(named.absoluteFilePath()) &&
        (named.fileName().endsWith(QLatin1String(".par2"), Qt::CaseInsensitive) ||
         (!sfv.exists() && !sfv.isSymLink())))
        return verifyWithRecovery(argument);
    const QMap<qint64, SfvEntry> expected = partsToVerify(argument);
    const QString folder = folderOf(QFileInfo(argument).absoluteFilePath());
    qint64 total = 0;
    for (const SfvEntry& entry : expected) {
        const QFileInfo part(folder + entry.name);
        if (part.isFile()) total += part.size();
    }

    VerifyState state;
    qint64 before = 0; // the bytes of the parts read before this one
    Progress progress(total);
    CrcHooks hooks;
    hooks.progress = [&](int) {
        const qint64 done = before + CrcBytesDone;
        progress.show(total > 0 ? static_cast<int>(done * 100 / total) : 100, done);
    };
    hooks.yield = [&] {
        if (interrupted()) state.ChecksumCancelFlag = 1;
    };
    int status = Success;
    bool unreadable = false; // a read that failed is a failure, not a verdict
    for (const SfvEntry& entry : expected) {
        const QString path = folder + entry.name;
        const QFileInfo part(path);
        QString verdict = QStringLiteral("MISSING"); // a folder or a pipe of its name as well
        if (part.isFile()) {
            try {
                verdict = FileCrc32(state, path, hooks) == entry.crc ? QStringLiteral("OK")
                                                                     : QStringLiteral("BAD");
            } catch (const OperationError& e) {
                error(e.text()); // unreadable: it can't be the part that was split
                verdict = QStringLiteral("BAD");
                unreadable = true;
            }
            before += part.size();
        }
        if (state.ChecksumCancelFlag != 0) return interruptedStatus();
        if (verdict != QLatin1String("OK")) status = Different;
        print(entry.name + QLatin1Char(' ') + verdict);
    }
    return unreadable ? Refused : status;
}

} // namespace cli
