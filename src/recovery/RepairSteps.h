// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps every repair takes, whichever way the sums of its equations were
// formed: which slices are present and which are solved for, solving a
// stretch of the sums for the missing slices, and writing the rebuilt files.

#include "recovery/RecoveryRepair.h"

#include <QFile>
#include <memory>
#include <vector>

namespace tfs {

// A slice of the set: present ones feed the equations, missing ones are
// solved for.
struct SliceRef {
    size_t file;
    qint64 index; // within the file
    quint16 constant;
};

// The stretch of every sum and rebuilt slice that stays in the caches while
// the slices are multiplied into it.
inline constexpr qint64 TileBytes = 8192;

// The bytes of a slice of `size` bytes, rounded up to the prepared layout's
// block.
qint64 paddedSliceOf(qint64 size);

// Reads `have` bytes at `at` of the file at `path` into `into` and zeroes the
// rest of its `count` bytes; throws OperationError when they can't be read.
void readPadded(const QString& path, qint64 at, qint64 have, uchar* into, qint64 count);

// outputs[j] + outAt = sum over k of solve[j * m + k] * (sums[k] + at), over
// `bytes` bytes (a multiple of the prepared block, at most TileBytes); sums
// and outputs in words, the outputs overwritten. `nibbles` holds
// 2 * TileBytes.
void solveTile(const std::vector<quint16>& solve, int m, const std::vector<uchar*>& sums, qint64 at,
               const std::vector<uchar*>& outputs, qint64 outAt, qint64 bytes, uchar* nibbles);

// The damaged and missing files of a checked set being rebuilt under hidden
// names beside them (not those left alone: their slices are not written).
// Whatever is not finished is removed when this goes.
class RebuiltFiles {
public:
    // Creates the hidden files; throws OperationError when one can't be.
    RebuiltFiles(const RecoverySet& set, const SetCheck& check);
    ~RebuiltFiles() { removeUnfinished(); }
    RebuiltFiles(const RebuiltFiles&) = delete;
    RebuiltFiles& operator=(const RebuiltFiles&) = delete;

    bool has(size_t file) const { return bool(files_[file]); }
    // Writes the piece of slice `slice` of `file` from `from` (what of its
    // `len` bytes lies within the slice and the file); throws OperationError.
    void write(size_t file, qint64 slice, qint64 from, const uchar* bytes, qint64 len);
    // Each rebuilt file replaces its name once its bytes match the MD5
    // recorded for it; those become Repaired. Throws OperationError when one
    // can't be written or doesn't match (the others are replaced all the same).
    void finish(SetCheck& check);
    void removeUnfinished();

private:
    const RecoverySet& set_;
    std::vector<std::unique_ptr<QFile>> files_;
};

} // namespace tfs
