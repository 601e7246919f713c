// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct JoinState;

namespace tfs {

struct PartSet;

// The part list file: a plain-text file beside the parts, named after the
// source with ".txt" added, one part name per line, every line ended by CR LF,
// no header and no byte-order mark. Names are written as UTF-8, so ASCII names
// are single bytes.

// destFolder (ending with a separator) + sourceName + ".txt"
QString partListPath(const QString& destFolder, const QString& sourceName);

// Writes the list whole, replacing any file of that name; the file appears
// only once it is complete. Throws OperationError.
void writePartList(const QString& path, const QStringList& partNames);

// Writes a file whole, replacing any file of that name; the file appears only
// once it is complete. Throws OperationError.
void saveWholeFile(const QString& path, const QByteArray& content);

// Whether a (regular) file exists at the path.
bool partListExists(const QString& path);

// Deletes the list file if it exists.
void deletePartList(const QString& path);

// Reads a part list: its lines without their ends (CR LF, LF or CR end a
// line; a last line without an end counts; empty lines are kept), read as a
// stream whatever the file's size. Returns false, with the reason in
// `error`, when the file is no regular file or can't be read, or when a line
// is longer than PartListLineMaxBytes or isn't UTF-8 text, or when the file
// holds more than maxBytes (-1: no bound), which is then not read at all.
bool readPartList(const QString& path, QStringList& lines, QString& error, qint64 maxBytes = -1);

// The longest line of a part list: far more than any file name.
inline constexpr qint64 PartListLineMaxBytes = 4096;

// Whether the file at `path` is a part list of the source named sourceName:
// a regular file whose lines are all part names of that source
// (sourceName + "." + the digits of an ordinal), at least one. The reading
// stops at the first line that is none.
bool isPartListOf(const QString& path, const QString& sourceName);

// Deletes the part list of an earlier split and returns the names it held
// (none when there is no list, or when it can't be read). Throws OperationError
// when it can't be deleted.
QStringList removeEarlierPartList(const QString& path);

// After a completed split of sourceName into destFolder in newCount parts:
// deletes the parts of the earlier set of that name beyond the new set's last
// part. The join takes every consecutive part it finds, so old ones behind
// the new set would be joined into it. Only files that the earlier list named,
// with the source's name and an ordinal's digits above newCount, go.
void removeEarlierPartsBeyond(const QStringList& earlierNames, const QString& destFolder,
                              const QString& sourceName, qint64 newCount);

// The missing-part scan of the join side. Sets state.JoinListName to the
// set's list name, reads the set's list file into state.JoinListEntries (CR
// LF, LF or CR end a line; a last line without an end counts) and puts every
// entry that names no file in the set's folder into state.JoinMissingParts,
// followed by one blank. Both lists are made anew. Entries are only tested for
// existence. Throws OperationError when the list can't be read.
void scanForMissingParts(JoinState& state, const PartSet& set);

} // namespace tfs
