#include "recovery/RecoveryRepair.h"

#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/Tasks.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tfs {

using namespace par2;

namespace {

constexpr qint64 ReadBlock = 4 << 20;
constexpr int MaxRebuiltSlices = 4096;

quint32 crcOfZeros(qint64 count, quint32 crc) {
    static const QByteArray zeros(64 << 10, '\0');
    while (count > 0) {
        const qint64 n = qMin<qint64>(count, zeros.size());
        crc = Crc32Fast(zeros.constData(), n, crc);
        count -= n;
    }
    return crc;
}

// Reads up to `count` bytes at `at`; the rest of `into` is zeroed.
void readPadded(QFile& file, qint64 at, qint64 have, uchar* into, qint64 count) {
    qint64 got = 0;
    if (have > 0 && file.seek(at))
        got = qMax<qint64>(0, file.read(reinterpret_cast<char*>(into), have));
    if (got < have)
        throw OperationError(
            QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
    std::fill(into + got, into + count, 0);
}

// The path of a file being rebuilt: hidden, beside the file.
QString rebuildPathOf(const RecoverySet& set, const FileEntry& file) {
    return set.folder + QStringLiteral(".") + QString::fromUtf8(file.name) +
           QStringLiteral(".rebuilt");
}

} // namespace

bool SetCheck::whole() const {
    return std::all_of(parts.begin(), parts.end(), [](const PartCheck& p) {
        return p.status == PartStatus::Ok || p.status == PartStatus::Repaired;
    });
}

namespace {

// The most files checked together, their MD5s in the lanes of registers.
constexpr size_t Lanes = 16;
// What is read of each file at a time.
constexpr qint64 CheckBlock = 512 << 10;

// One file being read against its checksums.
struct FileScan {
    const FileEntry* entry = nullptr;
    PartCheck* part = nullptr;
    std::unique_ptr<QFile> file;
    qint64 size = 0;
    qint64 pos = 0;
    size_t slice = 0;
    Md5 whole, sliceMd5; // sliceMd5 only where a file has several slices
    quint32 crc = 0xFFFFFFFF;
    qint64 got = 0; // read in this step
    bool done = false;
};

// The slice a scan is in: where it ends and how many bytes it holds of the file.
qint64 sliceLength(const FileScan& scan, qint64 S) {
    return qMin(S, qint64(scan.entry->length) - qint64(scan.slice) * S);
}

void finish(FileScan& scan) {
    const bool intact = scan.size == qint64(scan.entry->length) &&
                        scan.pos == qint64(scan.entry->length) &&
                        scan.whole.result() == scan.entry->md5 &&
                        std::all_of(scan.part->goodSlices.begin(), scan.part->goodSlices.end(),
                                    [](bool b) { return b; });
    scan.part->status = intact ? PartStatus::Ok : PartStatus::Damaged;
    scan.done = true;
    scan.file.reset();
}

// Up to Lanes files against their checksums, read side by side; false when
// stopped meanwhile. `done` counts the bytes read.
bool checkFiles(const RecoverySet& set, const std::vector<size_t>& which, SetCheck& check,
                std::atomic<qint64>& done, const std::atomic<bool>& stop) {
    const qint64 S = qint64(set.sliceSize);
    std::vector<FileScan> scans(which.size());
    std::vector<std::unique_ptr<uchar[]>> buffers;
    for (size_t i = 0; i < which.size(); ++i) {
        FileScan& scan = scans[i];
        scan.entry = &set.files[which[i]];
        scan.part = &check.parts[which[i]];
        scan.part->name = QString::fromUtf8(scan.entry->name);
        scan.part->goodSlices.assign(scan.entry->slices.size(), false);
        const QString path = set.pathOf(*scan.entry);
        scan.file = std::make_unique<QFile>(path);
        buffers.emplace_back(new uchar[size_t(CheckBlock)]);
        if (!QFileInfo(path).isFile() || !scan.file->open(QIODevice::ReadOnly)) {
            scan.part->status = PartStatus::Missing;
            scan.done = true;
            scan.file.reset();
            continue;
        }
        scan.size = scan.file->size();
        if (scan.entry->slices.empty()) finish(scan);
    }
    std::vector<Md5*> md5s;
    std::vector<const uchar*> bytes;
    std::vector<qint64> counts;
    for (;;) {
        bool any = false;
        for (size_t i = 0; i < scans.size(); ++i) {
            FileScan& scan = scans[i];
            scan.got = 0;
            if (scan.done) continue;
            const qint64 end = qint64(scan.slice) * S + sliceLength(scan, S);
            const qint64 n = scan.file->read(reinterpret_cast<char*>(buffers[i].get()),
                                             qMin(CheckBlock, end - scan.pos));
            if (n <= 0) { // the file ends early: this slice and the rest are missing
                finish(scan);
                continue;
            }
            scan.got = n;
            any = true;
        }
        if (!any) break;
        for (int pass = 0; pass < 2; ++pass) {
            md5s.clear();
            bytes.clear();
            counts.clear();
            for (size_t i = 0; i < scans.size(); ++i) {
                FileScan& scan = scans[i];
                if (scan.got == 0 || (pass == 1 && scan.entry->slices.size() == 1)) continue;
                md5s.push_back(pass == 0 ? &scan.whole : &scan.sliceMd5);
                bytes.push_back(buffers[i].get());
                counts.push_back(scan.got);
            }
            Md5::addEach(md5s.data(), bytes.data(), counts.data(), int(md5s.size()));
        }
        for (size_t i = 0; i < scans.size(); ++i) {
            FileScan& scan = scans[i];
            if (scan.got == 0) continue;
            scan.crc = Crc32Fast(buffers[i].get(), scan.got, scan.crc);
            scan.pos += scan.got;
            done += scan.got;
            const qint64 length = sliceLength(scan, S);
            if (scan.pos < qint64(scan.slice) * S + length) continue;
            // A slice read whole: its checksums, padded with zeros to S bytes.
            const SliceCheck& expected = scan.entry->slices[scan.slice];
            if ((crcOfZeros(S - length, scan.crc) ^ 0xFFFFFFFF) == expected.crc) {
                Md5 padded = scan.entry->slices.size() == 1 ? scan.whole : scan.sliceMd5;
                padded.addZeros(S - length);
                scan.part->goodSlices[scan.slice] = padded.result() == expected.md5;
            }
            scan.sliceMd5 = Md5();
            scan.crc = 0xFFFFFFFF;
            if (++scan.slice == scan.entry->slices.size()) finish(scan);
        }
        if (stop) return false;
    }
    return true;
}

} // namespace

bool checkSet(const RecoverySet& set, SetCheck& check, const EngineHooks& hooks,
              const CancelRequest& cancel) {
    check = SetCheck{};
    check.recoverySlices = qint64(set.recovery.size());
    check.parts.resize(set.files.size());
    qint64 total = 0;
    for (const FileEntry& f : set.files)
        total += qint64(f.length);

    // Up to Lanes files to a task, at least two tasks for the two helper
    // threads; this one serves the hooks meanwhile.
    std::atomic<qint64> read{0};
    const size_t perTask = std::clamp<size_t>((set.files.size() + 1) / 2, 1, Lanes);
    const int tasks = int((set.files.size() + perTask - 1) / perTask);
    const bool finished = runTasks(
        tasks,
        [&](int t, const std::atomic<bool>& stop) {
            std::vector<size_t> which;
            for (size_t i = size_t(t) * perTask;
                 i < qMin(set.files.size(), size_t(t + 1) * perTask); ++i)
                which.push_back(i);
            checkFiles(set, which, check, read, stop);
        },
        [&](int) {
            if (hooks.progress && total > 0) hooks.progress(int(read * 100 / total));
        },
        hooks, cancel);
    if (!finished) return false;
    for (const PartCheck& part : check.parts)
        check.missingSlices += std::count(part.goodSlices.begin(), part.goodSlices.end(), false);
    return true;
}

bool repairSet(const RecoverySet& set, SetCheck& check, const EngineHooks& hooks,
               const CancelRequest& cancel, qint64 memory) {
    if (check.whole()) return true;
    if (!check.repairable())
        throw OperationError(
            QStringLiteral("The set cannot be repaired: %1 more recovery blocks are "
                           "needed")
                .arg(check.moreNeeded()));
    const qint64 S = qint64(set.sliceSize);

    // Global slice numbers: present ones feed the equations, missing ones
    // are solved for.
    struct SliceRef {
        size_t file;
        qint64 index; // within the file
        quint16 constant;
    };
    std::vector<SliceRef> present, missing;
    quint32 global = 0;
    for (size_t f = 0; f < set.files.size(); ++f)
        for (size_t k = 0; k < set.files[f].slices.size(); ++k, ++global) {
            const SliceRef ref{f, qint64(k), gf16::inputConstant(global)};
            (check.parts[f].goodSlices[k] ? present : missing).push_back(ref);
        }
    const int m = int(missing.size());
    // The system to solve takes m x m field elements twice and m^3 steps.
    if (m > MaxRebuiltSlices)
        throw OperationError(QStringLiteral("The set cannot be repaired at once: %1 slices are "
                                            "missing, at most %2 are rebuilt in one repair")
                                 .arg(m)
                                 .arg(MaxRebuiltSlices));
    std::vector<quint32> exponents;
    std::vector<const RecoverySliceAt*> sources;
    for (const auto& [e, at] : set.recovery) {
        if (int(exponents.size()) == m) break;
        exponents.push_back(e);
        sources.push_back(&at);
    }
    std::vector<quint16> solve(size_t(m) * m);
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            solve[size_t(k) * m + j] =
                gf16::power(missing[size_t(j)].constant, exponents[size_t(k)]);
    if (!gf16::invert(solve, m))
        throw OperationError(QStringLiteral("The set cannot be repaired: its recovery slices don't "
                                            "solve for the missing ones"));

    // The files to rebuild, written under hidden names beside them.
    std::vector<std::unique_ptr<QFile>> rebuilt(set.files.size());
    const auto cleanUp = [&] {
        for (size_t f = 0; f < rebuilt.size(); ++f)
            if (rebuilt[f]) {
                rebuilt[f]->close();
                QFile::remove(rebuildPathOf(set, set.files[f]));
            }
    };
    try {
        for (size_t f = 0; f < set.files.size(); ++f) {
            if (check.parts[f].status == PartStatus::Ok) continue;
            rebuilt[f] = std::make_unique<QFile>(rebuildPathOf(set, set.files[f]));
            if (!rebuilt[f]->open(QIODevice::ReadWrite | QIODevice::Truncate))
                throw OperationError(QStringLiteral("Cannot create %1: %2")
                                         .arg(rebuilt[f]->fileName(), rebuilt[f]->errorString()));
        }
        const auto writePiece = [&](size_t f, qint64 sliceIndex, qint64 from, const uchar* bytes,
                                    qint64 len) {
            const qint64 at = sliceIndex * S + from;
            const qint64 n = qBound<qint64>(0, qint64(set.files[f].length) - at, len);
            if (n > 0 && (!rebuilt[f]->seek(at) ||
                          rebuilt[f]->write(reinterpret_cast<const char*>(bytes), n) != n))
                throw OperationError(QStringLiteral("Cannot write %1: %2")
                                         .arg(rebuilt[f]->fileName(), rebuilt[f]->errorString()));
        };

        const qint64 chunk = std::clamp<qint64>((memory / (m + 2)) / 64 * 64, 64, S);
        std::vector<std::unique_ptr<uchar[]>> buffers;
        std::vector<uchar*> sums;
        for (int k = 0; k < m; ++k) {
            buffers.emplace_back(new uchar[size_t(chunk)]);
            sums.push_back(buffers.back().get());
        }
        std::unique_ptr<uchar[]> input(new uchar[size_t(chunk)]);
        std::vector<quint16> factors(static_cast<size_t>(m));
        const qint64 steps = ((S + chunk - 1) / chunk) * qint64(present.size() + 1);
        qint64 step = 0;
        for (qint64 from = 0; from < S; from += chunk) {
            const qint64 len = qMin(chunk, S - from);
            for (int k = 0; k < m; ++k) {
                QFile volume(sources[size_t(k)]->path);
                if (!volume.open(QIODevice::ReadOnly))
                    throw OperationError(QStringLiteral("Cannot read %1: %2")
                                             .arg(volume.fileName(), volume.errorString()));
                readPadded(volume, sources[size_t(k)]->offset + from, len, sums[size_t(k)], len);
            }
            for (const SliceRef& s : present) {
                const FileEntry& f = set.files[s.file];
                QFile file(set.pathOf(f));
                if (!file.open(QIODevice::ReadOnly))
                    throw OperationError(QStringLiteral("Cannot read %1: %2")
                                             .arg(file.fileName(), file.errorString()));
                const qint64 at = s.index * S + from;
                readPadded(file, at, qBound<qint64>(0, qint64(f.length) - at, len), input.get(),
                           len);
                for (int k = 0; k < m; ++k)
                    factors[size_t(k)] = gf16::power(s.constant, exponents[size_t(k)]);
                gf16::multiplyAddMany(input.get(), factors.data(), sums.data(), m, len);
                if (rebuilt[s.file]) writePiece(s.file, s.index, from, input.get(), len);
                ++step;
                if (hooks.progress) hooks.progress(int(step * 100 / steps));
                if (hooks.yield) hooks.yield();
                if (cancel.requested()) {
                    cleanUp();
                    return false;
                }
            }
            for (int j = 0; j < m; ++j) {
                std::fill_n(input.get(), len, 0);
                for (int k = 0; k < m; ++k)
                    gf16::multiplyAdd(solve[size_t(j) * m + k], sums[size_t(k)], input.get(), len);
                writePiece(missing[size_t(j)].file, missing[size_t(j)].index, from, input.get(),
                           len);
            }
        }

        // Each rebuilt file replaces its name only once its bytes match.
        QStringList failed;
        for (size_t f = 0; f < set.files.size(); ++f) {
            if (!rebuilt[f]) continue;
            QFile& out = *rebuilt[f];
            if (!out.flush() || !out.resize(qint64(set.files[f].length)) ||
                ::fsync(out.handle()) != 0)
                throw OperationError(
                    QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
            Md5 md5;
            QByteArray block(
                int(qMin<qint64>(ReadBlock, qMax<qint64>(1, qint64(set.files[f].length)))),
                Qt::Uninitialized);
            out.seek(0);
            for (qint64 n; (n = out.read(block.data(), block.size())) > 0;)
                md5.add(block.constData(), n);
            out.close();
            const QString target = set.pathOf(set.files[f]);
            if (md5.result() != set.files[f].md5) {
                failed.append(check.parts[f].name);
                QFile::remove(out.fileName());
            } else {
                if (std::rename(QFile::encodeName(out.fileName()).constData(),
                                QFile::encodeName(target).constData()) != 0)
                    throw OperationError(
                        systemErrorText(QStringLiteral("Cannot replace"), target, errno));
                check.parts[f].status = PartStatus::Repaired;
                std::fill(check.parts[f].goodSlices.begin(), check.parts[f].goodSlices.end(), true);
            }
            rebuilt[f].reset();
        }
        check.missingSlices = 0;
        for (const PartCheck& p : check.parts)
            check.missingSlices += std::count(p.goodSlices.begin(), p.goodSlices.end(), false);
        if (!failed.isEmpty())
            throw OperationError(
                QStringLiteral("Rebuilt %1 does not match its recorded MD5: left as it was")
                    .arg(failed.join(QStringLiteral(", "))));
    } catch (...) {
        cleanUp();
        throw;
    }
    return true;
}

} // namespace tfs
