// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testutil {

// Deterministic pseudo-random bytes; the same key gives the same content.
QByteArray patternBytes(qint64 size, quint32 key = 1);

// Writes a file of `size` pattern bytes (streamed, so large files are cheap).
void makeFile(const QString& path, qint64 size, quint32 key = 1);
void writeFile(const QString& path, const QByteArray& content);
// The same in writes of `piece` bytes each (0: one write): the page cache then
// holds the file in folios of about that size (4096: small pages).
void writeFileInPieces(const QString& path, const QByteArray& content, qint64 piece);
QByteArray readFile(const QString& path);

// The 4 KiB marker block written at `offset` of a sparse file.
QByteArray marker(qint64 offset);

// A sparse file of `size` bytes: zeros (holes, costing no disk) except a
// marker block at each offset (cut at the end of the file). False when it
// can't be made.
bool makeSparse(const QString& path, qint64 size, const QList<qint64>& markerOffsets = {});

// The digits a part's name ends with, written out here apart from the
// program's naming: three up to 100 ("001", "100"), then a 0 before the
// number ("0101", "01000").
QString digitsOf(qint64 ordinal);

// Concatenation of the files, in order.
QByteArray concat(const QStringList& paths);

// The number of files this process holds open (to check that none leaks).
int openFileCount();

// Writes the file's bytes to the disk and drops them from the page cache, so
// that the next read of it comes from the disk. False when the system can't.
bool evictFromCache(const QString& path);

// The CRC-32 of the bytes as zlib computes it: the reference the program's
// own CRC-32 is checked against.
quint32 zlibCrc32(const QByteArray& bytes);
// The CRC-32 register after `length` bytes from `running`, without the final
// inversion (the form the program's running values take), by zlib.
quint32 zlibCrc32Register(const char* data, qint64 length, quint32 running);

// Whether the two files have the same bytes.
bool sameContent(const QString& a, const QString& b);

// A fresh temporary folder in `tmp` (the previous one is removed) with a
// "parts" folder in it: that folder's path, ending with a separator, or an
// empty string when it can't be made.
QString freshPartsFolder(std::unique_ptr<QTemporaryDir>& tmp);

// The names in a folder (files, folders, hidden ones too), sorted.
QStringList entries(const QString& folder);
// The names of the files in a folder, sorted.
QStringList filesIn(const QString& folder);

// A small tmpfs mounted on a fresh temporary folder, unmounted on destruction.
// Mounting needs root; when it fails, ok() is false and reason() says why, so
// the test can skip with a message.
class Tmpfs {
public:
    explicit Tmpfs(qint64 bytes);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool ok() const { return mounted_; }
    QString reason() const { return reason_; }
    // The mount point, ending with a separator.
    QString path() const;

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString reason_;
};

// Reads by the calling thread from the disk holding `path` slowed down to
// `bytesPerSecond` (a blkio cgroup of version 1, root only), until
// destruction. When that can't be done, ok() is false and reason() says why.
class SlowReads {
public:
    SlowReads(const QString& path, qint64 bytesPerSecond);
    ~SlowReads();
    SlowReads(const SlowReads&) = delete;
    SlowReads& operator=(const SlowReads&) = delete;
    bool ok() const { return ok_; }
    QString reason() const { return reason_; }

private:
    QString group_;
    bool ok_ = false;
    QString reason_;
};

// Preloads the read fault library `library` into a child's environment:
// reads of `file` (its whole path) go wrong in `mode` at `offset` (see the
// library for the modes).
void preloadReadFault(QProcessEnvironment& env, const QString& library, const QString& mode,
                      const QString& file, qint64 offset);

} // namespace testutil
