// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"
#include "parts/PartSet.h"
#include "recovery/RecoveryRepair.h"
#include "recovery/RecoverySet.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace tfs {

// A part of a set as --verify and --repair tell it.
struct PartVerdict {
    QString name;
    PartStatus status = PartStatus::Ok;
};

// The recovery data of a set of parts, as the join (the window's and the
// command line's), --verify and --repair use it: which PAR 2.0 files count
// for the set, what they found of its parts, and the repair of what they
// cover.
//
// Files count for a set when they carry its name (movie.avi.par2 and
// movie.avi.volNN+MM.par2 for the parts movie.avi.NNN) and describe at least
// one of its parts, named as the set names them. Whatever else they describe
// (a user's notes.txt beside the parts) is left alone: read for the repair's
// equations, never written, and named in one note.
class SetRecovery {
public:
    // Of the set that `chosen` belongs to: a part, its list or .sfv, or one
    // of its .par2 files. Reads nothing but the names in the folder.
    explicit SetRecovery(const QString& chosen);

    // Whether there are recovery files of the set's name beside it.
    bool hasFiles() const { return !files_.isEmpty(); }

    // Reads the recovery files, giving the caller's event loop its turns;
    // false when cancelled. Throws OperationError when they can't be used:
    // none there, unreadable or unusable, or describing no part of the set
    // (another set's data).
    bool read(const EngineHooks& hooks, const CancelRequest& cancel);
    // After read(): checks the set's parts against it, and reads the files
    // left alone for a repair's equations. False when cancelled. `forRepair`:
    // a repair follows, which the check prepares for as it reads.
    bool check(const EngineHooks& hooks, const CancelRequest& cancel, bool forRepair);
    // After check(): rebuilds the damaged and missing parts where the
    // recovery data covers them (nothing when the set is whole). False when
    // cancelled. Throws OperationError when it can't; the parts rebuilt
    // before stay rebuilt, and tell so.
    bool repair(const EngineHooks& hooks, const CancelRequest& cancel);

    const PartSet& parts() const { return parts_; }
    const RecoverySet& data() const { return data_; }
    const SetCheck& result() const { return check_; }
    // The bytes that check() reads, and those repair() works over.
    qint64 bytesToCheck() const;
    qint64 bytesToRepair() const;
    // What reading skipped, and leftAloneNote().
    QStringList notes() const;
    // The files that the recovery data describes and that are no part of the
    // set, named in one line; empty when there are none.
    QString leftAloneNote() const;
    // The parts found damaged or missing and not rebuilt, by ordinal: their names.
    QMap<qint64, QString> unrepaired() const;
    // The names of the parts rebuilt, in the set's order.
    QStringList repaired() const;

    // After check() (and repair()): every part of the set, in its order.
    // Those that the recovery data describes as it found them; those that the
    // set's part list or .sfv names besides as they are: Missing when not
    // there, Ok or Damaged by the .sfv's CRC-32 where it names them (without a
    // list, every part up to the highest there counts as listed). The parts
    // there that neither describes go to `unchecked`. False when cancelled.
    // Throws OperationError when a part can't be read.
    bool verdicts(std::vector<PartVerdict>& out, QStringList& unchecked, const EngineHooks& hooks,
                  const CancelRequest& cancel) const;

private:
    // The ordinal of a described file that is a part of the set, 0 otherwise.
    qint64 ordinalOf(const QByteArray& name) const;
    void chooseNumbering();

    QString base_; // folder and name of the set
    QStringList files_;
    PartSet parts_;
    RecoverySet data_;
    SetCheck check_;
    std::vector<qint64> ordinals_; // by file of data_: its ordinal, 0 when left alone
};

// Names in one line: the first few, then "and N more".
QString namesInLine(const QStringList& names);

} // namespace tfs
