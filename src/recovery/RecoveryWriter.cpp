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

qint64 alignedChunk(qint64 memory, qint64 sliceSize, qint64 buffers) {
    qint64 chunk = memory / buffers;
    chunk -= chunk % 64;
    return std::clamp<qint64>(chunk, 64, sliceSize);
}

// A packet in a volume: a critical packet (index into the critical list),
// a recovery slice (its exponent) or the creator.
struct Placed {
    enum Kind { Critical, Recovery, Creator } kind;
    quint32 index;
    qint64 offset = 0;
};

struct Part {
    QString path;
    qint64 length = 0;
    FileEntry entry;
    std::unique_ptr<Md5> md5; // of the bytes read so far
    quint32 crc = 0xFFFFFFFF;
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
                        const CancelRequest& cancel, qint64 memory) {
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
            QFile file(p.path);
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

    // The recovery data, over a stretch of every slice at a time: each pass
    // reads the stretch of every part, takes the parts' MD5s and CRC-32s
    // eight at a time and multiplies the parts into the recovery slices in
    // tiles that stay in the processor's caches (TileBytes of every recovery
    // slice while all parts go by), both threads on both kinds of task.
    const quint32 R = plan.sliceCount;
    const qint64 padded = (S + gf16::PreparedBlock - 1) / gf16::PreparedBlock * gf16::PreparedBlock;
    // Every part's factor for every recovery slice, prepared once where they
    // take an eighth of the memory at most; else per tile.
    const qint64 factorBytes = qint64(R) * n * qint64(sizeof(gf16::PreparedFactor));
    const bool keepFactors = factorBytes <= memory / 8;
    const qint64 stretch = alignedChunk(memory - (keepFactors ? factorBytes : 0), padded, n + R);
    std::vector<std::unique_ptr<uchar[]>> recovery, inputs;
    for (quint32 e = 0; e < R; ++e)
        recovery.emplace_back(new uchar[size_t(stretch)]);
    for (qint64 i = 0; i < n; ++i)
        inputs.emplace_back(new uchar[size_t(stretch)]);
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
    const int readTasks = int(n);
    const int checksumTasks = int((n + Md5Lanes - 1) / Md5Lanes);
    for (qint64 pass = 0; pass < passes; ++pass) {
        const qint64 from = pass * stretch;
        const qint64 len = qMin(stretch, padded - from);
        const auto have = [&](const Part& p) {
            return std::clamp<qint64>(p.length - from, 0, len);
        };
        const auto passProgress = [&](double share) {
            if (hooks.progress)
                hooks.progress(int((double(pass) + share) * 100 / double(passes + 1)));
        };
        // The stretch of every part, zero past its end.
        if (!runTasks(
                readTasks,
                [&](int i, const std::atomic<bool>&) {
                    Part& p = parts[size_t(i)];
                    uchar* into = inputs[size_t(i)].get();
                    const qint64 bytes = have(p);
                    if (bytes > 0) {
                        QFile file(p.path);
                        if (!file.open(QIODevice::ReadOnly))
                            throw OperationError(QStringLiteral("Cannot read %1: %2")
                                                     .arg(p.path, file.errorString()));
                        readPartAt(file, from, reinterpret_cast<char*>(into), bytes);
                    }
                    std::fill(into + bytes, into + len, 0);
                },
                [&](int done) { passProgress(0.2 * done / readTasks); }, hooks, cancel))
            return false;
        for (quint32 e = 0; e < R; ++e)
            std::fill_n(recovery[e].get(), len, 0);
        const int tiles = int((len + TileBytes - 1) / TileBytes);
        const auto tile = [&](int t) {
            const qint64 at = qint64(t) * TileBytes;
            const qint64 bytes = qMin<qint64>(TileBytes, len - at);
            std::vector<uchar> nibbles(size_t(2 * TileBytes * Lanes));
            std::vector<gf16::PreparedFactor> own(keepFactors ? 0 : size_t(R) * Lanes);
            for (qint64 i = 0; i < n; i += Lanes) {
                const int batch = int(qMin<qint64>(Lanes, n - i));
                for (int b = 0; b < batch; ++b)
                    gf16::prepareSource(inputs[size_t(i + b)].get() + at,
                                        nibbles.data() + 2 * TileBytes * b, bytes);
                if (!keepFactors)
                    for (quint32 e = 0; e < R; ++e)
                        for (int b = 0; b < batch; ++b)
                            own[e * Lanes + b] =
                                gf16::prepareFactor(gf16::power(constants[size_t(i + b)], e));
                for (quint32 e = 0; e < R; ++e)
                    for (int b = 0; b < batch; ++b)
                        gf16::multiplyAddPrepared(
                            keepFactors ? factors[e * n + i + b] : own[e * Lanes + b],
                            nibbles.data() + 2 * TileBytes * b, recovery[e].get() + at, bytes);
            }
            for (quint32 e = 0; e < R; ++e)
                gf16::toWords(recovery[e].get() + at, bytes);
        };
        const auto checksums = [&](int g) {
            Md5* md5s[Md5Lanes];
            const uchar* from[Md5Lanes];
            qint64 counts[Md5Lanes];
            int k = 0;
            for (qint64 i = qint64(g) * Md5Lanes; i < qMin<qint64>(n, qint64(g + 1) * Md5Lanes);
                 ++i, ++k) {
                Part& p = parts[size_t(i)];
                md5s[k] = p.md5.get();
                from[k] = inputs[size_t(i)].get();
                counts[k] = have(p);
                p.crc = Crc32Fast(from[k], counts[k], p.crc);
            }
            Md5::addEach(md5s, from, counts, k);
        };
        if (!runTasks(
                checksumTasks + tiles,
                [&](int t, const std::atomic<bool>&) {
                    t < checksumTasks ? checksums(t) : tile(t - checksumTasks);
                },
                [&](int done) { passProgress(0.2 + 0.8 * done / (checksumTasks + tiles)); }, hooks,
                cancel))
            return false;
        const qint64 written = qMin(len, S - from);
        std::vector<Md5*> md5s;
        std::vector<const uchar*> bytes;
        std::vector<qint64> counts;
        for (quint32 e = 0; e < R; ++e) {
            md5s.push_back(&packetMd5[e]);
            bytes.push_back(recovery[e].get());
            counts.push_back(written);
            writeAt(*volumes[volumeOf[e]].file, dataOffset[e] + from,
                    reinterpret_cast<const char*>(recovery[e].get()), written);
        }
        Md5::addEach(md5s.data(), bytes.data(), counts.data(), int(R));
    }

    // The parts' checksums, now that every byte went by once.
    QByteArray zeros;
    for (Part& p : parts) {
        p.entry.md5 = p.md5->result();
        Md5 slice(*p.md5);
        slice.addZeros(S - p.length);
        zeros.fill('\0', S - p.length);
        const quint32 crc = Crc32Fast(zeros.constData(), zeros.size(), p.crc) ^ 0xFFFFFFFF;
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
