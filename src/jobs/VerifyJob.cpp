// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/VerifyJob.h"

#include "core/OperationError.h"
#include "join/JoinChecks.h"
#include "parts/Naming.h"
#include "verify/CheckFiles.h"
#include "verify/Crc32.h"

#include <QFileInfo>
#include <QMap>

namespace tfs {

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

// One part against its entry; `before`: the bytes of the parts read before it.
VerifiedPart verifyPart(const QString& path, const SfvEntry& entry, const VerifyHooks& hooks,
                        const CancelToken& cancel, qint64 before, qint64 total) {
    VerifiedPart part{entry.name, PartVerdict::Missing, QString()};
    if (!QFileInfo(path).isFile()) return part; // a folder or a pipe of its name as well
    CrcHooks crcHooks;
    crcHooks.yield = hooks.yield;
    crcHooks.bytesRead = [&](qint64 read) {
        const qint64 done = before + read;
        if (hooks.bytesDone) hooks.bytesDone(done);
        if (hooks.progress) hooks.progress(total > 0 ? static_cast<int>(done * 100 / total) : 100);
    };
    try {
        part.verdict =
            fileCrc32(path, crcHooks, cancel).crc == entry.crc ? PartVerdict::Ok : PartVerdict::Bad;
    } catch (const OperationError& e) {
        part.verdict = PartVerdict::Bad; // unreadable: it can't be the part that was split
        part.readError = e.text();
    }
    return part;
}

} // namespace

VerifyResult runVerify(const VerifyRequest& request, const VerifyHooks& hooks,
                       const CancelToken& cancel) {
    const QMap<qint64, SfvEntry> expected = partsToVerify(request.path);
    const QString folder = folderOf(QFileInfo(request.path).absoluteFilePath());
    qint64 total = 0;
    for (const SfvEntry& entry : expected) {
        const QFileInfo part(folder + entry.name);
        if (part.isFile()) total += part.size();
    }
    if (hooks.started) hooks.started(total);

    VerifyResult result;
    qint64 before = 0; // the bytes of the parts read before this one
    for (const SfvEntry& entry : expected) {
        const QString path = folder + entry.name;
        const QFileInfo found(path);
        const qint64 size = found.isFile() ? found.size() : 0;
        const VerifiedPart part = verifyPart(path, entry, hooks, cancel, before, total);
        before += size;
        if (cancel.requested()) {
            result.cancelled = true;
            return result;
        }
        result.parts.append(part);
        if (hooks.partVerified) hooks.partVerified(part);
    }
    return result;
}

} // namespace tfs
