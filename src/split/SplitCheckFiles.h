// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"

#include <QList>
#include <QString>
#include <QStringList>

struct PartCrc;

namespace tfs {

// The check files that a split writes beside its part list, from the same
// base (destination folder + source name): "<source>.sfv" naming every part
// with its CRC-32, and "<source>.crc" with the whole source's name, size and
// CRC-32, combined from the parts' (verify/CheckFiles.h has the layouts).
// They are treated exactly like the part list: written when a split has
// completed, deleted with the parts, and never a file that isn't ours.

// Whether the file at the path is a check file of this source: a readable
// .sfv naming only parts of it, or a readable .crc naming it.
bool isOurSfv(const QString& path, const QString& sourceName);
bool isOurCrcFile(const QString& path, const QString& sourceName);

// Writes both files whole (each appears only once complete). A file of
// either name that isn't ours is left as it is and that check file is not
// written: the lines returned say which and why (none when both were written).
// A symbolic link of either name is replaced. Throws OperationError when a
// file can't be written. `base` is the part list's path without ".txt"
// (destination + source name).
QStringList writeCheckFiles(const QString& base, const QStringList& partNames,
                            const QList<PartCrc>& crcs);

// Deletes both files beside the part list at listPath where they are ours,
// and the recovery files of the set that are ours.
void deleteCheckFilesOf(const QString& listPath);

// The recovery files (PAR 2.0: "<source>.par2" and "<source>.volNN+MM.par2")
// that this program wrote for the set at `base` (destination + source name),
// and only those.
QStringList ourRecoveryFilesOf(const QString& base);

// How writing a split's recovery files ended.
enum class RecoveryWritten { Written, Refused, Cancelled };

// Writes recovery data for `percent` % of the parts beside them (each part
// one file of the PAR 2.0 set, see recovery/RecoveryWriter.h), replacing our
// own recovery files of an earlier split. Refused, with the reason in
// `refusal`, past the format's limits or when a file of one of those names
// is not ours (it stays as it is). Cancelled: nothing of it is left. Throws
// OperationError when a file can't be read or written (nothing of it is left).
// `partCrcs` are the parts' CRC-32s as the split's copy took them (or none).
RecoveryWritten writeRecoveryFilesOf(const QString& base, const QStringList& partNames,
                                     const QList<PartCrc>& partCrcs, int percent,
                                     const EngineHooks& hooks, const CancelToken& cancel,
                                     QString& refusal);

} // namespace tfs
