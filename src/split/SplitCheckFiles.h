#pragma once

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
// written. Throws OperationError when a file can't be written.
// `base` is the part list's path without ".txt" (destination + source name).
void writeCheckFiles(const QString& base, const QStringList& partNames, const QList<PartCrc>& crcs);

// Deletes both files beside the part list at listPath where they are ours.
void deleteCheckFilesOf(const QString& listPath);

} // namespace tfs
