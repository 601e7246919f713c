#pragma once

#include <QString>
#include <QStringList>

struct ProgramState;

// The part list file: a plain-text file beside the parts, named after the
// source with ".txt" added, one part name per line, every line ended by CR LF,
// no header and no byte-order mark. Names are written as UTF-8, so ASCII names
// are single bytes.

// destFolder (ending with a separator) + sourceName + ".txt"
QString partListPath(const QString& destFolder, const QString& sourceName);

// Writes the list whole, replacing any file of that name; the file appears
// only once it is complete. Throws FileError.
void writePartList(const QString& path, const QStringList& partNames);

// Writes a file whole, replacing any file of that name; the file appears only
// once it is complete. Throws FileError.
void saveWholeFile(const QString& path, const QByteArray& content);

// Whether a (regular) file exists at the path.
bool partListExists(const QString& path);

// Deletes the list file if it exists.
void deletePartList(const QString& path);

// The missing-part scan of the join side. Derives state.JoinListName from the
// chosen part, reads the list file beside the chosen part into
// state.JoinListEntries (CR LF, LF or CR end a line; a last line without an
// end counts) and puts every entry that names no file in the chosen part's
// folder into state.JoinMissingParts, followed by one blank. Both lists are
// made anew. Entries are only tested for existence. Throws FileError when the
// list can't be read.
void scanForMissingParts(ProgramState& state, const QString& chosenPart);
