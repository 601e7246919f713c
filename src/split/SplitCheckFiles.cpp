#include "split/SplitCheckFiles.h"

#include "core/ProgramState.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "verify/CheckFiles.h"

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

void writeCheckFiles(const QString& base, const QStringList& partNames,
                     const QList<PartCrc>& crcs) {
    const QString sourceName = fileNameOf(base);
    if (crcs.size() != partNames.size()) return; // a split that didn't take its CRCs
    QList<SfvEntry> entries;
    quint32 whole = 0;
    qint64 size = 0;
    for (qsizetype i = 0; i < crcs.size(); ++i) {
        entries.append({partNames.at(i), crcs.at(i).crc});
        whole = crc32Combine(whole, crcs.at(i).crc, crcs.at(i).size);
        size += crcs.at(i).size;
    }
    const QString sfv = base + QStringLiteral(".sfv");
    if (!present(sfv) || isOurSfv(sfv, sourceName)) saveWholeFile(sfv, sfvBytes(entries));
    const QString crc = base + QStringLiteral(".crc");
    if (!present(crc) || isOurCrcFile(crc, sourceName))
        saveWholeFile(crc, crcFileBytes(sourceName, size, whole));
}

void deleteCheckFilesOf(const QString& listPath) {
    if (!listPath.endsWith(ListSuffix)) return;
    const QString base = listPath.chopped(ListSuffix.size());
    const QString sourceName = fileNameOf(base);
    const QString sfv = base + QStringLiteral(".sfv");
    if (isOurSfv(sfv, sourceName)) QFile::remove(sfv);
    const QString crc = base + QStringLiteral(".crc");
    if (isOurCrcFile(crc, sourceName)) QFile::remove(crc);
}

} // namespace tfs
