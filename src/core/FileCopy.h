#pragma once

#include <QFile>
#include <QString>
#include <functional>

// Low-level file access shared by the split and join engines. Every failure
// throws OperationError with the system's message and the path concerned.

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

// Copying through the 512 KiB pipe fills the output with large page-cache
// folios: the fastest copy while memory comes easily. Where large pieces of
// fresh memory come slowly (a virtual machine whose host took back what the
// guest freed), the same copy ran at a third of the speed of the kernel's own
// file copy, which fills small folios. An engine tells its pace how long its
// copies took; it watches every 64 MiB copied through the pipe and keeps the
// kernel's copy for the rest of the run once that was slow.
class CopyPace {
public:
    // What to pass to copyBytes as throughPipe.
    bool throughPipe() const { return throughPipe_; }
    // A copy (not shared) of `bytes` took `nanoseconds`.
    void copied(qint64 bytes, qint64 nanoseconds);
    // copyBytes the way the pace says, timed (without the watcher's time) and
    // told to it (when not shared).
    qint64 copy(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count, qint64* shared,
                CopyWatcher* watcher = nullptr);

private:
    bool throughPipe_ = true;
    qint64 bytes_ = 0;
    qint64 nanoseconds_ = 0;
};

// Writes `count` bytes from `data` to `out` at `outPos` (its file position
// is left alone). Throws OperationError.
void writeBytesAt(QFile& out, qint64 outPos, const char* data, qint64 count);

// Room set aside ahead of a file's writing, a stretch at a time. On ext4,
// writing into blocks set aside at once costs markedly less than growing the
// file block by block (a 2 GiB join into the page cache took a fifth less
// time). The file's size doesn't change: it still grows only as bytes are
// written. Stretches keep each call short (the thread that writes is often
// the window's) and leave little unused room behind a run that is killed.
// Elsewhere, and when the file system is short of space, nothing is set
// aside: the writes then fail on a full disk as they would without it. A
// hint, never an error. Room a file didn't fill goes back: at ended(), and
// when the RoomAhead goes while the file is still open (an error stopped
// its writing); `out` must outlive it.
class RoomAhead {
public:
    static constexpr qint64 Stretch = 128 << 20;
    RoomAhead() = default;
    ~RoomAhead();
    RoomAhead(const RoomAhead&) = delete;
    RoomAhead& operator=(const RoomAhead&) = delete;

    // `out` is about to be written from its start, up to `length` bytes.
    void start(QFile& out, qint64 length);
    // The writing has reached `pos`: the next stretch is set aside in time.
    void reached(qint64 pos);
    // The writing ended at `pos`, before the file is closed: what was set
    // aside past it (a file that came out shorter) goes back.
    void ended(qint64 pos);

private:
    QFile* out_ = nullptr;
    qint64 length_ = 0;
    qint64 reserved_ = 0; // set aside up to here
    bool on_ = false;
};

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
    // Waits until `count` bytes at `pos`, when already asked for, are in the
    // page cache (judged from their ends), calling keepWaiting (an event-loop
    // turn) every quarter millisecond meanwhile: a disk that stalls doesn't
    // hold the window. After a second the copy reads them itself. False when
    // keepWaiting said stop.
    bool awaitAsked(const QFile& file, qint64 pos, qint64 count,
                    const std::function<bool()>& keepWaiting) const;

private:
    qint64 askedTo_ = 0;
};

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
