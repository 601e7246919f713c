// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/PacketScan.h"

#include "recovery/RegularFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <vector>

namespace tfs {

using namespace par2;

namespace {

const QByteArray Magic("PAR2\0PKT", 8);
constexpr int MaxNotes = 20;
constexpr qint64 WindowBytes = 1 << 20;
constexpr qint64 BlockBytes = 1 << 20;
// What the first scan of a file holds until its recovery slices are checked:
// packets beyond either bound are found again in a second scan instead.
constexpr qint64 MostHeld = 64 << 20;
constexpr size_t MostSlicesHeld = size_t(MaxExponent) + 1; // one per exponent

// A recovery slice's packet taken as valid while a file is scanned, its MD5
// checked afterwards with the others.
struct SlicePacket {
    qint64 at = 0;
    qint64 length = 0;
    char header[HeaderSize];
};

enum class ScanEnd { Done, Abandoned, Stopped };

// One scan over a file: the bytes around the scan's position are read a
// window at a time, and a packet that lies in the window is hashed there.
class FileScan {
public:
    FileScan(QFile& file, ReadingTurns& turns)
        : file_(file), turns_(turns), size_(file.size()), window_(size_t(WindowBytes)) {}

    // Packets go to `found` (which may abandon the scan by returning false);
    // with `slices`, the recovery slices' packets whose headers look right
    // are taken as valid without their MD5 and listed there.
    ScanEnd run(const QString& name, const std::function<bool(FoundPacket&)>& found,
                QStringList& notes, std::vector<SlicePacket>* slices);

private:
    bool covers(qint64 at, qint64 count) const {
        return windowAt_ >= 0 && at >= windowAt_ && at + count <= windowAt_ + windowBytes_;
    }
    const char* windowAt(qint64 at) const { return window_.data() + (at - windowAt_); }
    bool load(qint64 at) {
        windowBytes_ = qMin(WindowBytes, size_ - at);
        windowAt_ = readAt(file_, at, window_.data(), windowBytes_) ? at : -1;
        return windowAt_ >= 0;
    }
    bool matches(qint64 at, qint64 length, const char* header, QByteArray* body);
    quint32 exponentAt(qint64 at);

    QFile& file_;
    ReadingTurns& turns_;
    const qint64 size_;
    std::vector<char> window_;
    qint64 windowAt_ = -1; // file offset of window_[0]; -1: none read
    qint64 windowBytes_ = 0;
    std::vector<char> block_;
};

bool FileScan::matches(qint64 at, qint64 length, const char* header, QByteArray* body) {
    Md5 md5;
    md5.add(header + 32, 32);
    const qint64 bodyAt = at + HeaderSize, bodyBytes = length - HeaderSize;
    if (covers(bodyAt, bodyBytes)) {
        md5.add(windowAt(bodyAt), bodyBytes);
        if (body) *body = QByteArray(windowAt(bodyAt), bodyBytes);
    } else if (body) {
        body->resize(bodyBytes);
        if (!readAt(file_, bodyAt, body->data(), bodyBytes)) return false;
        md5.add(*body);
    } else {
        block_.resize(size_t(BlockBytes));
        for (qint64 done = 0; done < bodyBytes; done += BlockBytes) {
            const qint64 n = qMin(BlockBytes, bodyBytes - done);
            if (!turns_.goOn() || !readAt(file_, bodyAt + done, block_.data(), n)) return false;
            md5.add(block_.data(), n);
        }
    }
    return std::memcmp(md5.result().data(), header + 16, 16) == 0;
}

quint32 FileScan::exponentAt(qint64 at) {
    char bytes[4] = {};
    if (covers(at, 4))
        std::memcpy(bytes, windowAt(at), 4);
    else
        readAt(file_, at, bytes, 4);
    return readU32(bytes);
}

ScanEnd FileScan::run(const QString& name, const std::function<bool(FoundPacket&)>& found,
                      QStringList& notes, std::vector<SlicePacket>* slices) {
    qint64 pos = 0;
    qint64 skipped = 0; // bytes that held no valid packet
    bool truncated = false;
    // The bytes hashed for candidates that turned out invalid: bounded, so
    // that a file full of false headers costs a few passes over it at most.
    qint64 wasted = 0;
    const qint64 maxWasted = 4 * size_ + (64 << 20);
    while (pos + HeaderSize <= size_) {
        if (!turns_.goOn()) return ScanEnd::Stopped;
        if (!covers(pos, Magic.size()) && !load(pos)) break;
        const qsizetype hit = QByteArrayView(windowAt(pos), windowAt_ + windowBytes_ - pos)
                                  .indexOf(QByteArrayView(Magic));
        if (hit < 0) {
            // A magic may straddle the window's end: look again from just before it.
            const qint64 next = qMax(pos + 1, windowAt_ + windowBytes_ - (Magic.size() - 1));
            skipped += next - pos;
            pos = next;
            continue;
        }
        const qint64 at = pos + hit;
        skipped += at - pos;
        if (at + HeaderSize > size_ || (!covers(at, HeaderSize) && !load(at))) {
            truncated = true;
            break;
        }
        char header[HeaderSize];
        std::memcpy(header, windowAt(at), HeaderSize);
        const qint64 length = qint64(qMin<quint64>(readU64(header + 8), quint64(1) << 62));
        const Type type = typeOf(header + 48);
        bool valid = length >= HeaderSize && length % 4 == 0 &&
                     (type == Type::Recovery || length <= MaxSmallPacket);
        if (valid && at + length > size_) {
            truncated = true;
            valid = false;
        }
        if (valid && wasted + length > maxWasted) {
            addNote(notes, QStringLiteral("%1 is too damaged to be searched further").arg(name));
            break;
        }
        FoundPacket packet;
        if (valid && slices && type == Type::Recovery) {
            // More than a set can use: the file is checked packet by packet.
            if (slices->size() == MostSlicesHeld) return ScanEnd::Abandoned;
            SlicePacket slice;
            slice.at = at;
            slice.length = length;
            std::memcpy(slice.header, header, HeaderSize);
            slices->push_back(slice);
        } else if (valid) {
            const bool keep = type != Type::Recovery && type != Type::Other;
            valid = matches(at, length, header, keep ? &packet.body : nullptr);
            if (!valid) wasted += length;
        }
        if (!valid) {
            pos = at + 1;
            skipped += 1;
            continue;
        }
        packet.type = type;
        std::memcpy(packet.setId.data(), header + 32, 16);
        packet.offset = at;
        packet.length = length;
        if (type == Type::Recovery && length >= HeaderSize + 4)
            packet.exponent = exponentAt(at + HeaderSize);
        if (!found(packet)) return ScanEnd::Abandoned;
        pos = at + length;
    }
    skipped += qMax<qint64>(0, size_ - pos);
    if (truncated)
        addNote(notes, QStringLiteral("%1 is cut short: its last packet is incomplete").arg(name));
    else if (skipped > 0)
        addNote(notes, QStringLiteral("%1 holds %2 bytes that are no valid packet (damaged)")
                           .arg(name)
                           .arg(skipped));
    return ScanEnd::Done;
}

// Whether the MD5 of every packet matches, taken MostAtOnce packets at a
// time in the lanes of Md5::addEach: a set's recovery slices are a tenth of
// its size or more, and one MD5 stream is several times slower than the
// lanes. False also when stopped.
bool slicePacketsMatch(QFile& file, const std::vector<SlicePacket>& packets, ReadingTurns& turns) {
    constexpr size_t MostAtOnce = 16;
    constexpr qint64 Block = 256 << 10;
    std::vector<char> blocks(qMin(packets.size(), MostAtOnce) * size_t(Block));
    const auto blockOf = [&](size_t i) { return blocks.data() + i * size_t(Block); };
    for (size_t first = 0; first < packets.size(); first += MostAtOnce) {
        const size_t n = qMin(MostAtOnce, packets.size() - first);
        std::vector<Md5> md5s(n);
        std::vector<Md5*> lanes;
        std::vector<const uchar*> bytes;
        std::vector<qint64> counts;
        for (size_t i = 0; i < n; ++i) {
            md5s[i].add(packets[first + i].header + 32, 32);
            lanes.push_back(&md5s[i]);
            bytes.push_back(reinterpret_cast<const uchar*>(blockOf(i)));
        }
        for (qint64 done = 0;; done += Block) {
            if (!turns.goOn()) return false;
            counts.assign(n, 0);
            for (size_t i = 0; i < n; ++i) {
                const SlicePacket& p = packets[first + i];
                counts[i] = qBound<qint64>(0, p.length - HeaderSize - done, Block);
                if (counts[i] > 0 && !readAt(file, p.at + HeaderSize + done, blockOf(i), counts[i]))
                    return false;
            }
            if (std::all_of(counts.begin(), counts.end(), [](qint64 c) { return c == 0; })) break;
            Md5::addEach(lanes.data(), bytes.data(), counts.data(), int(n));
        }
        for (size_t i = 0; i < n; ++i)
            if (std::memcmp(md5s[i].result().data(), packets[first + i].header + 16, 16) != 0)
                return false;
    }
    return true;
}

} // namespace

ReadingTurns::ReadingTurns(const EngineHooks& hooks, const CancelRequest& cancel)
    : hooks_(hooks), cancel_(cancel) {
    clock_.start();
}

bool ReadingTurns::goOn() {
    if (stopped_ || clock_.elapsed() < 20) return !stopped_;
    clock_.restart();
    if (hooks_.yield) hooks_.yield();
    stopped_ = cancel_.requested();
    return !stopped_;
}

void addNote(QStringList& notes, const QString& text) {
    if (notes.size() < MaxNotes)
        notes.append(text);
    else if (notes.size() == MaxNotes)
        notes.append(QStringLiteral("(more problems not listed)"));
}

bool readAt(QFile& file, qint64 at, char* into, qint64 count) {
    return file.seek(at) && file.read(into, count) == count;
}

bool smallPacketMatches(QFile& file, qint64 at, qint64 length, const char* header,
                        QByteArray& body) {
    body.resize(length - HeaderSize);
    if (!readAt(file, at + HeaderSize, body.data(), body.size())) return false;
    Md5 md5;
    md5.add(header + 32, 32);
    md5.add(body);
    return std::memcmp(md5.result().data(), header + 16, 16) == 0;
}

// The recovery slices' MD5s are taken together once the file is scanned:
// when they all match (an intact file), its packets are found as they were
// scanned; else the file is scanned again checking each packet as it comes,
// so that the packets found in a damaged file are the same either way. So is
// a file whose first scan would hold too much: a hostile file may hold any
// number of small packets.
bool scanPackets(const QString& path, const std::function<void(FoundPacket&)>& found,
                 QStringList& notes, ReadingTurns& turns) {
    const QString name = QFileInfo(path).fileName();
    QFile file;
    QString why;
    if (!openRegularFile(file, path, why)) {
        addNote(notes, QStringLiteral("%1 cannot be read: %2").arg(name, why));
        return true;
    }
    {
        std::vector<FoundPacket> packets;
        QStringList fileNotes;
        std::vector<SlicePacket> slices;
        qint64 held = 0;
        const ScanEnd first = FileScan(file, turns)
                                  .run(
                                      name,
                                      [&](FoundPacket& p) {
                                          // Counted twice over: the list may hold twice what it
                                          // uses.
                                          held += 2 * qint64(sizeof(FoundPacket)) + p.body.size();
                                          if (held > MostHeld) return false;
                                          packets.push_back(std::move(p));
                                          return true;
                                      },
                                      fileNotes, &slices);
        if (first == ScanEnd::Stopped) return false;
        if (first == ScanEnd::Done && slicePacketsMatch(file, slices, turns)) {
            for (FoundPacket& p : packets)
                found(p);
            for (const QString& text : std::as_const(fileNotes))
                addNote(notes, text);
            return true;
        }
        if (turns.stopped()) return false;
    }
    return FileScan(file, turns)
               .run(
                   name,
                   [&](FoundPacket& p) {
                       found(p);
                       return true;
                   },
                   notes, nullptr) != ScanEnd::Stopped;
}

} // namespace tfs
