#pragma once

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

// A part size: a whole number and one of the units B, KB, MB, GB (any case),
// in bytes; -1 when the text is none.
qint64 partSizeOf(const QString& text);

// The preset with that caption (any case, blanks ignored: "1.2MB" is
// "1.2 MB"), or nullptr.
const tfs::MediaPreset* presetNamed(const QString& name);

} // namespace cli
