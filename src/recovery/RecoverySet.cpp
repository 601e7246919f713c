// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RecoverySet.h"

#include "core/OperationError.h"
#include "recovery/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <optional>

namespace tfs {

using namespace par2;

namespace {

const QByteArray Magic("PAR2\0PKT", 8);
// The largest packet other than a recovery slice that a reader takes: a
// main packet naming 32768 files of the set and as many outside it.
constexpr qint64 MaxSmallPacket = HeaderSize + 12 + 16 * 2 * qint64(MaxSlices);
constexpr int MaxNotes = 20;
constexpr qint64 MaxKeptBytes = 64 << 20;

struct Found {
    Type type = Type::Other;
    Digest setId{};
    qint64 offset = 0; // of the header
    qint64 length = 0;
    QByteArray body; // all but recovery slices' bodies
};

void note(QStringList& notes, const QString& text) {
    if (notes.size() < MaxNotes)
        notes.append(text);
    else if (notes.size() == MaxNotes)
        notes.append(QStringLiteral("(more problems not listed)"));
}

bool readAt(QFile& file, qint64 at, char* into, qint64 count) {
    return file.seek(at) && file.read(into, count) == count;
}

// Checks the packet MD5 of the packet at `at`, reading it in blocks; keeps
// the body when `keepBody`.
bool packetMatches(QFile& file, qint64 at, qint64 length, const char* headerBytes, bool keepBody,
                   QByteArray& body) {
    Md5 md5;
    md5.add(headerBytes + 32, 32);
    if (keepBody) {
        body.resize(length - HeaderSize);
        if (!readAt(file, at + HeaderSize, body.data(), body.size())) return false;
        md5.add(body);
    } else {
        QByteArray block(1 << 20, Qt::Uninitialized);
        if (!file.seek(at + HeaderSize)) return false;
        for (qint64 left = length - HeaderSize; left > 0;) {
            const qint64 n = file.read(block.data(), qMin<qint64>(left, block.size()));
            if (n <= 0) return false;
            md5.add(block.constData(), n);
            left -= n;
        }
    }
    return std::memcmp(md5.result().data(), headerBytes + 16, 16) == 0;
}

// A recovery slice's packet taken as valid while a file is scanned, its MD5
// checked afterwards with the others.
struct SlicePacket {
    qint64 at = 0;
    qint64 length = 0;
    char header[HeaderSize];
};

// Whether the MD5 of every packet matches, taken MostAtOnce packets at a
// time in the lanes of Md5::addEach: a set's recovery slices are a tenth of
// its size or more, and one MD5 stream is several times slower than the
// lanes.
bool slicePacketsMatch(QFile& file, const std::vector<SlicePacket>& packets) {
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

// Every valid packet of the file, found by its magic at any offset (after
// damage the alignment can't be trusted), in file order. With `slices`, the
// recovery slices' packets whose headers look right are taken as valid
// without their MD5 and listed there.
void scanFile(QFile& file, const QString& path, const std::function<void(Found&)>& found,
              QStringList& notes, std::vector<SlicePacket>* slices) {
    const qint64 size = file.size();
    qint64 pos = 0;
    qint64 skipped = 0; // bytes that held no valid packet
    bool truncated = false;
    // The bytes hashed for candidates that turned out invalid: bounded, so
    // that a file full of false headers costs a few passes over it at most.
    qint64 wasted = 0;
    const qint64 maxWasted = 4 * size + (64 << 20);
    QByteArray window;
    qint64 windowAt = -1; // file offset of window[0]; -1: none read
    while (pos + HeaderSize <= size) {
        if (windowAt < 0 || pos < windowAt ||
            pos + qint64(Magic.size()) > windowAt + window.size()) {
            window.resize(qMin<qint64>(1 << 20, size - pos));
            if (!readAt(file, pos, window.data(), window.size())) break;
            windowAt = pos;
        }
        const qsizetype hit = window.indexOf(Magic, pos - windowAt);
        if (hit < 0) {
            // A magic may straddle the window's end: look again from just before it.
            const qint64 next = qMax(pos + 1, windowAt + window.size() - (Magic.size() - 1));
            skipped += next - pos;
            pos = next;
            continue;
        }
        const qint64 at = windowAt + hit;
        skipped += at - pos;
        char header[HeaderSize];
        if (at + HeaderSize > size || !readAt(file, at, header, HeaderSize)) {
            truncated = true;
            break;
        }
        const qint64 length = qint64(qMin<quint64>(readU64(header + 8), quint64(1) << 62));
        const Type type = typeOf(header + 48);
        bool valid = length >= HeaderSize && length % 4 == 0 &&
                     (type == Type::Recovery || length <= MaxSmallPacket);
        if (valid && at + length > size) {
            truncated = true;
            valid = false;
        }
        Found packet;
        if (valid && wasted + length > maxWasted) {
            note(notes, QStringLiteral("%1 is too damaged to be searched further")
                            .arg(QFileInfo(path).fileName()));
            break;
        }
        if (valid && slices && type == Type::Recovery) {
            SlicePacket slice;
            slice.at = at;
            slice.length = length;
            std::memcpy(slice.header, header, HeaderSize);
            slices->push_back(slice);
        } else if (valid) {
            valid = packetMatches(file, at, length, header, type != Type::Recovery, packet.body);
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
        found(packet);
        pos = at + length;
    }
    skipped += qMax<qint64>(0, size - pos);
    if (truncated)
        note(notes, QStringLiteral("%1 is cut short: its last packet is incomplete")
                        .arg(QFileInfo(path).fileName()));
    else if (skipped > 0)
        note(notes, QStringLiteral("%1 holds %2 bytes that are no valid packet (damaged)")
                        .arg(QFileInfo(path).fileName())
                        .arg(skipped));
}

// scanFile() over the file at `path`. The recovery slices' MD5s are taken
// together once the file is scanned: when they all match (an intact file),
// its packets are found as they were scanned; else the file is scanned
// again checking each packet as it comes, so that the packets found in a
// damaged file are the same either way.
void scanPackets(const QString& path, const std::function<void(Found&)>& found,
                 QStringList& notes) {
    QFile file;
    QString why;
    if (!openRegularFile(file, path, why)) {
        note(notes, QStringLiteral("%1 cannot be read: %2").arg(QFileInfo(path).fileName(), why));
        return;
    }
    // What the first scan found, held until the slices are checked: bounded,
    // a hostile file may hold any number of small packets.
    constexpr qint64 MostHeld = 64 << 20;
    std::vector<Found> packets;
    QStringList fileNotes;
    std::vector<SlicePacket> slices;
    qint64 held = 0;
    scanFile(
        file, path,
        [&](Found& p) {
            held += p.body.size() + HeaderSize;
            if (held <= MostHeld) packets.push_back(std::move(p));
        },
        fileNotes, &slices);
    if (held <= MostHeld && slicePacketsMatch(file, slices)) {
        for (Found& p : packets)
            found(p);
        for (const QString& text : std::as_const(fileNotes))
            note(notes, text);
        return;
    }
    scanFile(file, path, found, notes, nullptr);
}

} // namespace

QByteArray ourCreatorText() { return QByteArrayLiteral("Created by Tarvello File Splitter 1.00"); }

qint64 RecoverySet::sliceCount() const {
    qint64 n = 0;
    for (const FileEntry& f : files)
        n += qint64(f.slices.size());
    return n;
}

QString recoveryBaseOf(const QString& path) {
    const QFileInfo info(path);
    QString name = info.fileName();
    static const QRegularExpression volume(QStringLiteral("\\.vol\\d+[-+]\\d+\\.par2$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (name.endsWith(QLatin1String(".par2"), Qt::CaseInsensitive)) {
        const QRegularExpressionMatch m = volume.match(name);
        name.chop(m.hasMatch() ? m.capturedLength() : 5);
    } else {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0) name.truncate(dot); // movie.avi.003 and movie.avi.txt: movie.avi
    }
    return info.absolutePath() + QLatin1Char('/') + name;
}

QStringList recoveryFilesFor(const QString& path) {
    const QString base = recoveryBaseOf(path);
    const QString folder = base.left(base.lastIndexOf(QLatin1Char('/')) + 1);
    const QString name = base.mid(folder.size());
    QStringList files;
    for (const QString& index : {name + QStringLiteral(".par2"), name + QStringLiteral(".PAR2")})
        if (QFileInfo(folder + index).isFile()) files.append(folder + index);
    // The volumes of this name only: movie.vol0+1.par2 for movie, never
    // movie.avi.vol0+1.par2, another set's.
    const QRegularExpression volume(
        QStringLiteral("^%1\\.vol\\d+[-+]\\d+\\.par2$").arg(QRegularExpression::escape(name)),
        QRegularExpression::CaseInsensitiveOption);
    QStringList volumes;
    for (const QString& entry : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (volume.match(entry).hasMatch() && !files.contains(folder + entry))
            volumes.append(folder + entry);
    volumes.sort();
    return files + volumes;
}

RecoverySet readRecoverySet(const QStringList& paths) {
    RecoverySet set;
    if (paths.isEmpty())
        throw OperationError(QStringLiteral("There is no recovery data (.par2) for this set"));
    set.folder = QFileInfo(paths.first()).absolutePath() + QLatin1Char('/');
    std::optional<Digest> chosen;
    std::optional<QByteArray> mainBodyBytes;
    std::map<Digest, FileEntry> descriptions;
    std::map<Digest, QString> refused; // why a description was skipped, by its file's ID
    std::map<Digest, std::vector<SliceCheck>> checks;
    struct Candidate {
        RecoverySliceAt at;
        qint64 length;
    };
    std::map<quint32, Candidate> candidates;
    int otherSets = 0;
    // What the descriptions and slice checksums kept take: bounded, since
    // files of hostile origin may hold any number of them.
    qint64 kept = 0;
    bool overflowed = false;
    const auto keep = [&](qint64 bytes) {
        if (kept + bytes > MaxKeptBytes) {
            overflowed = true;
            return false;
        }
        kept += bytes;
        return true;
    };
    for (const QString& path : paths) {
        scanPackets(
            path,
            [&](Found& p) {
                if (!chosen) chosen = p.setId;
                if (p.setId != *chosen) {
                    ++otherSets;
                    return;
                }
                QString why;
                switch (p.type) {
                case Type::Main:
                    if (!mainBodyBytes) mainBodyBytes = p.body;
                    break;
                case Type::FileDesc: {
                    FileEntry entry;
                    if (!parseFileDesc(p.body, entry, why)) {
                        note(set.notes,
                             QStringLiteral("%1: skipped %2").arg(QFileInfo(path).fileName(), why));
                        if (refused.size() < MaxNotes) refused.emplace(entry.id, why);
                    } else if (!descriptions.count(entry.id) && keep(entry.name.size() + 128))
                        descriptions.emplace(entry.id, entry);
                    break;
                }
                case Type::Ifsc: {
                    Digest id;
                    std::vector<SliceCheck> slices;
                    if (!parseIfsc(p.body, id, slices, why))
                        note(set.notes,
                             QStringLiteral("%1: skipped %2").arg(QFileInfo(path).fileName(), why));
                    else if (!checks.count(id) && keep(qint64(slices.size()) * 24 + 64))
                        checks.emplace(id, std::move(slices));
                    break;
                }
                case Type::Recovery: {
                    char exponent[4];
                    QFile file;
                    QString unreadable;
                    if (p.length < HeaderSize + 8 || !openRegularFile(file, path, unreadable) ||
                        !readAt(file, p.offset + HeaderSize, exponent, 4))
                        break;
                    // At most one per exponent of the format's range: bounded.
                    if (readU32(exponent) <= MaxExponent)
                        candidates.emplace(readU32(exponent),
                                           Candidate{{path, p.offset + HeaderSize + 4}, p.length});
                    else
                        note(set.notes, QStringLiteral("skipped a recovery slice of exponent %1")
                                            .arg(readU32(exponent)));
                    break;
                }
                case Type::Creator:
                    if (set.creator.isEmpty())
                        set.creator = QString::fromUtf8(p.body.left(MaxNameBytes)).remove(QChar(0));
                    break;
                case Type::Other:
                    break;
                }
            },
            set.notes);
    }
    if (overflowed)
        note(set.notes, QStringLiteral("skipped file descriptions beyond %1 MiB of them")
                            .arg(MaxKeptBytes >> 20));
    if (otherSets > 0)
        note(set.notes,
             QStringLiteral("skipped %1 packets of another recovery set").arg(otherSets));
    std::copy(chosen ? chosen->begin() : set.setId.begin(),
              chosen ? chosen->end() : set.setId.end(), set.setId.begin());

    MainFields main;
    QString why;
    if (!mainBodyBytes)
        throw OperationError(QStringLiteral("The recovery data holds no usable main packet"));
    if (!parseMain(*mainBodyBytes, main, why))
        throw OperationError(QStringLiteral("The recovery data is unusable: %1").arg(why));
    set.sliceSize = main.sliceSize;
    qint64 total = 0;
    QSet<QByteArray> names;
    for (const Digest& id : main.ids) {
        const auto desc = descriptions.find(id);
        auto check = checks.find(id);
        if (desc == descriptions.end() && refused.count(id))
            throw OperationError(
                QStringLiteral("The recovery data is unusable: it has %1").arg(refused.at(id)));
        // An empty file has no slices to check: another tool may leave out
        // its empty list of checksums.
        if (desc != descriptions.end() && desc->second.length == 0 && check == checks.end())
            check = checks.emplace(id, std::vector<SliceCheck>{}).first;
        if (desc == descriptions.end() || check == checks.end())
            throw OperationError(
                QStringLiteral("The recovery data is incomplete: a file of the set "
                               "has no %1")
                    .arg(desc == descriptions.end() ? QStringLiteral("description")
                                                    : QStringLiteral("slice checksums")));
        FileEntry file = desc->second;
        const quint64 expected =
            file.length / set.sliceSize + (file.length % set.sliceSize ? 1 : 0);
        if (check->second.size() != expected)
            throw OperationError(QStringLiteral("The recovery data is unusable: %1 has %2 slice "
                                                "checksums for %3 slices")
                                     .arg(QString::fromUtf8(file.name))
                                     .arg(check->second.size())
                                     .arg(expected));
        if (names.contains(file.name))
            throw OperationError(QStringLiteral("The recovery data names %1 twice")
                                     .arg(QString::fromUtf8(file.name)));
        names.insert(file.name);
        file.slices = check->second;
        total += qint64(expected);
        if (total > qint64(MaxSlices))
            throw OperationError(
                QStringLiteral("The recovery data claims more than %1 slices").arg(MaxSlices));
        set.files.push_back(std::move(file));
    }
    for (const auto& [exponent, candidate] : candidates) {
        if (exponent > MaxExponent || candidate.length != qint64(set.sliceSize) + HeaderSize + 4) {
            note(set.notes, QStringLiteral("skipped a recovery slice of a wrong size or exponent"));
            continue;
        }
        set.recovery.emplace(exponent, candidate.at);
    }
    return set;
}

bool isOurRecoveryFile(const QString& path, const std::function<bool(const QString&)>& isPart) {
    QFile file;
    QString why;
    if (!openRegularFile(file, path, why)) return false;
    const qint64 size = file.size();
    bool creator = false;
    int packets = 0;
    for (qint64 at = 0; at < size; ++packets) {
        char header[HeaderSize];
        if (packets > 200000 || !readAt(file, at, header, HeaderSize) ||
            std::memcmp(header, Magic.constData(), 8) != 0)
            return false;
        const quint64 length = readU64(header + 8);
        if (length < quint64(HeaderSize) || length % 4 != 0 || length > quint64(size - at))
            return false;
        const Type type = typeOf(header + 48);
        if (type == Type::FileDesc || type == Type::Creator) {
            QByteArray body;
            if (qint64(length) > MaxSmallPacket ||
                !packetMatches(file, at, qint64(length), header, true, body))
                return false;
            if (type == Type::Creator) {
                creator = creator || body.startsWith(ourCreatorText());
            } else {
                FileEntry entry;
                QString why;
                if (!parseFileDesc(body, entry, why) || !isPart(QString::fromUtf8(entry.name)))
                    return false;
            }
        }
        at += qint64(length);
    }
    return creator;
}

} // namespace tfs
