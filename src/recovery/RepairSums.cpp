// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RepairSums.h"

#include "recovery/Gf16.h"
#include "recovery/Tasks.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace tfs {

namespace {

// Recovery slices summed for beyond the damage known before the check: a
// file the check then finds damaged is still repaired in one read.
constexpr qint64 Margin = 1;
// What of every sum each task of the repair takes: the slices to take out or
// add, the recovery slices, then the solve, a tile at a time.
constexpr qint64 Stripe = 1 << 20;
constexpr qint64 CopyBlock = 4 << 20;

} // namespace

uchar* RepairSums::takeSlot() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (free_.empty()) {
        const size_t bytes = exponents.size() * size_t(padded);
        slots_.emplace_back(new uchar[bytes]());
        return slots_.back().get();
    }
    uchar* slot = free_.back();
    free_.pop_back();
    return slot;
}

void RepairSums::giveSlot(uchar* slot) {
    const std::lock_guard<std::mutex> guard(lock_);
    free_.push_back(slot);
}

void RepairSums::merge() {
    const qint64 bytes = qint64(exponents.size()) * padded;
    sums.assign(size_t(bytes), 0);
    for (const auto& slot : slots_)
        for (qint64 i = 0; i < bytes; i += 8) { // padded: a multiple of 64
            quint64 a, b;
            std::memcpy(&a, sums.data() + i, 8);
            std::memcpy(&b, slot.get() + i, 8);
            a ^= b;
            std::memcpy(sums.data() + i, &a, 8);
        }
    // The threads summed in the prepared layout.
    gf16::toWords(sums.data(), bytes);
    slots_.clear();
    free_.clear();
}

std::shared_ptr<RepairSums> planRepairSums(const RecoverySet& set, qint64 memory) {
    // Two threads' sums of one slice each must fit (a hostile set may claim
    // any slice size).
    if (set.sliceSize > quint64(memory / 2)) return {};
    qint64 known = 0, absent = 0;
    for (const par2::FileEntry& f : set.files) {
        const QFileInfo info(set.pathOf(f));
        const qint64 slices = qint64(f.slices.size());
        if (!info.isFile()) absent += slices;
        if (!info.isFile() || info.size() != qint64(f.length)) known += slices;
    }
    const qint64 available = qint64(set.recovery.size());
    if (known == 0 || absent > available) return {};
    const qint64 padded = paddedSliceOf(qint64(set.sliceSize));
    const qint64 count =
        std::min({known + Margin, available, memory / (2 * padded), qint64(MaxRebuiltSlices)});
    if (count < 1) return {};
    auto sums = std::make_shared<RepairSums>();
    sums->setId = set.setId;
    sums->sliceSize = qint64(set.sliceSize);
    sums->padded = padded;
    for (const auto& [exponent, at] : set.recovery) {
        if (qint64(sums->exponents.size()) == count) break;
        sums->exponents.push_back(exponent);
    }
    qint64 first = 0;
    for (const par2::FileEntry& f : set.files) {
        sums->firstSlice.push_back(first);
        first += qint64(f.slices.size());
    }
    sums->counted.assign(size_t(first), 0);
    return sums;
}

void addToSums(const RepairSums& sums, uchar* slot, qint64 slice, qint64 at, const uchar* bytes,
               qint64 n) {
    thread_local std::vector<uchar> nibbles;
    nibbles.resize(size_t(2 * TileBytes));
    const quint16 constant = gf16::inputConstant(quint32(slice));
    std::vector<gf16::PreparedFactor> factors;
    for (quint32 exponent : sums.exponents)
        factors.push_back(gf16::prepareFactor(gf16::power(constant, exponent)));
    for (qint64 from = 0; from < n; from += TileBytes) {
        const qint64 bytesNow = qMin(TileBytes, n - from);
        gf16::prepareSource(bytes + from, nibbles.data(), bytesNow);
        for (size_t k = 0; k < factors.size(); ++k)
            gf16::multiplyAddPrepared(factors[k], nibbles.data(),
                                      slot + qint64(k) * sums.padded + at + from, bytesNow);
    }
}

bool sumsCover(const RepairSums& sums, const RecoverySet& set, const SetCheck& check) {
    return sums.setId == set.setId && sums.sliceSize == qint64(set.sliceSize) &&
           sums.counted.size() == size_t(set.sliceCount()) && !sums.spoiled && !sums.sums.empty() &&
           check.missingSlices <= qint64(sums.exponents.size());
}

bool rebuildFromSums(const RecoverySet& set, const SetCheck& check, RepairSums& sums,
                     const std::vector<SliceRef>& missing, const std::vector<quint16>& solve,
                     RebuiltFiles& out, const EngineHooks& hooks, const CancelToken& cancel) {
    const qint64 S = qint64(set.sliceSize);
    const int m = int(missing.size());
    // The slices whose part in the sums is not what the check found: damaged
    // ones that were multiplied in, good ones of files that were left out.
    // Multiplying them in (again) puts that right, XOR being the addition.
    std::vector<SliceRef> wrong;
    for (size_t f = 0; f < set.files.size(); ++f)
        for (size_t k = 0; k < set.files[f].slices.size(); ++k) {
            const qint64 slice = sums.firstSlice[f] + qint64(k);
            if (bool(sums.counted[size_t(slice)]) != bool(check.parts[f].goodSlices[k]))
                wrong.push_back(SliceRef{f, qint64(k), gf16::inputConstant(quint32(slice))});
        }
    std::vector<uchar*> sumAt;
    for (int k = 0; k < m; ++k)
        sumAt.push_back(sums.sums.data() + qint64(k) * sums.padded);

    const int stripes = int((sums.padded + Stripe - 1) / Stripe);
    const auto stripe = [&](int t, const std::atomic<bool>&) {
        const qint64 at = qint64(t) * Stripe;
        const qint64 len = qMin(Stripe, sums.padded - at);
        thread_local std::vector<uchar> buffer, nibbles, tile;
        buffer.resize(size_t(Stripe));
        nibbles.resize(size_t(2 * TileBytes));
        tile.resize(size_t(m * TileBytes));
        for (const SliceRef& ref : wrong) {
            const par2::FileEntry& f = set.files[ref.file];
            const qint64 from = ref.index * S + at;
            readPadded(set.pathOf(f), from,
                       qMax<qint64>(0, std::min({qint64(f.length) - from, len, S - at})),
                       buffer.data(), len);
            for (int k = 0; k < m; ++k)
                gf16::multiplyAdd(gf16::power(ref.constant, sums.exponents[size_t(k)]),
                                  buffer.data(), sumAt[size_t(k)] + at, len);
        }
        for (int k = 0; k < m; ++k) {
            const RecoverySliceAt& volume = set.recovery.at(sums.exponents[size_t(k)]);
            readPadded(volume.path, volume.offset + at, qMax<qint64>(0, qMin(len, S - at)),
                       buffer.data(), len);
            gf16::multiplyAdd(1, buffer.data(), sumAt[size_t(k)] + at, len);
        }
        std::vector<uchar*> tileAt;
        for (int j = 0; j < m; ++j)
            tileAt.push_back(tile.data() + qint64(j) * TileBytes);
        for (qint64 from = at; from < at + len; from += TileBytes) {
            const qint64 bytes = qMin(TileBytes, at + len - from);
            solveTile(solve, m, sumAt, from, tileAt, 0, bytes, nibbles.data());
            for (int j = 0; j < m; ++j)
                std::copy_n(tileAt[size_t(j)], bytes, sumAt[size_t(j)] + from);
        }
    };
    if (!runTasks(
            stripes, stripe,
            [&](int done) {
                if (hooks.progress) hooks.progress(done * 100 / stripes);
            },
            hooks, cancel))
        return false;

    // The rebuilt files: their good slices copied, the missing ones solved.
    std::vector<uchar> copy(size_t(qMin(CopyBlock, sums.padded)));
    for (int j = 0; j < m; ++j)
        out.write(missing[size_t(j)].file, missing[size_t(j)].index, 0, sumAt[size_t(j)], S);
    for (size_t f = 0; f < set.files.size(); ++f) {
        if (!out.has(f)) continue;
        const par2::FileEntry& entry = set.files[f];
        for (size_t k = 0; k < entry.slices.size(); ++k) {
            if (!check.parts[f].goodSlices[k]) continue;
            for (qint64 from = 0; from < S; from += qint64(copy.size())) {
                const qint64 at = qint64(k) * S + from;
                const qint64 len = qMin(qint64(copy.size()), S - from);
                readPadded(set.pathOf(entry), at,
                           std::clamp<qint64>(qint64(entry.length) - at, 0, len), copy.data(), len);
                out.write(f, qint64(k), from, copy.data(), len);
            }
        }
    }
    return true;
}

} // namespace tfs
