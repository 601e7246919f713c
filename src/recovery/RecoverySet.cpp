// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RecoverySet.h"

#include "core/OperationError.h"
#include "recovery/PacketScan.h"
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
constexpr qint64 MaxKeptBytes = 64 << 20;
constexpr size_t MostRefused = 20; // descriptions whose refusal is remembered

// Whether a slice size is one the set can hold: that of a recovery slice
// found, or no larger than the largest file of the set on the disk (rounded
// up to a multiple of 4). Any larger, a check would hash up to that many
// zeros for every file, and every slice would be read in a part of itself.
bool holdsSlices(const RecoverySet& set, const std::vector<qint64>& sliceLengths) {
    const qint64 packet = qint64(set.sliceSize) + HeaderSize + 4;
    if (std::find(sliceLengths.begin(), sliceLengths.end(), packet) != sliceLengths.end())
        return true;
    qint64 largest = 0;
    for (const FileEntry& f : set.files)
        largest = qMax(largest, QFileInfo(set.pathOf(f)).size());
    return set.sliceSize <= quint64(largest + 3) / 4 * 4;
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
    quint8 never = 0;
    readRecoverySet(paths, set, EngineHooks{}, CancelRequest(never));
    return set;
}

bool readRecoverySet(const QStringList& paths, RecoverySet& set, const EngineHooks& hooks,
                     const CancelRequest& cancel) {
    set = RecoverySet{};
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
    ReadingTurns turns(hooks, cancel);
    for (const QString& path : paths) {
        const bool read = scanPackets(
            path,
            [&](FoundPacket& p) {
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
                        addNote(
                            set.notes,
                            QStringLiteral("%1: skipped %2").arg(QFileInfo(path).fileName(), why));
                        if (refused.size() < MostRefused) refused.emplace(entry.id, why);
                    } else if (!descriptions.count(entry.id) && keep(entry.name.size() + 128))
                        descriptions.emplace(entry.id, entry);
                    break;
                }
                case Type::Ifsc: {
                    Digest id;
                    std::vector<SliceCheck> slices;
                    if (!parseIfsc(p.body, id, slices, why))
                        addNote(
                            set.notes,
                            QStringLiteral("%1: skipped %2").arg(QFileInfo(path).fileName(), why));
                    else if (!checks.count(id) && keep(qint64(slices.size()) * 24 + 64))
                        checks.emplace(id, std::move(slices));
                    break;
                }
                case Type::Recovery:
                    if (p.length < HeaderSize + 8) break;
                    // At most one per exponent of the format's range: bounded.
                    if (p.exponent <= MaxExponent)
                        candidates.emplace(p.exponent,
                                           Candidate{{path, p.offset + HeaderSize + 4}, p.length});
                    else
                        addNote(set.notes, QStringLiteral("skipped a recovery slice of exponent %1")
                                               .arg(p.exponent));
                    break;
                case Type::Creator:
                    if (set.creator.isEmpty())
                        set.creator = QString::fromUtf8(p.body.left(MaxNameBytes)).remove(QChar(0));
                    break;
                case Type::Other:
                    break;
                }
            },
            set.notes, turns);
        if (!read) return false;
    }
    if (overflowed)
        addNote(set.notes, QStringLiteral("skipped file descriptions beyond %1 MiB of them")
                               .arg(MaxKeptBytes >> 20));
    if (otherSets > 0)
        addNote(set.notes,
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
    std::vector<qint64> sliceLengths;
    for (const auto& [exponent, candidate] : candidates)
        sliceLengths.push_back(candidate.length);
    if (!holdsSlices(set, sliceLengths))
        throw OperationError(QStringLiteral("The recovery data is unusable: a slice size of %1 "
                                            "bytes, more than its files and recovery slices hold")
                                 .arg(set.sliceSize));
    for (const auto& [exponent, candidate] : candidates) {
        if (exponent > MaxExponent || candidate.length != qint64(set.sliceSize) + HeaderSize + 4) {
            addNote(set.notes,
                    QStringLiteral("skipped a recovery slice of a wrong size or exponent"));
            continue;
        }
        set.recovery.emplace(exponent, candidate.at);
    }
    return true;
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
                !smallPacketMatches(file, at, qint64(length), header, body))
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
