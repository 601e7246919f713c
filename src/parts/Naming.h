// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/parts: a set of parts as the split writes it and the join reads it:
// the part names with their ordinal digits (here), the part list file beside
// the parts (PartList.h), the hidden part 1 of a split (HiddenFirstPart.h) and
// a set on disk read once (PartSet.h).
// Window-free, on core/.

#include <QString>

namespace tfs {

// Names of the part files of a set: the source's file name, a dot and the
// ordinal digits. The split writes them and the join finds them again with the
// same routine, so the digits are a file format on disk.

// Ordinal digits: 001..099, 100, then a zero before the full number
// (0101, ..., 0999, 01000, ...). Callers pass ordinals of 1 and above.
QString ordinalSuffix(qint64 ordinal);

// The text after the last path separator (the whole text when there is none).
QString fileNameOf(const QString& path);

// The folder part of a path, up to and including its last separator ("" when none).
QString folderOf(const QString& path);

// A folder with exactly one trailing separator; the root "/" stays "/".
QString withTrailingSeparator(const QString& folder);

// Part name of ordinal n: file name of the source + "." + digits.
QString partName(const QString& sourcePath, qint64 ordinal);

// The ordinal of a part name of the set named setName (movie.avi.003 of
// movie.avi: 3), digits exactly as ordinalSuffix writes them; 0 for any
// other name.
qint64 partOrdinalOf(const QString& name, const QString& setName);

// The hidden name of a file written beside `name` before it takes that name
// (or, for a lock, instead of it): "." + name + suffix, within the 255 bytes
// a file name may hold; a longer name is cut and carries a hash of the whole
// name, so that two long names stay apart.
QString hiddenNameOf(const QString& name, const QString& suffix);

// Part path: destination folder (ending with a separator) + part name.
QString partPath(const QString& destFolder, const QString& sourcePath, qint64 ordinal);

// Join side. The base path of a chosen part is its path up to, not including,
// the last "." of its file name (movie.avi.003 -> movie.avi); a file name
// without a dot is its own base path.
QString basePathOf(const QString& chosenPart);

// How a set on disk numbers its parts after 100. This program puts a zero
// before the number (0101, ..., 0999, 01000); other splitters write the plain
// number with at least three digits (101, ..., 999, 1000). Up to 100 the two
// agree.
enum class PartNumbering { Ours, Plain };

// The ordinal digits in either numbering (Ours: ordinalSuffix).
QString ordinalDigits(qint64 ordinal, PartNumbering numbering);

// The ordinal that a part's extension stands for in either numbering
// (movie.avi.0120 and movie.avi.120 are both 120), or 0 when the extension
// is no ordinal in either.
qint64 ordinalOfPart(const QString& partPath);

// Part path of ordinal n of the set that basePath names.
QString joinPartPath(const QString& basePath, qint64 ordinal,
                     PartNumbering numbering = PartNumbering::Ours);

// The chosen part's file name without its last extension: the joined file's name.
QString joinOutputNameOf(const QString& chosenPart);

// The chosen part's file name with its last extension replaced by ".txt":
// the name of the set's part list file.
QString joinListNameOf(const QString& chosenPart);

} // namespace tfs
