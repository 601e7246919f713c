// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

namespace tfs {
struct MediaPreset;
}

// The modes of the command line, on the window's engines. Each returns the
// exit status (Console.h); an OperationError that leaves one has been cleaned up
// after (nothing left behind) and is reported by the caller.
namespace cli {

// --split FILE (--size N<unit> | --preset NAME | --parts N) [--into DIR]
// --split - --name NAME (--size N<unit> | --preset NAME) [--into DIR]
struct SplitRequest {
    QString source;   // "-": standard input
    QString size;     // "700MB", "1440KB", ...: empty with a preset
    QString preset;   // a preset's caption
    QString into;     // empty: the source's folder (the current one for standard input)
    int recovery = 0; // percent of the parts' size written as recovery data (0: none)
    qint64 parts = 0; // above 0: exactly this many parts
    QString name;     // the name of the file that standard input stands for
};
int split(const SplitRequest& request);

// --join PART [--into DIR|-] [--force]; "-" writes the joined bytes to
// standard output.
int join(const QString& part, const QString& into, bool force);

// --checksum FILE
int checksum(const QString& path);

// --compare FILE1 FILE2
int compare(const QString& first, const QString& second);

// --verify PART|SFV: every part of the set that its .sfv names, one line
// each on standard output: the part's file name, then OK, BAD or MISSING.
int verify(const QString& argument);

// --repair PART|LIST|PAR2: rebuilds the set's missing and damaged parts from
// its recovery data; one line per part: its name, then OK, REPAIRED,
// MISSING or BAD.
int repair(const QString& argument);

// --verify where the set has recovery data and no .sfv: the parts checked
// against it, one line each, and whether the damage can be repaired.
int verifyWithRecovery(const QString& argument);

// Whether there are recovery files (.par2) for the set `path` belongs to.
bool hasRecoveryData(const QString& path);

// Before a join: checks the set against its recovery data, if it has any,
// and repairs what the data covers, naming each rebuilt part; when it can't,
// says how many more recovery blocks it would need, and gives the parts left
// damaged or missing in `unrepaired` (ordinal -> name). False when
// interrupted.
bool repairBeforeJoin(const QString& chosen, QMap<qint64, QString>& unrepaired);

// A recovery percentage: "10%" or "10", 1 to 100; -1 otherwise.
int recoveryPercentOf(const QString& text);

// A part size: a whole number and one of the units B, KB, MB, GB (any case),
// in bytes; -1 when the text is none.
qint64 partSizeOf(const QString& text);

// The preset with that caption (any case, blanks ignored: "1.2MB" is
// "1.2 MB"), or nullptr.
const tfs::MediaPreset* presetNamed(const QString& name);

} // namespace cli
