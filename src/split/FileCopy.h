#pragma once

#include <QFile>
#include <QString>

// Low-level file access shared by the split and join engines. Every failure
// throws FileError with the system's message and the path concerned.

// Opens a file for reading, unbuffered. Throws FileError when it can't.
void openForReading(QFile& file, const QString& path);

// Creates (or truncates) a file for writing, unbuffered. Throws FileError.
void createForWriting(QFile& file, const QString& path);

// Current size of an open file, from the file system. Throws FileError.
qint64 sizeOfOpenFile(const QFile& file);

// Copies up to `count` bytes of `in`, starting at `inPos`, to `out` at `outPos`,
// with the bytes copied once where the platform allows (splice through a pipe,
// else copy_file_range, where the kernel supports them between the two files;
// read and write otherwise). Returns
// the number of bytes copied, fewer than `count` only at the end of `in`.
// The file positions of both files are left alone. Throws FileError.
qint64 copyBytes(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count);

// A read-only view of part of an open file through a memory mapping, a window
// of a few MiB at a time, so that an engine can hand file bytes to the kernel
// (write) or compare them without copying them into a buffer first. The
// mapping is an optimisation only: where the platform or the file system
// can't map, at() returns nullptr and the caller reads as usual.
//
// A mapped page whose file got shorter raises SIGBUS when this program reads
// it. Reading mapped bytes in the program's own code is therefore done only
// inside readMapped(), which turns that signal into a result. Handing the
// bytes to a system call (pwrite) needs no guard: the kernel then fails the
// call with EFAULT instead.
class MappedFileWindow {
public:
    explicit MappedFileWindow(const QFile& file) : file_(file) {}
    ~MappedFileWindow() { unmap(); }
    MappedFileWindow(const MappedFileWindow&) = delete;
    MappedFileWindow& operator=(const MappedFileWindow&) = delete;

    // Bytes pos .. pos + count of the file (count at most 2 MiB), mapped so far
    // as `length` (the file's size as measured, the same at every call), or
    // nullptr.
    const uchar* at(qint64 pos, qint64 count, qint64 length);

private:
    void unmap();

    const QFile& file_;
    const uchar* map_ = nullptr; // the whole file, as long as it was measured
    qint64 length_ = 0;
    qint64 start_ = 0;           // the window whose page tables are filled
    qint64 end_ = 0;
    bool failed_ = false;
};

// Catches SIGBUS for as long as it exists (nested guards are fine), so that
// readMapped() can report a vanished page. Any other SIGBUS still goes where
// it went before.
class MappedReadGuard {
public:
    MappedReadGuard();
    ~MappedReadGuard();
    MappedReadGuard(const MappedReadGuard&) = delete;
    MappedReadGuard& operator=(const MappedReadGuard&) = delete;
};

// Runs read(context), which reads mapped bytes, under a MappedReadGuard that
// the caller holds. Returns false when a mapped page vanished meanwhile (the
// file got shorter, or its storage failed): read was cut short, and the
// caller reads those bytes with a system call instead. `read` must not own
// anything that needs destroying, as it is left by a jump.
bool readMapped(void (*read)(void* context), void* context);
