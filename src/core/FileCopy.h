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
// Where the file system can (btrfs, XFS), the whole blocks of the range
// share the source's extents instead of being copied, when source and output
// lie at the same offset within a block; `shared`, if given, receives how
// many bytes were shared that way.
qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count,
                 qint64* shared = nullptr);

// Writes `count` bytes from `data` to `out` at `outPos` (its file position
// is left alone). Throws OperationError.
void writeBytesAt(QFile& out, qint64 outPos, const char* data, qint64 count);

// Reading ahead of a copy: asks the system to read the next stretch of the
// file into the page cache in the background while the copy works on the
// current one, so that a file not in the cache (a cold one) streams from the
// disk without waits between the copy's calls. Ranges that were shared
// rather than copied need no reading: the engines tell only copied ones. A
// hint only: where the system can't, nothing happens.
class ReadAhead {
public:
    // Bytes asked for at a time; the next stretch is asked for when the copy
    // has passed half of the previous one.
    static constexpr qint64 Stretch = 16 << 20;

    // A new file, read from its start (tells the system it is read in
    // order); `askedTo`: how far it was already asked for through another
    // handle of the file.
    void start(const QFile& file, qint64 askedTo = 0);
    // The copy has read up to `pos` of the file begun with start().
    void reached(const QFile& file, qint64 pos);
    // How far ahead of the copy it has asked for (0 before start()).
    qint64 askedTo() const { return askedTo_; }

private:
    qint64 askedTo_ = 0;
};

// A source must be a regular file before anything opens it: a folder, a named
// pipe (whose opening waits for a writer), a device or a missing path throws
// OperationError.
void requireRegularFile(const QString& path);

// The size of a regular file, measured through an open handle (so that a file
// that can't be read is an error here). Throws OperationError.
qint64 measureFile(const QString& path);
