// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/FileCopy.h"

#include <QtGlobal>
#include <vector>

class QFile;

namespace tfs {

// The CRC-32 of one output's bytes, taken by the thread that copies them, so
// that the check files cost the copy little: each stretch the copy moved is
// read again from the source right after it, while it is still in the
// processor's caches, and folded with the fast kernel. That costs the same
// whatever folios the page cache holds the source in, unlike a helper thread
// that reads the bytes later from memory (which, with two writers on two
// cores, also has no core of its own). Bytes the copying thread holds in a
// buffer anyway are folded from there.
class CopyingThreadCrc : public CopyWatcher {
public:
    // Throws OperationError when the stretch can't be read again.
    void copied(QFile& in, qint64 pos, qint64 count) override;
    void fold(const char* bytes, qint64 count);
    // The CRC-32 of the bytes so far, and how many they were.
    quint32 value() const;
    qint64 size() const { return size_; }
    // Starts over, for the next output.
    void reset();

private:
    quint32 crc_ = 0xFFFFFFFF;
    qint64 size_ = 0;
    std::vector<uchar> buffer_;
};

} // namespace tfs
