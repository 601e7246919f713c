// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/verify: the CRC-32 of buffers and files (this header; its fast kernels
// in Crc32Fast.h, the CRC-32 of bytes as they are copied in CopyingThreadCrc.h
// and HelperThreadCrc.h), the comparison of two files (CompareEngine.h) and
// the check files' layouts (CheckFiles.h). Window-free, on core/.

#include "core/EngineHooks.h"

#include <QString>
#include <array>
#include <functional>

namespace tfs {

// CRC-32 of IEEE 802.3, zlib and ZIP: reflected polynomial 0xEDB88320, start
// value 0xFFFFFFFF, final complement.

namespace crc32detail {
constexpr std::array<quint32, 256> makeTable() {
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 v = i;
        for (int step = 0; step < 8; ++step)
            v = (v & 1) ? (v >> 1) ^ 0xEDB88320 : v >> 1;
        table[i] = v;
    }
    return table;
}
} // namespace crc32detail

// Entry i: i shifted through the polynomial eight times, computed by the compiler.
inline constexpr std::array<quint32, 256> Crc32Table = crc32detail::makeTable();

inline constexpr quint32 CrcInitialValue = 0xFFFFFFFF;
// Bytes read per block; the window is served after every block.
inline constexpr qint64 CrcBlockSize = 262144;

// Feeds `length` bytes of `buffer` into the running value `c`, one table lookup
// per byte, and returns the new running value. No start value, no complement.
// A length of 0 or less returns c.
quint32 crc32Update(const void* buffer, qint64 length, quint32 c);

// Folds `length` bytes of the mapping of the open file `fd` into the running
// value `crc` through crc32Fast, under readMapped() (MappedFile.h), the bytes
// ending at `end` of the file: false, with `crc` untouched, when the file no
// longer reaches `end` (a page vanished, or the cut-off bytes of its new last
// page read as zeros); the caller then reads them.
bool foldMappedRange(const uchar* bytes, qint64 length, int fd, qint64 end, quint32& crc);

// What fileCrc32 tells its caller: the progress after every block and the
// event-loop turn, and the bytes read so far, told right before each progress.
struct CrcHooks : EngineHooks {
    std::function<void(qint64 bytesRead)> bytesRead;
};

// The CRC-32 of a file, and how many of its bytes it covers.
struct FileCrc {
    quint32 crc = 0;
    qint64 bytesRead = 0;
};

// The CRC-32 of the whole file at `path`, read in blocks of CrcBlockSize.
// Before every read (the first included) it asks `cancel`, which a handler
// running inside hooks.yield may set; when it is set, the loop stops and the
// value of the bytes read so far is returned (0 when nothing was read). After
// every block: one hooks.yield, then one hooks.progress with the bytes read /
// the file's current size x 100, rounded half to even; an empty file reports
// 100. A file mostly not in the page cache is read ahead on a thread of its
// own, and waiting for it calls hooks.yield too (without progress). A file of
// 64 MiB or more in the page cache has its whole blocks folded from both ends
// at once, the caller's thread taking them from the start, a helper from the
// end: the helper's blocks count in the bytes read and the progress after
// each of the caller's blocks, and waiting for the helper calls hooks.yield
// and hooks.progress every 10 ms. Throws OperationError when the file can't
// be opened or read; the file is closed on every exit.
FileCrc fileCrc32(const QString& path, const CrcHooks& hooks, const CancelToken& cancel);

} // namespace tfs
