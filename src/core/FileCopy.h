// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

// Low-level file access shared by the split and join engines: opening,
// copying and reading files. Every failure throws OperationError with the
// system's message and the path concerned. Beside it: sharing extents
// (ExtentSharing.h), the copy's pace (CopyPace.h), room set aside ahead of the
// writing (RoomAhead.h) and reading ahead (ReadAhead.h).

// Opens a file for reading, unbuffered. Throws OperationError when it can't,
// and for anything but a regular file (a named pipe would wait for a writer).
void openForReading(QFile& file, const QString& path);

// Creates (or truncates) a file for writing, unbuffered. Throws OperationError.
void createForWriting(QFile& file, const QString& path);

// The same for a file whose name may already be taken by something that
// isn't the program's to write through: a symbolic link or a hard link
// (whose other name may lie outside the folder) loses that name first, so
// that the file it led to stays as it was; a named pipe, a device or a socket
// of that name (opening a pipe waits for a reader) throws OperationError.
void createReplacingLinks(QFile& file, const QString& path);

// Closes a file that was written. A failed close is a write error (a
// network file system reports delayed write errors there): throws OperationError.
void closeWritten(QFile& file);

// Current size of an open file, from the file system. Throws OperationError.
qint64 sizeOfOpenFile(const QFile& file);
// The same for a descriptor of a thread's own, without throwing: -1 when it
// can't be read (or, on other platforms, isn't asked).
qint64 sizeOfFd(int fd);

// Told of every stretch of the source that a copy has just moved (copied
// through the pipe, by the kernel's copy, through a buffer, or shared), in
// order, right after it: a stretch copied through the pipe is at most 512 KiB
// and still in the processor's caches then. It may throw OperationError,
// which ends the copy.
class CopyWatcher {
public:
    virtual ~CopyWatcher() = default;
    virtual void copied(QFile& in, qint64 pos, qint64 count) = 0;
};

// Copies up to `count` bytes of `in`, starting at `inPos`, to `out` at `outPos`,
// with the bytes copied once where the platform allows (splice through a pipe,
// else copy_file_range, where the kernel supports them between the two files;
// read and write otherwise). Returns
// the number of bytes copied, fewer than `count` only at the end of `in`.
// The file positions of both files are left alone. Throws OperationError.
// Where the file system can (btrfs, XFS), the whole blocks of the range
// share the source's extents instead of being copied, when source and output
// lie at the same offset within a block; `shared`, if given, receives how
// many bytes were shared that way.
// With `throughPipe` false, the bytes are copied by the kernel's own file copy
// (copy_file_range, in small pieces) rather than through the 512 KiB pipe.
// A `watcher` is told of the stretches moved.
qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                 qint64* shared = nullptr, bool throughPipe = true, CopyWatcher* watcher = nullptr);

// Writes `count` bytes from `data` to `out` at `outPos` (its file position
// is left alone). Throws OperationError.
void writeBytesAt(QFile& out, qint64 outPos, const char* data, qint64 count);

// Reads up to `count` bytes at `pos` of the open file `fd` into `buffer`, at
// most `piece` bytes per read (0: no limit), going on after interrupted and
// partial reads: the bytes read, fewer at the file's end or on an error (set
// in `error`, which is left alone otherwise). POSIX only.
qint64 readFullyAt(int fd, char* buffer, qint64 pos, qint64 count, int& error, qint64 piece = 0);

// Reads up to `count` bytes at `pos` of the open `file` into `buffer`, going
// on after partial reads: fewer bytes only where the file ends. A read that
// fails (an I/O error behind bytes that did come) throws OperationError
// naming the file, never a short count that would pass for its end.
qint64 readAt(const QFile& file, qint64 pos, char* buffer, qint64 count);

// A source must be a regular file before anything opens it: a folder, a named
// pipe (whose opening waits for a writer), a device or a missing path throws
// OperationError.
void requireRegularFile(const QString& path);

// The size of a regular file, measured through an open handle (so that a file
// that can't be read is an error here). Throws OperationError.
qint64 measureFile(const QString& path);
