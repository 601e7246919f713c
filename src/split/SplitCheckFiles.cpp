// SPDX-License-Identifier: GPL-3.0-or-later
#include "split/SplitCheckFiles.h"

#include "core/OperationState.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "recovery/RecoverySet.h"
#include "recovery/RecoveryWriter.h"
#include "verify/CheckFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tfs {

namespace {

const QString ListSuffix = QStringLiteral(".txt");

bool present(const QString& path) {
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink();
}

} // namespace

bool isOurSfv(const QString& path, const QString& sourceName) {
    const SfvContent sfv = readSfv(path);
    if (!sfv.error.isEmpty()) return false;
    for (const SfvEntry& e : sfv.entries)
        if (partOrdinalOf(e.name, sourceName) == 0) return false;
    return true;
}

bool isOurCrcFile(const QString& path, const QString& sourceName) {
    const CrcFileContent crc = readCrcFile(path);
    return crc.error.isEmpty() && crc.fileName == sourceName;
}

QStringList writeCheckFiles(const QString& base, const QStringList& partNames,
                            const QList<PartCrc>& crcs) {
    const QString sourceName = fileNameOf(base);
    if (crcs.size() != partNames.size()) return {}; // a split that didn't take its CRCs
    QList<SfvEntry> entries;
    quint32 whole = 0;
    qint64 size = 0;
    for (qsizetype i = 0; i < crcs.size(); ++i) {
        entries.append({partNames.at(i), crcs.at(i).crc});
        whole = crc32Combine(whole, crcs.at(i).crc, crcs.at(i).size);
        size += crcs.at(i).size;
    }
    // A file of the user's stays; a link named like a check file (which no
    // check reads through) loses the name, its target untouched.
    QStringList notWritten;
    const auto save = [&](const QString& suffix, const auto& ours, const QByteArray& bytes) {
        const QString path = base + suffix;
        if (!present(path) || QFileInfo(path).isSymLink() || ours(path))
            saveWholeFile(path, bytes);
        else
            notWritten.append(QStringLiteral("%1 is not a check file of this split and stays as "
                                             "it is: no %2 was written")
                                  .arg(fileNameOf(path), suffix));
    };
    save(
        QStringLiteral(".sfv"), [&](const QString& path) { return isOurSfv(path, sourceName); },
        sfvBytes(entries));
    save(
        QStringLiteral(".crc"), [&](const QString& path) { return isOurCrcFile(path, sourceName); },
        crcFileBytes(sourceName, size, whole));
    return notWritten;
}

void deleteCheckFilesOf(const QString& listPath) {
    if (!listPath.endsWith(ListSuffix)) return;
    const QString base = listPath.chopped(ListSuffix.size());
    const QString sourceName = fileNameOf(base);
    const QString sfv = base + QStringLiteral(".sfv");
    if (isOurSfv(sfv, sourceName)) QFile::remove(sfv);
    const QString crc = base + QStringLiteral(".crc");
    if (isOurCrcFile(crc, sourceName)) QFile::remove(crc);
    for (const QString& path : ourRecoveryFilesOf(base))
        QFile::remove(path);
}

QStringList ourRecoveryFilesOf(const QString& base) {
    const QString sourceName = fileNameOf(base);
    const auto isPart = [&sourceName](const QString& name) {
        return partOrdinalOf(name, sourceName) != 0;
    };
    QStringList ours;
    const QDir folder(folderOf(base));
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(sourceName + QLatin1Char('.')) ||
            !name.endsWith(QLatin1String(".par2")))
            continue;
        const QString middle = name.mid(sourceName.size(), name.size() - sourceName.size() - 5);
        if (!middle.isEmpty() && !middle.startsWith(QLatin1String(".vol"))) continue;
        if (isOurRecoveryFile(folder.filePath(name), isPart)) ours.append(folder.filePath(name));
    }
    return ours;
}

RecoveryWritten writeRecoveryFilesOf(const QString& base, const QStringList& partNames,
                                     const QList<PartCrc>& partCrcs, int percent,
                                     const EngineHooks& hooks, const CancelToken& cancel,
                                     QString& refusal) {
    const QString folder = folderOf(base);
    QList<qint64> sizes;
    for (const QString& name : partNames)
        sizes.append(QFileInfo(folder + name).size());
    const RecoveryPlan plan = planRecovery(fileNameOf(base), sizes, percent);
    if (!plan.refusal.isEmpty()) {
        refusal = plan.refusal;
        return RecoveryWritten::Refused;
    }
    const QStringList ours = ourRecoveryFilesOf(base);
    for (const QString& name : plan.fileNames())
        if (present(folder + name) && !ours.contains(folder + name)) {
            refusal = QStringLiteral("%1 is not recovery data of this split and stays as it is: "
                                     "no recovery data was written")
                          .arg(name);
            return RecoveryWritten::Refused;
        }
    for (const QString& path : ours)
        QFile::remove(path);
    return writeRecoveryFiles(folder, partNames, plan, hooks, cancel, RecoveryMemory, partCrcs)
               ? RecoveryWritten::Written
               : RecoveryWritten::Cancelled;
}

} // namespace tfs
