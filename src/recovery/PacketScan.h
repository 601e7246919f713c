// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the packets of PAR 2.0 files whatever they hold: damaged, cut
// short, or made to exhaust the reader (packets claiming any length, a file
// of millions of bogus headers). The memory taken stays bounded, the bytes
// hashed stay within a few passes over the file, and the caller's event loop
// has its turns and may stop the reading.

#include "core/EngineHooks.h"
#include "recovery/Packets.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <functional>

namespace tfs {

// A turn of the caller's event loop at most every 20 ms while recovery files
// are read, and whether to go on: once the cancel is asked, never again.
class ReadingTurns {
public:
    ReadingTurns(const EngineHooks& hooks, const CancelRequest& cancel);
    bool goOn();
    bool stopped() const { return stopped_; }

private:
    const EngineHooks& hooks_;
    const CancelRequest& cancel_;
    QElapsedTimer clock_;
    bool stopped_ = false;
};

// A valid packet of a recovery file.
struct FoundPacket {
    par2::Type type = par2::Type::Other;
    Digest setId{};
    qint64 offset = 0; // of its header
    qint64 length = 0;
    quint32 exponent = 0; // of a recovery slice (its packet holds one)
    QByteArray body;      // of the main, description, checksum and creator packets
};

// The largest packet other than a recovery slice that a reader takes: a
// main packet naming 32768 files of the set and as many outside it.
inline constexpr qint64 MaxSmallPacket = par2::HeaderSize + 12 + 16 * 2 * qint64(par2::MaxSlices);

// Gives every valid packet of the regular file at `path` to `found`, in file
// order, found by its magic at any offset (after damage the alignment can't
// be trusted). What was skipped is told in `notes`. False when stopped.
bool scanPackets(const QString& path, const std::function<void(FoundPacket&)>& found,
                 QStringList& notes, ReadingTurns& turns);

// Appends a note, up to a few of them.
void addNote(QStringList& notes, const QString& text);

bool readAt(QFile& file, qint64 at, char* into, qint64 count);

// Whether the packet at `at` of `length` bytes, its header given, matches
// its packet MD5; its body read into `body`.
bool smallPacketMatches(QFile& file, qint64 at, qint64 length, const char* header,
                        QByteArray& body);

} // namespace tfs
