// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"
#include "recovery/Packets.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>

namespace tfs {

// Where a recovery slice's data lies: in which file, from which offset
// (its S bytes follow the exponent).
struct RecoverySliceAt {
    QString path;
    qint64 offset = 0;
};

// A recovery set as read from its PAR 2.0 files.
struct RecoverySet {
    QString folder; // of the recovery files, ending with a separator
    Digest setId{};
    quint64 sliceSize = 0;
    std::vector<par2::FileEntry> files;          // in the main packet's order
    std::map<quint32, RecoverySliceAt> recovery; // by exponent
    QString creator;
    QStringList notes; // what was skipped, and why
    // By file: those that are no part of the set being worked on (a user's
    // notes.txt that the recovery data describes as well). They are read
    // for the repair's equations, never written. Empty: none.
    std::vector<bool> leftAlone;
    bool isLeftAlone(size_t file) const { return file < leftAlone.size() && leftAlone[file]; }

    qint64 sliceCount() const;
    // The path of a file of the set (its name in the folder).
    QString pathOf(const par2::FileEntry& file) const {
        return folder + QString::fromUtf8(file.name);
    }
};

// The folder and name of the set that `path` belongs to, as its PAR 2.0
// files carry it: for a .par2 file (index or volume, "<base>.par2",
// "<base>.volNN+MM.par2", "<base>.volNN-MM.par2") its base; for anything else
// (a part, the part list) the set's name, as the join takes it.
QString recoveryBaseOf(const QString& path);

// The PAR 2.0 files of that set: "<base>.par2" and every
// "<base>.volNN+MM.par2" in the folder, the index first. Empty when there are
// none. Another set's files (movie.avi.par2 beside the parts of movie) are
// not among them.
QStringList recoveryFilesFor(const QString& path);

// Reads a recovery set from its files (recoveryFilesFor). Every malformed
// packet or file is skipped and told in `notes`; the set's ID is that of
// the first valid packet, as par2 takes it. Throws OperationError when the
// files hold no usable set: no main packet, a file of the set without its
// description or slice checksums, a slice size larger than the set's files
// and recovery slices. Whatever the files claim, the memory taken stays
// within a few hundred MiB and the bytes hashed within a few passes over them.
RecoverySet readRecoverySet(const QStringList& files);
// The same, giving the caller's event loop a turn every 20 ms or so (the
// files may be large); false when cancelled meanwhile.
bool readRecoverySet(const QStringList& files, RecoverySet& set, const EngineHooks& hooks,
                     const CancelRequest& cancel);

// Whether the file at `path` is a PAR 2.0 file written by this program for
// one set: its packets follow one another from its start, it holds our
// creator packet and every file it describes is a name that `isPart`
// accepts. Reads only the packet headers and the small packets.
bool isOurRecoveryFile(const QString& path, const std::function<bool(const QString&)>& isPart);

// The creator text of this program's recovery files.
QByteArray ourCreatorText();

} // namespace tfs
