// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/LookAlikeNames.h"
#include "core/OperationError.h"
#include "presets/Presets.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace tfs;

namespace {

const char* const ModeOptions[] = {"split", "join", "checksum", "compare", "verify", "repair"};

// A usage error: the reason and the hint, status 2.
struct UsageError {
    QString text;
};

void require(bool condition, const QString& text) {
    if (!condition) throw UsageError{text};
}

// The options that take a value or are a switch, each given at most once.
const char* const SettingOptions[] = {"size", "preset", "parts",   "name",
                                      "into", "force",  "recovery"};

#if defined(PATH_MAX) && defined(NAME_MAX)
// The current folder, however long its path (getcwd() into a buffer of
// PATH_MAX bytes, as QDir does, fails past it); empty when it can't be told.
QByteArray currentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}
#endif

// A path the system can't open: longer than it allows (in all, or a name
// in it), read from the folder it is in. Refused naming the whole path,
// rather than taken for a file that isn't there. `what`: "Cannot open",
// "Cannot write into".
void requireWithinPathLimits(const QString& path, const QString& what) {
#if defined(PATH_MAX) && defined(NAME_MAX)
    QByteArray whole = QFile::encodeName(path);
    if (!QFileInfo(path).isAbsolute()) whole = currentFolder() + '/' + whole;
    bool tooLong = whole.size() >= PATH_MAX;
    for (const QByteArray& name : whole.split('/'))
        tooLong = tooLong || name.size() > NAME_MAX;
    if (tooLong)
        throw OperationError(
            systemErrorText(what, QDir::cleanPath(QFile::decodeName(whole)), ENAMETOOLONG));
#else
    Q_UNUSED(path);
    Q_UNUSED(what);
#endif
}

QString presetCaptions() {
    QStringList captions;
    for (const MediaPreset& preset : mediaPresets())
        captions.append(preset.caption);
    return captions.join(QStringLiteral(", "));
}

// The usage by the program's own name (not the path it was started by),
// then the options as the parser describes them.
QString helpText(const QCommandLineParser& parser) {
    const QString usage = QStringLiteral(
        "Usage: tarvello-file-splitter [FILE]\n"
        "       tarvello-file-splitter --split FILE (--size N<unit> | --preset NAME | --parts N)\n"
        "                              [--into DIR] [--recovery P%]\n"
        "       tarvello-file-splitter --split - --name NAME (--size N<unit> | --preset NAME)\n"
        "                              [--into DIR] [--recovery P%]\n"
        "       tarvello-file-splitter --join PART [--into DIR | --into -] [--force]\n"
        "       tarvello-file-splitter --checksum FILE\n"
        "       tarvello-file-splitter --compare FILE1 FILE2\n"
        "       tarvello-file-splitter --verify PART|SFV\n"
        "       tarvello-file-splitter --repair PART|LIST|PAR2\n"
        "\n"
        "Tarvello File Splitter cuts a file into numbered parts (name.001, name.002, ...),\n"
        "joins such sets back, computes a file's CRC-32, compares two files and checks a\n"
        "set's parts against its .sfv. Without options it opens its window, with FILE\n"
        "loaded in the panel that fits it.\n"
        "\n"
        "A join checks the parts against the set's .sfv and the joined file against its\n"
        ".crc when they are beside the parts, and repairs the set first from its recovery\n"
        "data (.par2) when that covers the damage.\n"
        "\n"
        "Exit status: 0 done, identical or every part OK; 1 different, damaged or parts\n"
        "missing; 2 refused or failed (nothing is left behind, but what went to standard\n"
        "output stays there); 130 interrupted by Ctrl+C (what was written is removed).\n");
    const QString generated = parser.helpText();
    const qsizetype options = generated.indexOf(QStringLiteral("Options:"));
    return usage + QLatin1Char('\n') + generated.mid(options).trimmed();
}

// Refuses the setting options that don't go with the mode.
void requireOnly(const QCommandLineParser& parser, const QString& mode,
                 const QStringList& allowed) {
    for (const char* option : SettingOptions)
        require(!parser.isSet(QLatin1String(option)) || allowed.contains(QLatin1String(option)),
                QStringLiteral("--%1 does not go with --%2").arg(QLatin1String(option), mode));
}

// The file, and the folder written into (standard input's parts go to the
// current one when no --into names another), within the system's limits.
void requireOpenable(const QCommandLineParser& parser, const QString& file) {
    if (file != QLatin1String("-")) requireWithinPathLimits(file, QStringLiteral("Cannot open"));
    QString into = parser.value(QStringLiteral("into"));
    if (into.isEmpty() && file == QLatin1String("-")) into = QStringLiteral(".");
    if (!into.isEmpty() && into != QLatin1String("-"))
        requireWithinPathLimits(into, QStringLiteral("Cannot write into"));
}

// --split FILE or --split -: the request checked, then the split.
int split(const QCommandLineParser& parser, const QString& file) {
    requireOnly(parser, QStringLiteral("split"),
                {QStringLiteral("size"), QStringLiteral("preset"), QStringLiteral("parts"),
                 QStringLiteral("name"), QStringLiteral("into"), QStringLiteral("recovery")});
    cli::SplitRequest request;
    request.source = file;
    request.size = parser.value(QStringLiteral("size"));
    request.preset = parser.value(QStringLiteral("preset"));
    request.into = parser.value(QStringLiteral("into"));
    if (parser.isSet(QStringLiteral("recovery"))) {
        request.recovery = cli::recoveryPercentOf(parser.value(QStringLiteral("recovery")));
        require(request.recovery > 0,
                QStringLiteral("--recovery takes a percentage from 1% to 100%, such as 10%"));
    }
    const bool byParts = parser.isSet(QStringLiteral("parts"));
    require(int(!request.size.isEmpty()) + int(!request.preset.isEmpty()) + int(byParts) == 1,
            QStringLiteral("--split takes one of --size, --preset or --parts"));
    const bool fromInput = file == QLatin1String("-");
    if (fromInput) {
        request.name = parser.value(QStringLiteral("name"));
        require(!request.name.isEmpty(),
                QStringLiteral("--split - takes --name NAME, the name of the file that "
                               "standard input stands for"));
        require(!request.name.contains(QLatin1Char('/')) && request.name != QLatin1String(".") &&
                    request.name != QLatin1String(".."),
                QStringLiteral("--name takes a file name without a folder (--into gives the "
                               "folder)"));
        require(!byParts, QStringLiteral("--parts needs the file's size: it does not go with "
                                         "--split -, use --size or --preset"));
    } else {
        require(!parser.isSet(QStringLiteral("name")),
                QStringLiteral("--name goes with --split - only"));
    }
    if (byParts) {
        bool number = false;
        request.parts = parser.value(QStringLiteral("parts")).toLongLong(&number);
        require(number && request.parts >= 1,
                QStringLiteral("--parts takes a whole number of parts, at least 1"));
    } else if (!request.preset.isEmpty()) {
        require(cli::presetNamed(request.preset) != nullptr,
                QStringLiteral("Unknown preset %1; the presets are %2")
                    .arg(request.preset, presetCaptions()));
    } else {
        require(cli::partSizeOf(request.size) > 0,
                QStringLiteral("--size takes a whole number of B, KB, MB or GB, at least 1 "
                               "byte, such as 700MB"));
    }
    // As a join does not write its bytes to a terminal, a split does not
    // take the terminal's typing for the file's.
    if (fromInput && ::isatty(STDIN_FILENO))
        throw OperationError(QStringLiteral("Not reading the file to split from a terminal: send "
                                            "a file or a program's output to standard input"));
    requireOpenable(parser, file);
    return cli::split(request);
}

int run(const QCommandLineParser& parser) {
    const QStringList given = parser.optionNames();
    for (const char* option : SettingOptions)
        require(given.count(QLatin1String(option)) <= 1,
                QStringLiteral("--%1 is given more than once").arg(QLatin1String(option)));
    QStringList modes;
    for (const char* mode : ModeOptions)
        if (parser.isSet(QLatin1String(mode)))
            modes.append(QStringLiteral("--") + QLatin1String(mode));
    require(modes.size() == 1, modes.isEmpty()
                                   ? QStringLiteral("Choose one of --split, --join, --checksum, "
                                                    "--compare, --verify, --repair")
                                   : QStringLiteral("Choose one of %1").arg(modes.join(", ")));
    const QString mode = modes.first().mid(2);
    const QStringList extra = parser.positionalArguments();
    const auto only = [&](const QStringList& allowed) { requireOnly(parser, mode, allowed); };

    if (mode == QLatin1String("compare")) {
        only({});
        const QStringList files = parser.values(QStringLiteral("compare")) + extra;
        require(files.size() == 2, QStringLiteral("--compare takes two files"));
        for (const QString& path : files)
            requireWithinPathLimits(path, QStringLiteral("Cannot open"));
        return cli::compare(files.at(0), files.at(1));
    }
    require(extra.isEmpty(), QStringLiteral("Unexpected argument %1").arg(extra.value(0)));
    require(parser.values(mode).size() == 1, QStringLiteral("--%1 takes one file").arg(mode));
    const QString file = parser.value(mode);

    if (mode == QLatin1String("checksum")) {
        only({});
        requireOpenable(parser, file);
        return cli::checksum(file);
    }
    if (mode == QLatin1String("verify")) {
        only({});
        requireOpenable(parser, file);
        return cli::verify(file);
    }
    if (mode == QLatin1String("repair")) {
        only({});
        requireOpenable(parser, file);
        return cli::repair(file);
    }
    if (mode == QLatin1String("join")) {
        only({QStringLiteral("into"), QStringLiteral("force")});
        requireOpenable(parser, file);
        return cli::join(file, parser.value(QStringLiteral("into")), parser.isSet("force"));
    }
    return split(parser, file);
}

} // namespace

bool isCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // Every long option is the command line's (an unknown one is refused
        // there, rather than opening the window); the window's own Qt options
        // take a single dash.
        if (!std::strncmp(arg, "--", 2) || !std::strcmp(arg, "-h") || !std::strcmp(arg, "-v") ||
            !std::strcmp(arg, "-?"))
            return true;
    }
    return false;
}

int runCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (isUtf8Name(QByteArray(argv[i]))) continue;
        // Made text, it would name a look-alike: shown with its odd bytes as \xNN.
        cli::error(lookAlikeRefusal(nameBytesShown(QByteArray(argv[i]))));
        return cli::Refused;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvello-file-splitter"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.00"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("split"),
         QStringLiteral("Split FILE into parts beside it; - reads standard input (with --name)."),
         QStringLiteral("FILE")},
        {QStringLiteral("size"),
         QStringLiteral("Part size: a whole number and B, KB, MB or GB (1 KB = 1024 bytes)."),
         QStringLiteral("N<unit>")},
        {QStringLiteral("preset"),
         QStringLiteral("Part size of a medium: %1.").arg(presetCaptions()),
         QStringLiteral("NAME")},
        {QStringLiteral("parts"),
         QStringLiteral("Exactly N parts, as split -n N cuts them: each the size divided by N, "
                        "the last one also taking the rest."),
         QStringLiteral("N")},
        {QStringLiteral("name"),
         QStringLiteral("With --split -: the name of the file that standard input stands for; "
                        "the parts, list and check files are that file's."),
         QStringLiteral("NAME")},
        {QStringLiteral("join"), QStringLiteral("Join the set that PART belongs to."),
         QStringLiteral("PART")},
        {QStringLiteral("into"),
         QStringLiteral("Write the parts or the joined file into DIR; with --join, - writes the "
                        "joined bytes to standard output (a part found damaged there ends the "
                        "run, but what was written stays written)."),
         QStringLiteral("DIR")},
        {QStringLiteral("force"), QStringLiteral("Join although parts are missing or a check fails "
                                                 "(what failed is still told; exit status 1).")},
        {QStringLiteral("checksum"),
         QStringLiteral("Print FILE's CRC-32: hexadecimal, decimal, FILE."),
         QStringLiteral("FILE")},
        {QStringLiteral("compare"),
         QStringLiteral("Compare FILE1 with FILE2 byte for byte: identical, different at byte N, "
                        "or different length."),
         QStringLiteral("FILE1")},
        {QStringLiteral("verify"),
         QStringLiteral("Check every part of the set against the set's .sfv without joining: "
                        "one line per part, its name and OK, BAD or MISSING."),
         QStringLiteral("PART|SFV")},
        {QStringLiteral("recovery"),
         QStringLiteral("With --split: also write PAR 2.0 recovery data for P% of the parts "
                        "(<file>.par2 and <file>.volNN+MM.par2), so that about P% of them can be "
                        "lost or damaged and rebuilt."),
         QStringLiteral("P%")},
        {QStringLiteral("repair"),
         QStringLiteral("Rebuild the set's missing and damaged parts from its recovery data "
                        "(.par2): one line per part, its name and OK, REPAIRED, MISSING or BAD. "
                        "Exit status 1 when the set can't be made whole."),
         QStringLiteral("PART|LIST|PAR2")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        cli::error(parser.errorText() + QStringLiteral(" (see --help)"));
        return cli::Refused;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        cli::print(helpText(parser));
        return cli::Success;
    }
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    cli::catchInterrupts();
    try {
        return run(parser);
    } catch (const UsageError& e) {
        cli::error(e.text + QStringLiteral(" (see --help)"));
    } catch (const OperationError& e) {
        cli::error(e.text());
    }
    return cli::interrupted() ? cli::interruptedStatus() : cli::Refused;
}
