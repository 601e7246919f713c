// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "verify/CheckFiles.h"

struct PartCrc;

namespace tfs {

struct PartSet;

// The check files beside a set's parts, read before a join
// and compared with the CRC-32 of the bytes the join copied: "<base>.sfv"
// (ours or another tool's) for each part of the set that it names, and
// "<base>.crc" for the joined file's size and CRC-32. A check file that
// can't be used gives one report line and the join goes on without it.
struct JoinChecks {
    QString setName;              // the joined file's name: movie.avi of movie.avi.003
    QMap<qint64, SfvEntry> parts; // ordinal -> the .sfv's entry: the part's name, its CRC-32
    bool wholeFile = false;       // whether the .crc is used
    qint64 size = 0;              // its size and CRC-32
    quint32 crc = 0;
    QStringList notes; // one line for each check file not used
    // The parts that the set's recovery data found damaged or missing and
    // could not rebuild (SetRecovery::unrepaired): ordinal -> name. They fail
    // the check as a wrong CRC-32 does.
    QMap<qint64, QString> unrepaired;

    // Whether the join has anything to check.
    bool any() const { return !parts.isEmpty() || wholeFile || !unrepaired.isEmpty(); }
};

JoinChecks readJoinChecks(const PartSet& set);

// The entries of an .sfv that name parts of the set named setName, by
// ordinal, in either numbering (movie.avi.0101 or another tool's
// movie.avi.101). Entries of other files are another tool's business. A part
// named in both numberings with two different CRC-32s makes the file unusable:
// none, with the reason in `conflict`.
QMap<qint64, SfvEntry> sfvPartsOf(const SfvContent& sfv, const QString& setName,
                                  QString* conflict = nullptr);

// After the join, from the parts' CRC-32 as copied (part 1 first): the
// report lines of every failed check, each damaged part named with the
// expected and the actual CRC-32 (or that the recovery data can't rebuild
// it); empty when everything passed.
QStringList failedCheckLines(const JoinChecks& checks, const QList<PartCrc>& joined);

// What failed: "CRC-32 check failed", or "Recovery data check failed" when
// only the recovery data's verdict did.
QString failedCheckWords(const JoinChecks& checks, const QList<PartCrc>& joined);

// The completion report's added line when everything passed
// ("     CRC-32 checked: 3 of 3 parts"; "     Checked against the recovery
// data" where only its verdict was there, on parts not joined).
QString passedCheckLine(const JoinChecks& checks, const QList<PartCrc>& joined);

} // namespace tfs
