// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace tfs {

// Check files that travel with the parts, in the layouts that other tools read:
//
// - "<source>.sfv": optional comment lines starting with ';', then one line per
//   part, "<part name> <CRC-32 as 8 uppercase hex digits>" (cksfv -f reads it);
// - "<source>.crc": "filename=<source name>", "size=<bytes>",
//   "crc32=<8 uppercase hex digits>" of the whole source (the combine commands
//   of other file managers read it).
//
// Both are written with CR LF line ends and names in UTF-8. Reading takes
// check files from anywhere: lines may end in CR LF or LF; a file or a line
// longer than the limit below is not read into memory (the file is read a
// line at a time, whatever its size), and any line that doesn't fit the
// layout makes the whole file unreadable (error set), as does a file named
// twice with different CRC-32s.

// A line longer than this (its end not counted) makes the file unreadable.
inline constexpr qint64 CheckLineMaxBytes = 4096;

struct SfvEntry {
    QString name;
    quint32 crc = 0;
    bool operator==(const SfvEntry& o) const { return name == o.name && crc == o.crc; }
};

struct SfvContent {
    QList<SfvEntry> entries; // in file order
    QString error;           // why the file is unreadable; empty when it was read
};

struct CrcFileContent {
    QString fileName;
    qint64 size = -1;
    quint32 crc = 0;
    QString error; // why the file is unreadable; empty when it was read
};

// 8 uppercase hex digits.
QString crcHex(quint32 crc);

QByteArray sfvBytes(const QList<SfvEntry>& entries);
QByteArray crcFileBytes(const QString& fileName, qint64 size, quint32 crc);

// Parse `in` a line at a time. An SFV entry naming anything but a
// bare file name of the same folder (a separator, ".", "..", a drive letter,
// a NUL) makes the file unreadable. A .crc file needs all three fields once;
// other keys are ignored.
SfvContent parseSfv(QIODevice& in);
CrcFileContent parseCrcFile(QIODevice& in);

// The same from a path: a regular file only, opened without following a
// symbolic link and without waiting on a pipe (a link, a pipe or a folder
// is unreadable).
SfvContent readSfv(const QString& path);
CrcFileContent readCrcFile(const QString& path);

// The CRC-32 of A followed by B, from crc(A), crc(B) and B's length. The same
// joins two running values (crc32Update's): A's from any start, B's from 0.
quint32 crc32Combine(quint32 crcA, quint32 crcB, qint64 lengthB);

} // namespace tfs
