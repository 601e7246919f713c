// --split and --join: the window's split (over an earlier set of the same
// name, then the part list) and join (free space and the largest file, the
// missing-part scan, the end of the set where its list ends, "Clone Of ", the
// checks against the set's .sfv and .crc, the hidden file renamed at the end).
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/FileCopy.h"
#include "core/NumberText.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "presets/Presets.h"
#include "split/Naming.h"
#include "split/PartList.h"
#include "split/SizeUnits.h"
#include "split/SplitCheckFiles.h"
#include "split/SplitEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <sys/stat.h>
#include <utility>

using namespace tfs;

namespace cli {

namespace {

// A folder given with --into, with one trailing separator; the file's own
// folder without one.
QString destinationFolder(const QString& into, const QString& file) {
    const QString folder = into.isEmpty() ? folderOf(file) : QFileInfo(into).absoluteFilePath();
    if (!QFileInfo(folder).isDir())
        throw OperationError(QStringLiteral("Cannot write into %1: it is not a folder").arg(into));
    return withTrailingSeparator(folder);
}

void removeFiles(const QStringList& paths) {
    for (const QString& path : paths)
        if (QFileInfo(path).isFile()) QFile::remove(path);
}

// A file's identity and its last change (of content or status, to the
// nanosecond); empty when there is no file.
QByteArray fileState(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino)) +
           ':' + QByteArray::number(qint64(st.st_ctim.tv_sec)) + '.' +
           QByteArray::number(qint64(st.st_ctim.tv_nsec));
}

// The parts that a split which failed had written. A file of a part's name
// that was there before and that the split could not open (one the user
// made read-only) is not its own: it is unchanged, and stays.
void removeWrittenParts(const QStringList& paths, const QHash<QString, QByteArray>& before) {
    for (const QString& path : paths) {
        const auto found = before.constFind(path);
        if (found != before.constEnd() && fileState(path) == *found) continue;
        if (QFileInfo(path).isFile()) QFile::remove(path);
    }
}

// The first `count` names, then a line for the rest (a list that counts its
// rest already stays as it is).
QStringList namedFirst(const QStringList& names, qint64 count) {
    if (names.size() <= count + 1) return names;
    return names.mid(0, count) << QStringLiteral("... and %1 more").arg(names.size() - count);
}

// One line for each failed check: "movie.avi.002 is damaged: expected
// 1C291CA3, read 0A5F2E11", or the joined file's size or CRC-32.
void reportFailedChecks(const QStringList& lines) {
    QString pending;
    for (const QString& line : lines) {
        pending += (pending.isEmpty() ? QString() : QStringLiteral(" ")) + line.trimmed();
        if (!pending.endsWith(QLatin1Char(':'))) error(std::exchange(pending, QString()));
    }
    if (!pending.isEmpty()) error(pending);
}

// The refusals of the part size against the source, in the window's words.
QStringList partSizeRefusal(qint64 sourceSize, qint64 partSize) {
    if (partSize == sourceSize) return {QStringLiteral("As a Result You will have identical file")};
    if (partSize > sourceSize) return {QStringLiteral("Part Size is bigger then File")};
    return {};
}

} // namespace

qint64 partSizeOf(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+)\\s*([KMG]?B)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return -1;
    static const QStringList units{QStringLiteral("B"), QStringLiteral("KB"), QStringLiteral("MB"),
                                   QStringLiteral("GB")};
    const int unit = units.indexOf(match.captured(2).toUpper());
    return checkedMultiply(parseWholeNumber(match.captured(1)), sizeunits::Factors[unit]);
}

const MediaPreset* presetNamed(const QString& name) {
    const auto squeezed = [](const QString& text) {
        return text.toUpper().remove(QLatin1Char(' '));
    };
    for (const MediaPreset& preset : mediaPresets())
        if (squeezed(preset.caption) == squeezed(name)) return &preset;
    return nullptr;
}

int split(const SplitRequest& request) {
    ProgramState state;
    const QString source = QFileInfo(request.source).absoluteFilePath();
    requireRegularFile(source);
    {
        QFile file;
        openForReading(file, source);
        state.SourceFileSize = sizeOfOpenFile(file);
    }
    state.SourceFilePath = source;
    state.SplitDestFolder = destinationFolder(request.into, source);
    state.FreeSpaceDrive = state.SplitDestFolder;

    // The part size: a preset's medium, which the source must fill, or a size
    // that leaves more than one part.
    const MediaPreset* preset = request.preset.isEmpty() ? nullptr : presetNamed(request.preset);
    const qint64 partSize = preset ? preset->partSize : partSizeOf(request.size);
    QStringList refusal;
    if (preset && !fillsMedium(state.SourceFileSize, preset->partSize))
        refusal = preset->smallerLines;
    else if (!preset && state.SourceFileSize > 0)
        refusal = partSizeRefusal(state.SourceFileSize, partSize);
    if (!refusal.isEmpty()) {
        report(refusal);
        return Refused;
    }
    requireSplittableSource(source, state.SplitDestFolder);

    Progress progress(state.SourceFileSize);
    bool refused = false;
    SplitHooks hooks;
    hooks.progress = [&](int percent) { progress.show(percent); };
    hooks.yield = [&] {
        if (interrupted()) state.SplitCancelFlag = 1;
    };
    hooks.refused = [&](const QStringList& lines) {
        refused = true;
        report(lines);
    };

    const QString list = partListPath(state.SplitDestFolder, fileNameOf(source));
    bool listWritten = false;
    QHash<QString, QByteArray> before; // the files that parts were started over
    hooks.partStarted = [&] {
        const QByteArray existing = fileState(state.CurrentPartPath);
        if (!existing.isEmpty()) before.insert(state.CurrentPartPath, existing);
    };
    try {
        const SplitOutcome outcome = splitfile(state, source, partSize, hooks);
        if (refused || outcome == SplitOutcome::RefusedForSpace ||
            outcome == SplitOutcome::RefusedForFileSize)
            return Refused;
        if (outcome == SplitOutcome::Cancelled)
            return interruptedStatus(); // the engine has removed the parts
        // The list as the window writes it, when the split ran to completion.
        writePartList(list, state.SplitPartNames);
        listWritten = true;
        writeCheckFiles(state.SplitDestFolder + fileNameOf(source), state.SplitPartNames,
                        state.SplitPartCrcs);
    } catch (const OperationError&) {
        // Nothing of the set stays: the parts (as Cancel removes them), and
        // the list and check files that name them (a full disk may fail the
        // last check file after the list and the .sfv were written).
        removeWrittenParts(state.SplitPartPaths, before);
        if (listWritten) {
            deleteCheckFilesOf(list);
            deletePartList(list);
        }
        throw;
    }
    // Interrupted after the last block: undone, as the window's Undo does.
    if (interrupted()) {
        removeFiles(state.SplitPartPaths);
        if (listWritten) {
            deleteCheckFilesOf(list);
            deletePartList(list);
        }
        return interruptedStatus();
    }
    return Success;
}

int join(const QString& part, const QString& into, bool force) {
    ProgramState state;
    const QString chosen = QFileInfo(part).absoluteFilePath();
    requireRegularFile(chosen);
    const QString destFolder = destinationFolder(into, chosen);

    JoinHooks hooks;
    hooks.yield = [&] {
        if (interrupted()) state.JoinCancelFlag = 1;
    };
    const qint64 total = original_size(chosen, hooks);
    if (interrupted()) return interruptedStatus();

    const QStringList refusal = joinRefusal(state, total, destFolder);
    if (!refusal.isEmpty()) {
        report(refusal);
        return Refused;
    }

    // The check files beside the set; one that can't be used is told, and
    // the join goes on without it.
    const JoinChecks checks = readJoinChecks(chosen);
    for (const QString& note : checks.notes)
        error(note.trimmed());

    // Parts that the set's list or its .sfv names and that aren't there, or
    // without a list the gaps below its highest part: only --force joins
    // anyway (the parts from 001 up to the first gap). Not even --force joins
    // a set without its first part: that would be an empty file.
    collectMissingParts(state, chosen, checks);
    const bool partsMissing = !state.JoinMissingParts.isEmpty();
    if (partsMissing) {
        report(QStringList{QStringLiteral("Missing Files:")} +
               namedFirst(state.JoinMissingParts, MaxNamedMissingParts));
        if (!force) return Different;
    }
    try {
        requireFirstPart(chosen);
    } catch (const OperationError& e) {
        error(e.text());
        return Different;
    }
    const ListedEnd listed = listedEndOf(state, chosen);

    const QString output = joinOutputPathFor(destFolder, chosen);
    Progress progress(total);
    hooks.progress = [&](int percent) { progress.show(percent); };
    hooks.partCrcs = checks.any();
    QStringList failed;
    hooks.keep = [&] {
        failed = failedCheckLines(checks, state.JoinPartCrcs);
        return failed.isEmpty() || force;
    };
    JoinOptions options;
    options.lastOrdinal = listed.last; // parts beyond the list are another set's
    options.keepExisting = true;
    spojfor(state, chosen, output, hooks, options);
    if (state.JoinCancelFlag != 0)
        return interruptedStatus(); // the engine has removed its hidden file
    if (interrupted()) {
        if (failed.isEmpty() || force) QFile::remove(output); // as the window's Undo does
        return interruptedStatus();
    }
    if (!failed.isEmpty()) {
        reportFailedChecks(failed);
        if (!force) {
            error(QStringLiteral("CRC-32 check failed: not joined (--force keeps the joined "
                                 "file)"));
            return Different;
        }
        error(QStringLiteral("CRC-32 check failed: the joined file is kept as --force asks"));
    }
    if (!listed.beyond.isEmpty())
        report(QStringList{QStringLiteral("Left out, not listed:")} + listed.beyond);
    // Standard output stays the joined file's path alone, for scripts.
    if (checks.any() && failed.isEmpty())
        error(passedCheckLine(checks, state.JoinPartCrcs).trimmed());
    print(output);
    // A file joined by --force from an incomplete or damaged set is kept,
    // but it is not the original: the status says so to a script.
    return partsMissing || !failed.isEmpty() ? Different : Success;
}

} // namespace cli
