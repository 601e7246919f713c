#pragma once

#include <QFile>
#include <QString>

// Low-level file access shared by the split and join engines. Every failure
// throws OperationError with the system's message and the path concerned.

// Opens a file for reading, unbuffered. Throws OperationError when it can't.
void openForReading(QFile& file, const QString& path);

// Creates (or truncates) a file for writing, unbuffered. Throws OperationError.
void createForWriting(QFile& file, const QString& path);

// Closes a file that was written. A failed close is a write error (a
// network file system reports delayed write errors there): throws OperationError.
void closeWritten(QFile& file);

// Current size of an open file, from the file system. Throws OperationError.
qint64 sizeOfOpenFile(const QFile& file);

// Copies up to `count` bytes of `in`, starting at `inPos`, to `out` at `outPos`,
// with the bytes copied once where the platform allows (splice through a pipe,
// else copy_file_range, where the kernel supports them between the two files;
// read and write otherwise). Returns
// the number of bytes copied, fewer than `count` only at the end of `in`.
// The file positions of both files are left alone. Throws OperationError.
qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count);

// A source must be a regular file before anything opens it: a folder, a named
// pipe (whose opening waits for a writer), a device or a missing path throws
// OperationError.
void requireRegularFile(const QString& path);

// The size of a regular file, measured through an open handle (so that a file
// that can't be read is an error here). Throws OperationError.
qint64 measureFile(const QString& path);
