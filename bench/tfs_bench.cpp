// SPDX-License-Identifier: GPL-3.0-or-later
// tfs_bench: runs one engine operation the way the window runs it (same block
// sizes, a progress hook that keeps the shown value, one event-loop turn per
// block through QCoreApplication::processEvents) and prints one RESULT line.
//
//   tfs_bench split SOURCE DEST_FOLDER [PART_SIZE]
//   tfs_bench join CHOSEN_PART OUTPUT
//   tfs_bench crc FILE
//   tfs_bench crc-reference FILE      (byte-at-a-time crc32Update, same reads)
//   tfs_bench compare FIRST SECOND
//
// TFS_BENCH_YIELD=none replaces the event-loop turn by nothing (to measure
// what the turn costs); the turns are still counted.
// TFS_BENCH_CHECKS=off splits without taking the parts' CRC-32 (the window's
// split takes them, for the check files); TFS_BENCH_CHECKS=on joins taking
// every part's CRC-32, as a join with an .sfv beside the parts does (and
// prints the joined file's CRC-32, combined from the parts').
#include "TurnMeter.h"

#include "core/OperationError.h"
#include "core/OperationState.h"
#include "join/JoinEngine.h"
#include "parts/Naming.h"
#include "split/SplitEngine.h"
#include "verify/CheckFiles.h"
#include "verify/CompareEngine.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <memory>

using namespace tfs;

namespace {

TurnMeter meter;
bool eventTurns = true;
QByteArray checks; // TFS_BENCH_CHECKS

void turn() {
    meter.turn();
    if (eventTurns) QCoreApplication::processEvents();
}

void progress(int percent) { meter.progress(percent); }

int usage() {
    std::fprintf(stderr, "usage: tfs_bench split SOURCE DEST_FOLDER [PART_SIZE]\n"
                         "       tfs_bench join CHOSEN_PART OUTPUT\n"
                         "       tfs_bench crc|crc-reference FILE\n"
                         "       tfs_bench compare FIRST SECOND\n");
    return 2;
}

void print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString hex(quint32 v) { return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')); }

// fileCrc32's loop with the byte-at-a-time update: what the CRC costs without
// the folding kernels.
quint32 referenceFileCrc32(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw OperationError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    const std::unique_ptr<uchar[]> block(new uchar[CrcBlockSize]);
    const qint64 size = file.size();
    qint64 done = 0;
    quint32 crc = CrcInitialValue;
    for (;;) {
        const qint64 n = file.read(reinterpret_cast<char*>(block.get()), CrcBlockSize);
        if (n < 0) throw OperationError(QStringLiteral("Cannot read %1").arg(path));
        done += n;
        crc = crc32Update(block.get(), n, crc);
        turn();
        progress(splitProgress(done, size));
        if (n != CrcBlockSize) break;
    }
    return crc ^ 0xFFFFFFFF;
}

int run(const QStringList& args) {
    const QString op = args.value(0);
    if (op == QLatin1String("split") && (args.size() == 3 || args.size() == 4)) {
        SplitState state;
        state.SourceFilePath = args[1];
        state.SourceFileSize = QFileInfo(args[1]).size();
        state.SplitDestFolder = withTrailingSeparator(args[2]);
        const qint64 partSize = args.size() == 4 ? args[3].toLongLong() : SplitBlockSize;
        SplitHooks hooks;
        hooks.progress = progress;
        hooks.yield = turn;
        bool refused = false;
        hooks.refused = [&](const QStringList&) { refused = true; };
        hooks.partCrcs = checks != "off";
        meter.start();
        splitIntoParts(state, args[1], partSize, hooks);
        meter.stop();
        if (refused) {
            std::fprintf(stderr, "tfs_bench: the split was refused (free space)\n");
            return 1;
        }
        print(resultLine(op, meter, state.SourceFileSize,
                         QStringLiteral("parts=%1").arg(state.SplitPartPaths.size())));
        return 0;
    }
    if (op == QLatin1String("join") && args.size() == 3) {
        JoinState state;
        JoinHooks hooks;
        hooks.progress = progress;
        hooks.yield = turn;
        hooks.partCrcs = checks == "on";
        meter.start();
        joinParts(state, readPartSet(args[1]), args[2], hooks);
        meter.stop();
        quint32 whole = 0;
        for (const PartCrc& part : std::as_const(state.JoinPartCrcs))
            whole = crc32Combine(whole, part.crc, part.size);
        print(resultLine(op, meter, QFileInfo(args[2]).size(),
                         hooks.partCrcs ? QStringLiteral("crc=%1").arg(hex(whole)) : QString()));
        return 0;
    }
    if ((op == QLatin1String("crc") || op == QLatin1String("crc-reference")) && args.size() == 2) {
        const CancelToken never;
        CrcHooks hooks;
        hooks.progress = progress;
        hooks.yield = turn;
        meter.start();
        const quint32 crc = op == QLatin1String("crc") ? fileCrc32(args[1], hooks, never).crc
                                                       : referenceFileCrc32(args[1]);
        meter.stop();
        const char* kernel = crc32KernelName(crc32Kernels().back());
        print(resultLine(op, meter, QFileInfo(args[1]).size(),
                         QStringLiteral("crc=%1 kernel=%2")
                             .arg(hex(crc), op == QLatin1String("crc") ? kernel : "table")));
        return 0;
    }
    if (op == QLatin1String("compare") && args.size() == 3) {
        CancelToken never;
        EngineHooks hooks;
        hooks.progress = progress;
        hooks.yield = turn;
        meter.start();
        const bool identical = compareFiles(args[1], args[2], hooks, never).identical;
        meter.stop();
        print(resultLine(op, meter, QFileInfo(args[1]).size(),
                         QStringLiteral("identical=%1").arg(identical ? 1 : 0)));
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    eventTurns = qgetenv("TFS_BENCH_YIELD") != "none";
    checks = qgetenv("TFS_BENCH_CHECKS");
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    try {
        return run(args);
    } catch (const OperationError& e) {
        std::fprintf(stderr, "tfs_bench: %s\n", qPrintable(e.text()));
        return 1;
    }
}
