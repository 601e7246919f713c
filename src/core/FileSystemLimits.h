// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The largest file that a destination's file system can hold, and the split's
// refusal of parts larger than that. A FAT volume (a typical USB stick or
// memory card) keeps a file's size in 32 bits: a split that wrote parts of 4.7
// GB there (the DVD preset, or "5 Gigabytes") would fail half-way with the
// disk still mostly empty. The split refuses before it writes anything, and
// so does a join whose output would be larger than that.

// 2^32 - 1: the largest file of FAT12, FAT16 and FAT32.
inline constexpr qint64 FatLargestFile = 4294967295LL;

// The largest file (bytes) of a file system, by its type name as the mount
// table or the system gives it ("vfat", "msdos", "FAT32", "fuse.fusefat", ...,
// any case); -1 for a type with no limit that a split could reach.
qint64 largestFileOfType(const QString& type);

// The largest file (bytes) that the file system holding `folder` can store;
// -1 when it has no such limit or when the folder can't be queried.
qint64 largestFileOn(const QString& folder);

// The decision: empty when every part of a split of sourceSize bytes into
// parts of partSize fits files of at most largestFile bytes (-1: no limit);
// otherwise the report lines of the refusal, naming the volume and its
// limit. The largest part is the first: the part size, or the whole source
// when that is smaller.
QStringList oversizedPartRefusal(qint64 sourceSize, qint64 partSize, qint64 largestFile,
                                 const QString& volumeRoot);

// The join's decision: empty when a joined file of totalSize bytes fits files
// of at most largestFile bytes (-1: no limit); otherwise the report lines of
// the refusal, in the split's words.
QStringList oversizedJoinRefusal(qint64 totalSize, qint64 largestFile, const QString& volumeRoot);
