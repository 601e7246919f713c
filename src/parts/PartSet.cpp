// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts/PartSet.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace tfs {

namespace {

bool partExists(const QString& path) { return QFileInfo(path).isFile(); }

// The ordinals past 100 that the set's folder holds in each numbering.
struct LongOrdinals {
    QList<qint64> ours, plain;
};

LongOrdinals longOrdinalsOf(const PartSet& set) {
    LongOrdinals found;
    const QString prefix = set.name + QLatin1Char('.');
    const QDir dir(set.folder.isEmpty() ? QStringLiteral(".") : set.folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!name.startsWith(prefix)) continue;
        const qint64 ordinal = ordinalOfPart(name);
        if (ordinal <= 100) continue;
        const QString digits = name.mid(prefix.size());
        if (digits == ordinalDigits(ordinal, PartNumbering::Ours)) found.ours << ordinal;
        if (digits == ordinalDigits(ordinal, PartNumbering::Plain)) found.plain << ordinal;
    }
    return found;
}

PartNumbering numberingOf(const PartSet& set, const LongOrdinals& found) {
    if (partExists(joinPartPath(set.basePath(), 101, PartNumbering::Ours)))
        return PartNumbering::Ours;
    if (partExists(joinPartPath(set.basePath(), 101, PartNumbering::Plain)))
        return PartNumbering::Plain;
    return !found.ours.isEmpty() && found.plain.isEmpty() ? PartNumbering::Ours
                                                          : PartNumbering::Plain;
}

} // namespace

PartSet readPartSet(const QString& chosen) {
    PartSet set;
    set.chosen = chosen;
    const QString basePath = basePathOf(chosen);
    set.folder = folderOf(basePath);
    set.name = fileNameOf(basePath);
    const LongOrdinals found = longOrdinalsOf(set);
    set.numbering = numberingOf(set, found);
    for (qint64 i = 1; i <= 100; ++i)
        if (partExists(set.partPath(i))) set.present << i;
    set.present << (set.numbering == PartNumbering::Ours ? found.ours : found.plain);
    std::sort(set.present.begin(), set.present.end());
    return set;
}

} // namespace tfs
