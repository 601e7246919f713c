// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "parts/Naming.h"

#include <QList>
#include <QString>

namespace tfs {

// A set of parts on disk, read once from the path of one of its parts (or of
// its list or check files: movie.avi.txt names the set of movie.avi.001 as
// well): where it lies, the name its parts carry, how it numbers them after
// 100 and which of them were there. The steps of a join take it rather than
// deriving these again from the chosen path; whether a part is there as the
// join reaches it is still asked of the disk then.
struct PartSet {
    QString chosen; // the path it was read from
    QString folder; // the set's folder, ending with a separator ("" for a bare name)
    QString name;   // the parts' name without the ordinal: the joined file's name
    // How the parts are numbered after 100: ours when name.0101 exists, the
    // plain numbering when name.101 does; with neither, whichever long form
    // the folder holds (a set whose part 101 is missing), plain when it holds
    // none.
    PartNumbering numbering = PartNumbering::Ours;
    // The ordinals of the parts that were there as files, named in the
    // set's numbering, ascending.
    QList<qint64> present;

    // The folder and name: movie.avi of /out/movie.avi.003 is /out/movie.avi.
    QString basePath() const { return folder + name; }
    QString partName(qint64 ordinal) const { return fileNameOf(partPath(ordinal)); }
    QString partPath(qint64 ordinal) const { return joinPartPath(basePath(), ordinal, numbering); }
    // The part list file beside the parts: name + ".txt".
    QString listName() const { return name + QStringLiteral(".txt"); }
    QString listPath() const { return folder + listName(); }
    // The check files beside the parts: name + ".sfv" and name + ".crc".
    QString sfvPath() const { return basePath() + QStringLiteral(".sfv"); }
    QString crcPath() const { return basePath() + QStringLiteral(".crc"); }
};

// Reads the set that `chosen` (a part, or the set's list or check file)
// belongs to. Creates and changes nothing; a folder that can't be listed
// reads as one without parts past 100.
PartSet readPartSet(const QString& chosen);

} // namespace tfs
