// SPDX-License-Identifier: GPL-3.0-or-later
#include "join/JoinChecks.h"

#include "core/OperationState.h"
#include "parts/Naming.h"
#include "parts/PartSet.h"
#include "verify/CheckFiles.h"

#include <QFileInfo>
#include <QSet>

namespace tfs {

namespace {

bool present(const QString& path) {
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink();
}

QString notCheckedLine(const QString& fileName, const QString& why) {
    return QStringLiteral("   %1 not checked: %2").arg(fileName, why);
}

} // namespace

JoinChecks readJoinChecks(const PartSet& set) {
    JoinChecks checks;
    checks.setName = set.name;

    const QString sfvName = checks.setName + QStringLiteral(".sfv");
    if (present(set.sfvPath())) {
        const SfvContent sfv = readSfv(set.sfvPath());
        if (!sfv.error.isEmpty()) checks.notes << notCheckedLine(sfvName, sfv.error);
        QString conflict;
        checks.parts = sfvPartsOf(sfv, checks.setName, &conflict);
        if (!conflict.isEmpty()) checks.notes << notCheckedLine(sfvName, conflict);
    }

    const QString crcName = checks.setName + QStringLiteral(".crc");
    if (present(set.crcPath())) {
        const CrcFileContent crc = readCrcFile(set.crcPath());
        if (!crc.error.isEmpty())
            checks.notes << notCheckedLine(crcName, crc.error);
        else if (crc.fileName != checks.setName)
            checks.notes << notCheckedLine(crcName, QStringLiteral("names another file"));
        else {
            checks.wholeFile = true;
            checks.size = crc.size;
            checks.crc = crc.crc;
        }
    }
    return checks;
}

QMap<qint64, SfvEntry> sfvPartsOf(const SfvContent& sfv, const QString& setName,
                                  QString* conflict) {
    QMap<qint64, SfvEntry> parts;
    for (const SfvEntry& e : sfv.entries) {
        if (basePathOf(e.name) != setName) continue;
        const qint64 ordinal = ordinalOfPart(e.name);
        if (ordinal == 0) continue;
        const auto given = parts.constFind(ordinal);
        if (given == parts.constEnd()) {
            parts.insert(ordinal, e);
        } else if (given->crc != e.crc) { // one part in both numberings, two values
            if (conflict)
                *conflict =
                    QStringLiteral("it gives %1 and %2 different CRC-32s").arg(given->name, e.name);
            return {};
        }
    }
    return parts;
}

QStringList failedCheckLines(const JoinChecks& checks, const QList<PartCrc>& joined) {
    QStringList lines;
    QSet<qint64> told;
    for (auto it = checks.parts.cbegin(); it != checks.parts.cend(); ++it) {
        if (it.key() > joined.size()) continue; // not joined: the missing-part question has told
        const quint32 actual = joined.at(it.key() - 1).crc;
        if (actual == it->crc) continue;
        lines << QStringLiteral("   %1 is damaged:").arg(it->name)
              << QStringLiteral("   expected %1, read %2").arg(crcHex(it->crc), crcHex(actual));
        told << it.key();
    }
    for (auto it = checks.unrepaired.cbegin(); it != checks.unrepaired.cend(); ++it) {
        if (it.key() > joined.size() || told.contains(it.key())) continue;
        lines << QStringLiteral("   %1 is damaged:").arg(it.value())
              << QStringLiteral("   the recovery data cannot rebuild it");
    }
    if (checks.wholeFile) {
        qint64 size = 0;
        quint32 crc = 0;
        for (const PartCrc& part : joined) {
            crc = crc32Combine(crc, part.crc, part.size);
            size += part.size;
        }
        if (size != checks.size)
            lines << QStringLiteral("   The joined file's size differs:")
                  << QStringLiteral("   expected %1, joined %2").arg(checks.size).arg(size);
        else if (crc != checks.crc)
            lines << QStringLiteral("   The joined file's CRC-32 differs:")
                  << QStringLiteral("   expected %1, read %2").arg(crcHex(checks.crc), crcHex(crc));
    }
    return lines;
}

QString failedCheckWords(const JoinChecks& checks, const QList<PartCrc>& joined) {
    JoinChecks crcOnly = checks;
    crcOnly.unrepaired.clear();
    return failedCheckLines(crcOnly, joined).isEmpty()
               ? QStringLiteral("Recovery data check failed")
               : QStringLiteral("CRC-32 check failed");
}

QString passedCheckLine(const JoinChecks& checks, const QList<PartCrc>& joined) {
    qint64 checked = 0;
    for (auto it = checks.parts.cbegin(); it != checks.parts.cend(); ++it)
        if (it.key() <= joined.size()) ++checked;
    if (checked > 0)
        return QStringLiteral("     CRC-32 checked: %1 of %2 parts")
            .arg(checked)
            .arg(joined.size());
    if (checks.wholeFile) return QStringLiteral("     CRC-32 checked: joined file");
    return QStringLiteral("     Checked against the recovery data");
}

} // namespace tfs
