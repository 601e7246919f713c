// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for recovery files from anywhere: every input is read as a
// PAR 2.0 index file beside three small parts, then, when it holds a usable
// set, checked against them. Nothing may crash, hang or write a file, and a
// set that is read must stay inside the format's limits.
#include "core/OperationError.h"
#include "recovery/RecoveryRepair.h"
#include "recovery/RecoverySet.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tfs;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    static const bool made = [&] {
        for (int i = 1; i <= 3; ++i)
            writeFile(folder + QStringLiteral("movie.avi.00%1").arg(i),
                      QByteArray(1000 + i, char('a' + i)));
        return true;
    }();
    (void)made;
    const QString index = folder + QStringLiteral("movie.avi.par2");
    writeFile(index, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    try {
        const RecoverySet set = readRecoverySet({index});
        check(set.sliceSize > 0 && set.sliceSize % 4 == 0, "slice size");
        check(set.sliceCount() <= qint64(par2::MaxSlices), "slice count");
        for (const auto& [exponent, at] : set.recovery)
            check(exponent <= par2::MaxExponent, "exponent");
        for (const par2::FileEntry& f : set.files)
            check(par2::isPlainFileName(f.name), "file name");
        SetCheck result;
        CancelToken cancel;
        checkSet(set, result, EngineHooks{}, cancel);
        check(result.parts.size() == set.files.size(), "a verdict per file");
    } catch (const OperationError&) {
    }
    isOurRecoveryFile(index, [](const QString&) { return true; });
    check(QDir(folder).entryList(QDir::Files | QDir::Hidden) == before, "no file written");
    return 0;
}
