// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for what the join derives from names it doesn't control: the
// chosen part's name (base path, output name, list name) and the content of a
// part list file (the missing-part scan). The first line of the input is the
// chosen part's file name, the rest is the list file's content. The whole
// input is also read as an .sfv and as a .crc check file.
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "parts/PartSet.h"
#include "verify/CheckFiles.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace tfs;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// Both check-file parsers: what they take is bounded and well formed, and
// what they take they read back the same from what the writers make of it.
template <class Parse> auto parsed(const QByteArray& bytes, Parse parse) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return parse(in);
}

void checkFiles(const QByteArray& input) {
    const SfvContent sfv = parsed(input, parseSfv);
    check(sfv.error.isEmpty() || sfv.entries.isEmpty(), "an unreadable .sfv gives no entries");
    for (const SfvEntry& e : sfv.entries)
        check(!e.name.isEmpty() && !e.name.contains(QLatin1Char('/')) &&
                  !e.name.contains(QLatin1Char('\\')) && e.name != QStringLiteral(".."),
              ".sfv entries are bare names");
    if (sfv.error.isEmpty())
        check(parsed(sfvBytes(sfv.entries), parseSfv).entries == sfv.entries,
              ".sfv entries written read back the same");
    const CrcFileContent crc = parsed(input, parseCrcFile);
    if (crc.error.isEmpty()) {
        check(crc.size >= 0, ".crc size is a byte count");
        const CrcFileContent back =
            parsed(crcFileBytes(crc.fileName, crc.size, crc.crc), parseCrcFile);
        check(back.error.isEmpty() && back.fileName == crc.fileName && back.size == crc.size &&
                  back.crc == crc.crc,
              ".crc written reads back the same");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkFiles(input);
    const qsizetype nl = input.indexOf('\n');
    const QString chosenName = QString::fromUtf8(nl < 0 ? input : input.left(nl));
    const QByteArray listContent = nl < 0 ? QByteArray() : input.mid(nl + 1);

    const QString folder = workDir().path() + QStringLiteral("/set/");
    const QString chosen = folder + chosenName;

    // Derivations stay inside the chosen part's folder and keep their shape.
    const QString base = basePathOf(chosen);
    check(chosen.startsWith(base), "base path is a prefix of the chosen path");
    check(base.startsWith(folder) || !chosenName.contains(QLatin1Char('/')),
          "base path stays in the chosen folder");
    const QString listName = joinListNameOf(chosen);
    check(listName.endsWith(QStringLiteral(".txt")), "list name ends in .txt");
    if (!chosenName.contains(QLatin1Char('/'))) {
        check(!listName.contains(QLatin1Char('/')), "list name is a bare name");
        check(!joinOutputNameOf(chosen).contains(QLatin1Char('/')), "output name is a bare name");
    }
    check(joinPartPath(base, 1).startsWith(base), "part path extends the base path");
    // A part's ordinal names that part again in one of the two numberings.
    if (const qint64 ordinal = ordinalOfPart(chosen))
        check(joinPartPath(base, ordinal, PartNumbering::Ours) == chosen ||
                  joinPartPath(base, ordinal, PartNumbering::Plain) == chosen,
              "an ordinal names its part again");

    // The scan reads the list beside the chosen part and only tests names.
    if (chosenName.isEmpty() || chosenName.contains(QLatin1Char('/')) ||
        chosenName.contains(QChar(0)) || listName.size() > 200)
        return 0;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QFile list(folder + listName);
    if (!list.open(QIODevice::WriteOnly)) return 0;
    list.write(listContent);
    list.close();

    const PartSet set = readPartSet(chosen);
    check(set.basePath() == base && set.listPath() == folder + listName,
          "the set read lies where the names derive");
    JoinState state;
    try {
        scanForMissingParts(state, set);
    } catch (const OperationError&) {
        return 0;
    }
    check(state.JoinListName == listName, "scan uses the derived list name");
    check(state.JoinMissingParts.size() <= state.JoinListEntries.size(), "missing is a subset");
    for (const QString& m : std::as_const(state.JoinMissingParts))
        check(m.endsWith(QLatin1Char(' ')), "missing entries end with a blank");
    for (const QString& e : std::as_const(state.JoinListEntries))
        check(!e.contains(QLatin1Char('\n')) && !e.contains(QLatin1Char('\r')),
              "entries are lines");
    check(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size() ==
              1,
          "the scan creates nothing");
    return 0;
}
