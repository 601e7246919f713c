#pragma once

#include <QString>
#include <functional>

// CRC-32 of IEEE 802.3, zlib and ZIP: reflected polynomial 0xEDB88320, start
// value 0xFFFFFFFF, final complement.

// Entry i: i shifted through the polynomial eight times. Filled once by
// Crc32InitTable() before any window exists; read-only afterwards.
extern quint32 Crc32Table[256];

inline constexpr quint32 CrcInitialValue = 0xFFFFFFFF;
// Bytes read per block; the window is served after every block.
inline constexpr qint64 CrcBlockSize = 262144;

// Bytes read so far by the running (or last) FileCrc32; reset as each starts.
extern qint64 CrcBytesDone;

// Fills Crc32Table and prepares the fast kernels (Crc32Fast.h). The program
// calls it once at start-up; calling it again does no harm.
void Crc32InitTable();

// Feeds `length` bytes of `buffer` into the running value `c`, one table lookup
// per byte, and returns the new running value. No start value, no complement.
// A length of 0 or less returns c.
quint32 Crc32Update(const void* buffer, qint64 length, quint32 c);

// What FileCrc32 tells the window. Either hook may be empty.
struct CrcHooks {
    std::function<void(int percent)> progress; // after every block, 0..100
    std::function<void()> yield;               // one turn of the event loop
};

// The CRC-32 of the whole file at `path`, read in blocks of CrcBlockSize.
// Before every read (the first included) it looks at `cancelFlag`, which a
// handler running inside hooks.yield may set; when it is set, the loop stops
// and the value of the bytes read so far is returned (0 when nothing was read).
// After every block: one hooks.yield, then one hooks.progress with
// CrcBytesDone / the file's current size x 100, rounded half to even; an empty
// file reports 100. Throws FileError when the file can't be opened or read;
// the file is closed on every exit.
quint32 FileCrc32(const QString& path, const CrcHooks& hooks, const quint8& cancelFlag);
