// SPDX-License-Identifier: GPL-3.0-or-later
// tfs_recovery_bench: the recovery data's costs, one RESULT line each.
//
//   tfs_recovery_bench kernels            GF(2^16) multiply-add throughput of
//                                         each kernel of ours and of
//                                         gf-complete's w=16 field, and MD5's:
//                                         ours (one stream, eight at once),
//                                         libcrypto's and Qt's (GB/s, one thread)
//   tfs_recovery_bench create FOLDER NAME PERCENT
//                                         recovery files over NAME.001, ... in FOLDER,
//                                         given the parts' CRC-32s as a split gives them
//   tfs_recovery_bench repair FILE        checks and repairs the set FILE belongs to
#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/Md5.h"
#include "recovery/RecoveryRepair.h"
#include "recovery/RecoverySet.h"
#include "recovery/RecoveryWriter.h"
#include "verify/Crc32Fast.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <openssl/evp.h>
#include <vector>
extern "C" {
#include <gf_complete.h>
}

using namespace tfs;

namespace {

// GB/s of `work` over `bytes` bytes, repeated for about half a second.
double throughput(qint64 bytes, const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    qint64 rounds = 0;
    do {
        work();
        ++rounds;
    } while (clock.nsecsElapsed() < 500000000);
    return double(bytes) * double(rounds) / double(clock.nsecsElapsed());
}

int kernels() {
    const qint64 size = 32 << 10; // stays in the caches, as the tiles of the real work do
    std::vector<uchar> src(static_cast<size_t>(size)), dst(static_cast<size_t>(size));
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = uchar(i * 2654435761u >> 13);
    for (gf16::Kernel kernel : gf16::kernels())
        std::printf("RESULT gf16 %s %.2f GB/s\n", gf16::kernelName(kernel), throughput(size, [&] {
                        gf16::multiplyAddWith(kernel, 0x8805, src.data(), dst.data(), size);
                    }));
    {
        // The prepared layout the recovery data is made in: the source's
        // nibbles once, then one product into an accumulator.
        std::vector<uchar> nibbles(static_cast<size_t>(2 * size));
        gf16::prepareSource(src.data(), nibbles.data(), size);
        const gf16::PreparedFactor factor = gf16::prepareFactor(0x8805);
        std::printf("RESULT gf16 prepared-nibbles %.2f GB/s\n", throughput(size, [&] {
                        gf16::multiplyAddPrepared(factor, nibbles.data(), dst.data(), size);
                    }));
    }
    gf_t gf;
    if (gf_init_easy(&gf, 16)) {
        std::printf("RESULT gf16 gf-complete-w16 %.2f GB/s\n", throughput(size, [&] {
                        gf.multiply_region.w32(&gf, src.data(), dst.data(), 0x8805, int(size), 1);
                    }));
        // The same products as ours?
        std::vector<uchar> a(4096, 0), b(4096, 0);
        gf.multiply_region.w32(&gf, src.data(), a.data(), 0x8805, 4096, 1);
        gf16::multiplyAdd(0x8805, src.data(), b.data(), 4096);
        std::printf("RESULT gf16 gf-complete-agrees %s\n", a == b ? "yes" : "no");
        gf_free(&gf, 0);
    }
    const qint64 md5Size = 64 << 20;
    QByteArray data(md5Size, 'x');
    for (qint64 i = 0; i < md5Size; ++i)
        data[i] = char(i * 2654435761u >> 11);
    std::printf("RESULT md5 ours %.2f GB/s\n", throughput(md5Size, [&] { (void)Md5::of(data); }));
    for (int streams : {8, 16}) {
        // Several buffers at once, as the parts of a set are taken.
        const qint64 each = md5Size / streams;
        std::vector<Md5> md5s(static_cast<size_t>(streams));
        std::vector<Md5*> all;
        std::vector<const uchar*> from;
        std::vector<qint64> counts;
        for (int k = 0; k < streams; ++k) {
            all.push_back(&md5s[size_t(k)]);
            from.push_back(reinterpret_cast<const uchar*>(data.constData()) + k * each);
            counts.push_back(each);
        }
        std::printf("RESULT md5 ours-%d-streams %.2f GB/s\n", streams, throughput(md5Size, [&] {
                        Md5::addEach(all.data(), from.data(), counts.data(), streams);
                    }));
    }
    std::printf("RESULT md5 libcrypto %.2f GB/s\n", throughput(md5Size, [&] {
                    unsigned char digest[16];
                    unsigned int length = 0;
                    EVP_Digest(data.constData(), size_t(md5Size), digest, &length, EVP_md5(),
                               nullptr);
                }));
    std::printf("RESULT md5 qt %.2f GB/s\n", throughput(md5Size, [&] {
                    (void)QCryptographicHash::hash(data, QCryptographicHash::Md5);
                }));
    return 0;
}

int create(const QString& folder, const QString& name, int percent) {
    QStringList parts;
    QList<qint64> sizes;
    const QString dir = QDir(folder).absolutePath() + QLatin1Char('/');
    for (const QString& entry : QDir(dir).entryList({name + QStringLiteral(".[0-9][0-9][0-9]*")},
                                                    QDir::Files, QDir::Name)) {
        parts.append(entry);
        sizes.append(QFileInfo(dir + entry).size());
    }
    const RecoveryPlan plan = planRecovery(name, sizes, percent);
    // The split hands over the parts' CRC-32s, which its copy takes for the
    // check files: they are taken here before the clock starts.
    QList<PartCrc> crcs;
    for (const QString& part : parts) {
        QFile file(dir + part);
        if (!file.open(QIODevice::ReadOnly)) return 2;
        const QByteArray bytes = file.readAll();
        crcs.append(
            {crc32Fast(bytes.constData(), bytes.size(), 0xFFFFFFFF) ^ 0xFFFFFFFF, bytes.size()});
    }
    QElapsedTimer clock;
    clock.start();
    CancelToken cancel;
    writeRecoveryFiles(dir, parts, plan, EngineHooks{}, cancel, RecoveryMemory, crcs);
    std::printf("RESULT create %.3f s (%d parts, %u recovery slices of %llu bytes)\n",
                double(clock.nsecsElapsed()) / 1e9, int(parts.size()), plan.sliceCount,
                static_cast<unsigned long long>(plan.sliceSize));
    return 0;
}

int repair(const QString& file) {
    QElapsedTimer clock;
    clock.start();
    const RecoverySet set = readRecoverySet(recoveryFilesFor(QFileInfo(file).absoluteFilePath()));
    SetCheck check;
    CancelToken cancel;
    checkSet(set, check, EngineHooks{}, cancel);
    const double checked = double(clock.nsecsElapsed()) / 1e9;
    repairSet(set, check, EngineHooks{}, cancel);
    std::printf("RESULT repair %.3f s (checked in %.3f s, whole: %s)\n",
                double(clock.nsecsElapsed()) / 1e9, checked, check.whole() ? "yes" : "no");
    return check.whole() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.value(0) == QLatin1String("kernels")) return kernels();
        if (args.value(0) == QLatin1String("create") && args.size() == 4)
            return create(args[1], args[2], args[3].toInt());
        if (args.value(0) == QLatin1String("repair") && args.size() == 2) return repair(args[1]);
    } catch (const OperationError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    std::fprintf(stderr,
                 "usage: tfs_recovery_bench kernels | create FOLDER NAME PERCENT | repair FILE\n");
    return 2;
}
