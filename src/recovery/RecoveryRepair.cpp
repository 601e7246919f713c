// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RecoveryRepair.h"

#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/RegularFile.h"
#include "recovery/RepairSums.h"
#include "recovery/Tasks.h"
#include "verify/CheckFiles.h"
#include "verify/Crc32Fast.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

namespace tfs {

using namespace par2;

namespace {

// The present slices multiplied into every sum together.
constexpr int Batch = 8;

// Reads up to `count` bytes, fewer only where the file ends or fails.
qint64 readFully(QFile& file, uchar* into, qint64 count) {
    qint64 got = 0;
    for (qint64 n;
         got < count && (n = file.read(reinterpret_cast<char*>(into) + got, count - got)) > 0;)
        got += n;
    return got;
}

} // namespace

QString SetCheck::moreNeededText(bool verb) const {
    const qint64 more = moreNeeded();
    QString text = more == 1 ? QStringLiteral("1 more recovery block")
                             : QStringLiteral("%1 more recovery blocks").arg(more);
    if (verb) text += more == 1 ? QStringLiteral(" is") : QStringLiteral(" are");
    return text + QStringLiteral(" needed");
}

QString SetCheck::whyNotRepairable(bool verb) const {
    return missingSlices > MaxRebuiltSlices ? tooManyMissingText(missingSlices)
                                            : moreNeededText(verb);
}

QString tooManyMissingText(qint64 missing) {
    return QStringLiteral("%1 blocks are missing, more than the %2 that one repair rebuilds")
        .arg(missing)
        .arg(MaxRebuiltSlices);
}

QString repairRefusedBeforeCheck(const RecoverySet& set) {
    qint64 absent = 0;
    for (size_t f = 0; f < set.files.size(); ++f)
        if (!QFileInfo(set.pathOf(set.files[f])).isFile())
            absent += qint64(set.files[f].slices.size());
    return absent > MaxRebuiltSlices ? tooManyMissingText(absent) : QString();
}

bool SetCheck::whole() const {
    return std::all_of(parts.begin(), parts.end(), [](const PartCheck& p) {
        return p.leftAlone || p.status == PartStatus::Ok || p.status == PartStatus::Repaired;
    });
}

namespace {

// The most files checked together, their MD5s in the lanes of registers.
constexpr size_t Lanes = 16;
// What is read of each file at a time: the blocks of all the files of a task
// (1 MiB) stay in the core's own cache while they are hashed and summed.
// With 256 KiB blocks the reads alone took three times the time of the MD5s
// (copied from the page cache into memory rather than into the cache).
constexpr qint64 CheckBlock = 64 << 10;

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
    bool summed = false; // multiplied into the repair's sums as it is read
};

// The slice a scan is in: where it ends and how many bytes it holds of the file.
qint64 sliceLength(const FileScan& scan, qint64 S) {
    return qMin(S, qint64(scan.entry->length) - qint64(scan.slice) * S);
}

// Whether the slice just read whole matches its checksums, padded with
// `zeros` zeros to the slice size. The last slice of a file that matches its
// recorded MD5 needs no padding hashed: its bytes are the file's. The CRC-32
// of the padding is taken at once, its MD5 a block at a time (a slice may be
// far larger than the file): a stop cuts that short, and the slice counts as
// not matching.
bool sliceMatches(const FileScan& scan, qint64 zeros, const std::atomic<bool>& stop) {
    const SliceCheck& expected = scan.entry->slices[scan.slice];
    if (zeros > 0 && scan.slice + 1 == scan.entry->slices.size() &&
        scan.whole.result() == scan.entry->md5)
        return true;
    if ((crc32Combine(scan.crc, 0, zeros) ^ 0xFFFFFFFF) != expected.crc) return false;
    Md5 padded = scan.entry->slices.size() == 1 ? scan.whole : scan.sliceMd5;
    constexpr qint64 Block = 1 << 20;
    for (qint64 left = zeros; left > 0; left -= Block) {
        if (stop) return false;
        padded.addZeros(qMin(left, Block));
    }
    return padded.result() == expected.md5;
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
// stopped meanwhile. `done` counts the bytes read. With `sums`, the files of
// their recorded length are multiplied into `slot` as they are read.
bool checkFiles(const RecoverySet& set, const std::vector<size_t>& which, SetCheck& check,
                std::atomic<qint64>& done, const std::atomic<bool>& stop, RepairSums* sums,
                uchar* slot) {
    const qint64 S = qint64(set.sliceSize);
    std::vector<FileScan> scans(which.size());
    // One buffer per thread, kept from task to task.
    thread_local std::vector<uchar> buffer;
    buffer.resize(which.size() * size_t(CheckBlock));
    const auto bufferOf = [&](size_t i) { return buffer.data() + i * size_t(CheckBlock); };
    for (size_t i = 0; i < which.size(); ++i) {
        FileScan& scan = scans[i];
        scan.entry = &set.files[which[i]];
        scan.part = &check.parts[which[i]];
        scan.part->name = QString::fromUtf8(scan.entry->name);
        scan.part->leftAlone = set.isLeftAlone(which[i]);
        scan.part->goodSlices.assign(scan.entry->slices.size(), false);
        const QString path = set.pathOf(*scan.entry);
        scan.file = std::make_unique<QFile>();
        QString why;
        if (!openRegularFile(*scan.file, path, why)) {
            scan.part->status = PartStatus::Missing;
            scan.done = true;
            scan.file.reset();
            continue;
        }
        scan.size = scan.file->size();
        scan.summed = sums && scan.size == qint64(scan.entry->length);
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
            const qint64 n = readFully(*scan.file, bufferOf(i), qMin(CheckBlock, end - scan.pos));
            if (n <= 0) { // the file ends early: this slice and the rest are missing
                // It was summed as a whole file: it changed while it was read.
                if (scan.summed) sums->spoiled = true;
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
                bytes.push_back(bufferOf(i));
                counts.push_back(scan.got);
            }
            Md5::addEach(md5s.data(), bytes.data(), counts.data(), int(md5s.size()));
        }
        for (size_t i = 0; i < scans.size(); ++i) {
            FileScan& scan = scans[i];
            if (scan.got == 0) continue;
            scan.crc = crc32Fast(bufferOf(i), scan.got, scan.crc);
            if (scan.summed) {
                // In whole prepared blocks, zeros after the bytes read.
                const qint64 blocks = paddedSliceOf(scan.got);
                std::fill(bufferOf(i) + scan.got, bufferOf(i) + blocks, 0);
                const qint64 slice = sums->firstSlice[which[i]] + qint64(scan.slice);
                sums->counted[size_t(slice)] = 1;
                addToSums(*sums, slot, slice, scan.pos - qint64(scan.slice) * S, bufferOf(i),
                          blocks);
            }
            scan.pos += scan.got;
            done += scan.got;
            const qint64 length = sliceLength(scan, S);
            if (scan.pos < qint64(scan.slice) * S + length) continue;
            scan.part->goodSlices[scan.slice] = sliceMatches(scan, S - length, stop);
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
              const CancelToken& cancel, qint64 memory) {
    check = SetCheck{};
    check.recoverySlices = qint64(set.recovery.size());
    check.parts.resize(set.files.size());
    qint64 total = 0;
    for (const FileEntry& f : set.files)
        total += qint64(f.length);
    const std::shared_ptr<RepairSums> sums = planRepairSums(set, memory);

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
            uchar* slot = sums ? sums->takeSlot() : nullptr;
            checkFiles(set, which, check, read, stop, sums.get(), slot);
            if (slot) sums->giveSlot(slot);
        },
        [&](int) {
            if (hooks.progress && total > 0) hooks.progress(int(read * 100 / total));
        },
        hooks, cancel);
    if (!finished) return false;
    for (const PartCheck& part : check.parts)
        check.missingSlices += std::count(part.goodSlices.begin(), part.goodSlices.end(), false);
    if (sums && check.missingSlices > 0 && !sums->spoiled &&
        check.missingSlices <= qint64(sums->exponents.size())) {
        sums->merge();
        check.sums = sums;
    }
    return true;
}

namespace {

// Rebuilds the missing slices into `out` in passes over a stretch of every
// slice: the present slices and the recovery slices used are read (on both
// threads), then in tiles that stay in the caches the sums of the equations
// are formed (each recovery slice plus every present slice times its
// factor) and solved for the missing slices. False when cancelled.
bool rebuildInPasses(const RecoverySet& set, const std::vector<SliceRef>& present,
                     const std::vector<SliceRef>& missing, const std::vector<quint32>& exponents,
                     const std::vector<quint16>& solve, RebuiltFiles& out, const EngineHooks& hooks,
                     const CancelToken& cancel, qint64 memory) {
    const qint64 S = qint64(set.sliceSize);
    const int m = int(missing.size());
    const qint64 P = qint64(present.size());
    const qint64 padded = paddedSliceOf(S);
    const qint64 factorBytes = P * m * qint64(sizeof(gf16::PreparedFactor));
    const bool keepFactors = factorBytes <= memory / 8;
    const qint64 stretch = stretchFor(memory - (keepFactors ? factorBytes : 0), padded, P + 3 * m);
    const auto buffers = [&](qint64 count) {
        std::vector<std::unique_ptr<uchar[]>> made;
        for (qint64 i = 0; i < count; ++i)
            made.emplace_back(new uchar[size_t(stretch)]);
        return made;
    };
    const auto inputs = buffers(P), volumes = buffers(m), sums = buffers(m), outputs = buffers(m);
    std::vector<uchar*> sumAt, outputAt;
    for (int k = 0; k < m; ++k) {
        sumAt.push_back(sums[size_t(k)].get());
        outputAt.push_back(outputs[size_t(k)].get());
    }
    std::vector<gf16::PreparedFactor> factors; // [present * m + k]
    if (keepFactors)
        for (const SliceRef& ref : present)
            for (int k = 0; k < m; ++k)
                factors.push_back(
                    gf16::prepareFactor(gf16::power(ref.constant, exponents[size_t(k)])));
    const gf16::PreparedFactor one = gf16::prepareFactor(1);

    const qint64 passes = (padded + stretch - 1) / stretch;
    for (qint64 pass = 0; pass < passes; ++pass) {
        const qint64 from = pass * stretch;
        const qint64 len = qMin(stretch, padded - from);
        const auto passProgress = [&](double share) {
            if (hooks.progress) hooks.progress(int((double(pass) + share) * 100 / passes));
        };
        const int reads = int(P + m);
        if (!runTasks(
                reads,
                [&](int t, const std::atomic<bool>&) {
                    if (t < P) {
                        const SliceRef& ref = present[size_t(t)];
                        const FileEntry& f = set.files[ref.file];
                        const qint64 at = ref.index * S + from;
                        readPadded(
                            set.pathOf(f), at,
                            std::clamp<qint64>(qMin(qint64(f.length) - at, S - from), 0, len),
                            inputs[size_t(t)].get(), len);
                    } else {
                        const RecoverySliceAt& at = set.recovery.at(exponents[size_t(t - P)]);
                        readPadded(at.path, at.offset + from, qMin(len, S - from),
                                   volumes[size_t(t - P)].get(), len);
                    }
                },
                [&](int done) { passProgress(0.3 * done / reads); }, hooks, cancel))
            return false;
        const int tiles = int((len + TileBytes - 1) / TileBytes);
        const auto tile = [&](int t, const std::atomic<bool>&) {
            const qint64 at = qint64(t) * TileBytes;
            const qint64 bytes = qMin<qint64>(TileBytes, len - at);
            thread_local std::vector<uchar> nibbles;
            thread_local std::vector<gf16::PreparedFactor> own;
            nibbles.resize(size_t(2 * TileBytes * Batch));
            own.resize(keepFactors ? 0 : size_t(m) * Batch);
            for (int k = 0; k < m; ++k) {
                std::fill_n(sumAt[size_t(k)] + at, bytes, 0);
                gf16::prepareSource(volumes[size_t(k)].get() + at, nibbles.data(), bytes);
                gf16::multiplyAddPrepared(one, nibbles.data(), sumAt[size_t(k)] + at, bytes);
            }
            for (qint64 i = 0; i < P; i += Batch) {
                const int batch = int(qMin<qint64>(Batch, P - i));
                for (int b = 0; b < batch; ++b)
                    gf16::prepareSource(inputs[size_t(i + b)].get() + at,
                                        nibbles.data() + 2 * TileBytes * b, bytes);
                if (!keepFactors)
                    for (int k = 0; k < m; ++k)
                        for (int b = 0; b < batch; ++b)
                            own[size_t(k * Batch + b)] = gf16::prepareFactor(
                                gf16::power(present[size_t(i + b)].constant, exponents[size_t(k)]));
                for (int k = 0; k < m; ++k)
                    for (int b = 0; b < batch; ++b)
                        gf16::multiplyAddPrepared(keepFactors ? factors[size_t((i + b) * m + k)]
                                                              : own[size_t(k * Batch + b)],
                                                  nibbles.data() + 2 * TileBytes * b,
                                                  sumAt[size_t(k)] + at, bytes);
            }
            for (int k = 0; k < m; ++k)
                gf16::toWords(sumAt[size_t(k)] + at, bytes);
            solveTile(solve, m, sumAt, at, outputAt, at, bytes, nibbles.data());
        };
        if (!runTasks(
                tiles, tile, [&](int done) { passProgress(0.3 + 0.6 * done / tiles); }, hooks,
                cancel))
            return false;
        for (qint64 i = 0; i < P; ++i)
            if (out.has(present[size_t(i)].file))
                out.write(present[size_t(i)].file, present[size_t(i)].index, from,
                          inputs[size_t(i)].get(), len);
        for (int j = 0; j < m; ++j)
            out.write(missing[size_t(j)].file, missing[size_t(j)].index, from, outputAt[size_t(j)],
                      len);
    }
    return true;
}

} // namespace

bool repairSet(const RecoverySet& set, SetCheck& check, const EngineHooks& hooks,
               const CancelToken& cancel, qint64 memory) {
    if (check.whole()) return true;
    if (!check.repairable())
        throw OperationError(
            QStringLiteral("The set cannot be repaired: %1").arg(check.whyNotRepairable()));

    std::vector<SliceRef> present, missing;
    quint32 slice = 0;
    for (size_t f = 0; f < set.files.size(); ++f)
        for (size_t k = 0; k < set.files[f].slices.size(); ++k, ++slice) {
            const SliceRef ref{f, qint64(k), gf16::inputConstant(slice)};
            (check.parts[f].goodSlices[k] ? present : missing).push_back(ref);
        }
    const int m = int(missing.size());
    // The first m recovery slices, whether the sums were taken while
    // checking (for the first K of them) or are formed now.
    std::vector<quint32> exponents;
    for (const auto& [e, at] : set.recovery) {
        if (int(exponents.size()) == m) break;
        exponents.push_back(e);
    }
    std::vector<quint16> solve(size_t(m) * m);
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            solve[size_t(k) * m + j] =
                gf16::power(missing[size_t(j)].constant, exponents[size_t(k)]);
    // The system solved on a helper thread, a column at a time, so that the
    // event loop turns and a cancel is heard: thousands of slices take minutes.
    std::atomic<int> columns{0};
    bool solved = false;
    if (!runTasks(
            1,
            [&](int, const std::atomic<bool>& stop) {
                solved = gf16::invert(solve, m, [&] {
                    ++columns;
                    return !stop;
                });
            },
            [&](int) {
                if (hooks.progress && m > 0) hooks.progress(columns * 100 / m);
            },
            hooks, cancel))
        return false;
    if (!solved)
        throw OperationError(QStringLiteral("The set cannot be repaired: its recovery slices don't "
                                            "solve for the missing ones"));

    RebuiltFiles out(set, check);
    // The sums are spent by the repair, whichever way it goes.
    const std::shared_ptr<RepairSums> sums = std::exchange(check.sums, nullptr);
    const bool rebuilt =
        sums && sumsCover(*sums, set, check)
            ? rebuildFromSums(set, check, *sums, missing, solve, out, hooks, cancel)
            : rebuildInPasses(set, present, missing, exponents, solve, out, hooks, cancel, memory);
    if (!rebuilt) return false;
    out.finish(check);
    return true;
}

} // namespace tfs
