// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RecoveryWriter.h"

#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/Packets.h"
#include "recovery/RecoverySet.h"
#include "recovery/Tasks.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>

namespace tfs {

using namespace par2;

namespace {

int bitLength(quint32 v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// The parts which are multiplied into the recovery slices one after the
// other from the caches.
constexpr int Lanes = 8;
// The parts whose MD5s are taken together (Md5::addEach).
constexpr int Md5Lanes = 16;
// The stretch of every recovery slice that stays in the caches while all
// parts are multiplied into it.
constexpr qint64 TileBytes = 8192;
// The buffers of the passes: larger than the caches, so that the passes are
// few. Each pass ends waiting for its slowest task, and on a busy machine
// every such wait costs; that the bytes read are no longer in the caches when
// the tiles reach them costs less (measured on 2 GiB in 10 MB parts, 10 %:
// about a quarter less time than with a working set the caches hold).
constexpr qint64 PassWorkingSet = 256LL << 20;

// A packet in a volume: a critical packet (index into the critical list),
// a recovery slice (its exponent) or the creator.
struct Placed {
    enum Kind { Critical, Recovery, Creator } kind;
    quint32 index;
    qint64 offset = 0;
};

// Parts kept open from pass to pass, where they are this few (each holds a
// file descriptor); more are opened for every read.
constexpr qint64 PartsKeptOpen = 256;

struct Part {
    QString path;
    qint64 length = 0;
    FileEntry entry;
    std::unique_ptr<Md5> md5;    // of the bytes read so far
    quint32 crc = 0xFFFFFFFF;    // the CRC-32 register over the bytes so far, or over all
    bool crcCopied = false;      // the split's copy took the CRC-32 of all its bytes
    std::unique_ptr<QFile> file; // kept open, or null
};

// A stretch of every part and of every recovery slice.
struct Buffers {
    Buffers(qint64 parts, quint32 slices, qint64 stretch) {
        for (qint64 i = 0; i < parts; ++i)
            inputs.emplace_back(new uchar[size_t(stretch)]);
        for (quint32 e = 0; e < slices; ++e)
            recovery.emplace_back(new uchar[size_t(stretch)]);
    }
    std::vector<std::unique_ptr<uchar[]>> inputs, recovery;
};

// Files being written: a hidden name beside the final one until they are whole.
class PendingFiles {
public:
    ~PendingFiles() {
        for (const QString& path : temporary_)
            QFile::remove(path);
    }
    QString add(const QString& finalPath) {
        const QFileInfo info(finalPath);
        const QString temp = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                             QStringLiteral(".partial");
        temporary_.append(temp);
        final_.append(finalPath);
        return temp;
    }
    void commit() {
        for (qsizetype i = 0; i < temporary_.size(); ++i) {
            if (std::rename(QFile::encodeName(temporary_[i]).constData(),
                            QFile::encodeName(final_[i]).constData()) != 0)
                throw OperationError(
                    systemErrorText(QStringLiteral("Cannot write"), final_[i], errno));
            temporary_[i].clear();
        }
        temporary_.clear();
    }

private:
    QStringList temporary_, final_;
};

void writeAt(QFile& file, qint64 at, const char* bytes, qint64 count) {
    if (!file.seek(at) || file.write(bytes, count) != count)
        throw OperationError(
            QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString()));
}

void readPartAt(QFile& file, qint64 at, char* into, qint64 count) {
    if (!file.seek(at) || file.read(into, count) != count)
        throw OperationError(
            QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
}

} // namespace

QStringList RecoveryPlan::fileNames() const {
    QStringList names{indexName};
    for (const RecoveryVolume& v : volumes)
        names.append(v.name);
    return names;
}

RecoveryPlan planRecovery(const QString& sourceName, const QList<qint64>& partSizes, int percent) {
    RecoveryPlan plan;
    const qint64 parts = partSizes.size();
    if (parts > qint64(MaxSlices)) {
        plan.refusal = QStringLiteral("Recovery data covers at most %1 parts and this split makes "
                                      "%2: it is split without recovery data")
                           .arg(MaxSlices)
                           .arg(parts);
        return plan;
    }
    if (parts == 0 || percent <= 0) {
        plan.refusal = QStringLiteral("There are no parts to make recovery data for");
        return plan;
    }
    const qint64 largest = *std::max_element(partSizes.begin(), partSizes.end());
    plan.sliceSize = quint64(largest + 3) / 4 * 4;
    plan.sliceCount = quint32(std::clamp<qint64>((parts * percent + 50) / 100, 1, MaxSlices));
    plan.indexName = sourceName + QStringLiteral(".par2");

    // As par2 fills them by default: bit_length(count) volumes, the k-th
    // holding up to 2^k slices (doubled until they hold them all).
    const int volumes = bitLength(plan.sliceCount);
    quint64 scale = 1;
    while (((quint64(1) << volumes) - 1) * scale < plan.sliceCount)
        scale *= 2;
    quint32 first = 0;
    for (int k = 0; k < volumes && first < plan.sliceCount; ++k) {
        const quint32 count = quint32(std::min<quint64>(scale << k, plan.sliceCount - first));
        plan.volumes.push_back({QString(), first, count});
        first += count;
    }
    const int firstWidth = QString::number(plan.sliceCount).size();
    quint32 largestCount = 0;
    for (const RecoveryVolume& v : plan.volumes)
        largestCount = std::max(largestCount, v.count);
    const int countWidth = QString::number(largestCount).size();
    for (RecoveryVolume& v : plan.volumes)
        // In one arg(): a source named with "%2" in it stays as it is.
        v.name = QStringLiteral("%1.vol%2+%3.par2")
                     .arg(sourceName,
                          QStringLiteral("%1").arg(v.first, firstWidth, 10, QLatin1Char('0')),
                          QStringLiteral("%1").arg(v.count, countWidth, 10, QLatin1Char('0')));
    return plan;
}

bool writeRecoveryFiles(const QString& folder, const QStringList& partNames,
                        const RecoveryPlan& plan, const EngineHooks& hooks,
                        const CancelToken& cancel, qint64 memory,
                        const QList<PartCrc>& copiedCrcs) {
    if (!plan.refusal.isEmpty()) throw OperationError(plan.refusal);
    const qint64 S = qint64(plan.sliceSize);

    // The parts' IDs from their first 16 KiB, length and name: they order the
    // set and give its ID before any recovery data is made.
    std::vector<Part> parts(size_t(partNames.size()));
    {
        QByteArray head(16384, Qt::Uninitialized);
        for (qsizetype i = 0; i < partNames.size(); ++i) {
            Part& p = parts[size_t(i)];
            p.path = folder + partNames[i];
            p.file = std::make_unique<QFile>(p.path);
            QFile& file = *p.file;
            if (!file.open(QIODevice::ReadOnly))
                throw OperationError(
                    QStringLiteral("Cannot read %1: %2").arg(p.path, file.errorString()));
            p.length = file.size();
            if (p.length <= 0 || p.length > S)
                throw OperationError(
                    QStringLiteral("Cannot make recovery data: %1 changed").arg(p.path));
            const qint64 n = qMin<qint64>(16384, p.length);
            readPartAt(file, 0, head.data(), n);
            p.entry.md5Head = Md5::of(head.constData(), n);
            p.entry.length = quint64(p.length);
            p.entry.name = partNames[i].toUtf8();
            p.entry.id = fileIdOf(p.entry.md5Head, p.entry.length, p.entry.name);
            p.md5 = std::make_unique<Md5>();
            if (copiedCrcs.size() == partNames.size() && copiedCrcs[i].size == p.length) {
                p.crc = copiedCrcs[i].crc ^ 0xFFFFFFFF;
                p.crcCopied = true;
            }
            if (partNames.size() > PartsKeptOpen) p.file.reset();
        }
    }
    std::sort(parts.begin(), parts.end(),
              [](const Part& a, const Part& b) { return idLess(a.entry.id, b.entry.id); });
    std::vector<Digest> ids;
    for (const Part& p : parts)
        ids.push_back(p.entry.id);
    const QByteArray mainBodyBytes = mainBody(plan.sliceSize, ids);
    const Digest setId = Md5::of(mainBodyBytes);
    const qint64 n = qint64(parts.size());

    // Where every packet goes: per volume the recovery slices in order, with
    // bit_length(count) copies of the critical packets (main, descriptions,
    // slice checksums) spread among them as par2 spreads them, then the creator.
    const QByteArray creator = packet(setId, Type::Creator, creatorBody(ourCreatorText()));
    std::vector<qint64> criticalSizes{HeaderSize + mainBodyBytes.size()};
    for (const Part& p : parts)
        criticalSizes.push_back(HeaderSize + 56 + (p.entry.name.size() + 3) / 4 * 4);
    for (qint64 i = 0; i < n; ++i)
        criticalSizes.push_back(HeaderSize + 16 + 20);
    const qint64 critical = qint64(criticalSizes.size());
    const qint64 recoveryPacket = HeaderSize + 4 + S;

    PendingFiles pending;
    struct VolumeFile {
        std::unique_ptr<QFile> file;
        std::vector<Placed> packets;
    };
    std::vector<VolumeFile> volumes(plan.volumes.size());
    std::vector<qint64> dataOffset(plan.sliceCount); // per exponent: volume file offset of its data
    std::vector<size_t> volumeOf(plan.sliceCount);
    for (size_t v = 0; v < plan.volumes.size(); ++v) {
        const RecoveryVolume& rv = plan.volumes[v];
        const qint64 copies = bitLength(rv.count);
        qint64 at = 0, acc = 0, next = 0;
        auto& placed = volumes[v].packets;
        for (quint32 k = 0; k < rv.count; ++k) {
            const quint32 e = rv.first + k;
            placed.push_back({Placed::Recovery, e, at});
            dataOffset[e] = at + HeaderSize + 4;
            volumeOf[e] = v;
            at += recoveryPacket;
            acc += copies * critical;
            while (acc >= qint64(rv.count)) {
                placed.push_back({Placed::Critical, quint32(next), at});
                at += criticalSizes[size_t(next)];
                next = (next + 1) % critical;
                acc -= rv.count;
            }
        }
        placed.push_back({Placed::Creator, 0, at});
        volumes[v].file = std::make_unique<QFile>(pending.add(folder + rv.name));
        if (!volumes[v].file->open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw OperationError(QStringLiteral("Cannot create %1: %2")
                                     .arg(folder + rv.name, volumes[v].file->errorString()));
    }

    // The recovery data, over a stretch of every slice at a time. Each pass
    // takes the parts' MD5s sixteen at a time (and their CRC-32s where the
    // split's copy did not hand them over) and multiplies the parts into the
    // recovery slices in tiles that stay in the processor's caches (TileBytes
    // of every recovery slice while all parts go by). Meanwhile the next
    // pass's stretch is read into a second set of buffers and the previous
    // pass's recovery data is written out: both threads take any of these
    // tasks, and a pass waits only for the one before it.
    const quint32 R = plan.sliceCount;
    const qint64 padded = (S + gf16::PreparedBlock - 1) / gf16::PreparedBlock * gf16::PreparedBlock;
    // Every part's factor for every recovery slice, prepared once where they
    // take an eighth of the memory at most; else per tile.
    const qint64 factorBytes = qint64(R) * n * qint64(sizeof(gf16::PreparedFactor));
    const bool keepFactors = factorBytes <= memory / 8;
    const qint64 stretch =
        stretchFor(memory - (keepFactors ? factorBytes : 0), padded, 2 * (n + R), PassWorkingSet);
    Buffers buffers[2] = {Buffers(n, R, stretch), Buffers(n, R, stretch)};
    std::vector<Md5> packetMd5(R);
    for (quint32 e = 0; e < R; ++e) {
        packetMd5[e].add(setId.data(), 16);
        packetMd5[e].add(typeBytes(Type::Recovery));
        QByteArray exponent;
        appendU32(exponent, e);
        packetMd5[e].add(exponent);
    }
    std::vector<quint16> constants(size_t(n), 0);
    for (qint64 i = 0; i < n; ++i)
        constants[size_t(i)] = gf16::inputConstant(quint32(i));
    std::vector<gf16::PreparedFactor> factors;
    if (keepFactors)
        for (quint32 e = 0; e < R; ++e)
            for (qint64 i = 0; i < n; ++i)
                factors.push_back(gf16::prepareFactor(gf16::power(constants[size_t(i)], e)));

    const qint64 passes = (padded + stretch - 1) / stretch;
    const auto fromOf = [&](qint64 pass) { return pass * stretch; };
    const auto lengthOf = [&](qint64 pass) { return qMin(stretch, padded - pass * stretch); };
    const auto have = [&](const Part& p, qint64 pass) {
        return std::clamp<qint64>(p.length - fromOf(pass), 0, lengthOf(pass));
    };
    // The pass's stretch of part i, zero past its end.
    const auto read = [&](qint64 pass, int i) {
        Part& p = parts[size_t(i)];
        uchar* into = buffers[pass % 2].inputs[size_t(i)].get();
        const qint64 bytes = have(p, pass);
        if (bytes > 0) {
            QFile own(p.path);
            QFile& file = p.file ? *p.file : own;
            if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
                throw OperationError(
                    QStringLiteral("Cannot read %1: %2").arg(p.path, file.errorString()));
            readPartAt(file, fromOf(pass), reinterpret_cast<char*>(into), bytes);
        }
        std::fill(into + bytes, into + lengthOf(pass), 0);
    };
    const auto tile = [&](qint64 pass, int t) {
        const Buffers& b = buffers[pass % 2];
        const qint64 at = qint64(t) * TileBytes;
        const qint64 bytes = qMin<qint64>(TileBytes, lengthOf(pass) - at);
        thread_local std::vector<uchar> nibbles;
        thread_local std::vector<gf16::PreparedFactor> own;
        nibbles.resize(size_t(2 * TileBytes * Lanes));
        own.resize(keepFactors ? 0 : size_t(R) * Lanes);
        for (quint32 e = 0; e < R; ++e)
            std::fill_n(b.recovery[e].get() + at, bytes, 0);
        for (qint64 i = 0; i < n; i += Lanes) {
            const int batch = int(qMin<qint64>(Lanes, n - i));
            // Exponent 0 makes every factor 1: that slice is the parts'
            // XOR, added as they are, in words.
            for (int k = 0; k < batch; ++k)
                gf16::add(b.inputs[size_t(i + k)].get() + at, b.recovery[0].get() + at, bytes);
            if (R == 1) continue;
            for (int k = 0; k < batch; ++k)
                gf16::prepareSource(b.inputs[size_t(i + k)].get() + at,
                                    nibbles.data() + 2 * TileBytes * k, bytes);
            if (!keepFactors)
                for (quint32 e = 1; e < R; ++e)
                    for (int k = 0; k < batch; ++k)
                        own[e * Lanes + k] =
                            gf16::prepareFactor(gf16::power(constants[size_t(i + k)], e));
            for (quint32 e = 1; e < R; ++e)
                for (int k = 0; k < batch; ++k)
                    gf16::multiplyAddPrepared(
                        keepFactors ? factors[e * n + i + k] : own[e * Lanes + k],
                        nibbles.data() + 2 * TileBytes * k, b.recovery[e].get() + at, bytes);
        }
        for (quint32 e = 1; e < R; ++e)
            gf16::toWords(b.recovery[e].get() + at, bytes);
    };
    const auto checksums = [&](qint64 pass, int g) {
        Md5* md5s[Md5Lanes];
        const uchar* from[Md5Lanes];
        qint64 counts[Md5Lanes];
        int k = 0;
        for (qint64 i = qint64(g) * Md5Lanes; i < qMin<qint64>(n, qint64(g + 1) * Md5Lanes);
             ++i, ++k) {
            Part& p = parts[size_t(i)];
            md5s[k] = p.md5.get();
            from[k] = buffers[pass % 2].inputs[size_t(i)].get();
            counts[k] = have(p, pass);
            if (!p.crcCopied) p.crc = crc32Fast(from[k], counts[k], p.crc);
        }
        Md5::addEach(md5s, from, counts, k);
    };
    // The pass's recovery data into the volumes, and into their packets' MD5s.
    const auto write = [&](qint64 pass) {
        const qint64 written = qMin(lengthOf(pass), S - fromOf(pass));
        std::vector<Md5*> md5s;
        std::vector<const uchar*> bytes;
        std::vector<qint64> counts;
        for (quint32 e = 0; e < R; ++e) {
            const uchar* slice = buffers[pass % 2].recovery[e].get();
            md5s.push_back(&packetMd5[e]);
            bytes.push_back(slice);
            counts.push_back(written);
            writeAt(*volumes[volumeOf[e]].file, dataOffset[e] + fromOf(pass),
                    reinterpret_cast<const char*>(slice), written);
        }
        Md5::addEach(md5s.data(), bytes.data(), counts.data(), int(R));
    };

    // Step k works on pass k, reads pass k + 1 and writes pass k - 1; step -1
    // only reads pass 0, step `passes` only writes the last one.
    struct Task {
        enum Kind { Read, Checksums, Tile, Write } kind;
        int index;
    };
    for (qint64 step = -1; step <= passes; ++step) {
        std::vector<Task> tasks;
        if (step >= 1) tasks.push_back({Task::Write, 0});
        if (step >= 0 && step < passes)
            for (int g = 0; g < int((n + Md5Lanes - 1) / Md5Lanes); ++g)
                tasks.push_back({Task::Checksums, g});
        const int tiles =
            step >= 0 && step < passes ? int((lengthOf(step) + TileBytes - 1) / TileBytes) : 0;
        const int reads = step + 1 < passes ? int(n) : 0;
        // Tiles and reads interleaved, so that both threads mostly have one
        // of each kind running.
        for (int t = 0, r = 0; t < tiles || r < reads;) {
            if (t < tiles) tasks.push_back({Task::Tile, t++});
            for (int k = 0; k < qMax(1, reads / qMax(1, tiles)) && r < reads; ++k)
                tasks.push_back({Task::Read, r++});
        }
        if (!runTasks(
                int(tasks.size()),
                [&](int t, const std::atomic<bool>&) {
                    const Task task = tasks[size_t(t)];
                    switch (task.kind) {
                    case Task::Read:
                        return read(step + 1, task.index);
                    case Task::Checksums:
                        return checksums(step, task.index);
                    case Task::Tile:
                        return tile(step, task.index);
                    case Task::Write:
                        return write(step - 1);
                    }
                },
                [&](int done) {
                    if (hooks.progress)
                        hooks.progress(
                            int((double(step + 1) + double(done) / double(tasks.size())) * 100 /
                                double(passes + 3)));
                },
                hooks, cancel))
            return false;
    }

    // The parts' checksums, now that every byte went by once.
    QByteArray zeros;
    for (Part& p : parts) {
        p.entry.md5 = p.md5->result();
        Md5 slice(*p.md5);
        slice.addZeros(S - p.length);
        zeros.fill('\0', S - p.length);
        const quint32 crc = crc32Fast(zeros.constData(), zeros.size(), p.crc) ^ 0xFFFFFFFF;
        p.entry.slices = {SliceCheck{slice.result(), crc}};
    }
    std::vector<QByteArray> criticalPackets{packet(setId, Type::Main, mainBodyBytes)};
    for (const Part& p : parts)
        criticalPackets.push_back(packet(setId, Type::FileDesc, fileDescBody(p.entry)));
    for (const Part& p : parts)
        criticalPackets.push_back(packet(setId, Type::Ifsc, ifscBody(p.entry)));

    for (VolumeFile& v : volumes) {
        for (const Placed& placed : v.packets) {
            QByteArray bytes;
            if (placed.kind == Placed::Critical)
                bytes = criticalPackets[placed.index];
            else if (placed.kind == Placed::Creator)
                bytes = creator;
            else {
                bytes =
                    header(recoveryPacket, packetMd5[placed.index].result(), setId, Type::Recovery);
                appendU32(bytes, placed.index);
            }
            writeAt(*v.file, placed.offset, bytes.constData(), bytes.size());
        }
        if (!v.file->flush())
            throw OperationError(QStringLiteral("Cannot write %1: %2")
                                     .arg(v.file->fileName(), v.file->errorString()));
        v.file->close();
    }
    QFile index(pending.add(folder + plan.indexName));
    QByteArray indexBytes;
    for (const QByteArray& p : criticalPackets)
        indexBytes += p;
    indexBytes += creator;
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        index.write(indexBytes) != indexBytes.size() || !index.flush())
        throw OperationError(QStringLiteral("Cannot write %1: %2")
                                 .arg(folder + plan.indexName, index.errorString()));
    index.close();
    pending.commit();
    if (hooks.progress) hooks.progress(100);
    return true;
}

} // namespace tfs
