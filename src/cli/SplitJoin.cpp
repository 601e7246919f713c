// SPDX-License-Identifier: GPL-3.0-or-later
// --split and --join: the window's split (over an earlier set of the same
// name, then the part list) and join (free space and the largest file, the
// missing-part scan, the end of the set where its list ends, "Clone Of ", the
// checks against the set's .sfv and .crc, the hidden file renamed at the end).
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/FileCopy.h"
#include "core/NumberText.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "join/JoinChecks.h"
#include "join/JoinEngine.h"
#include "join/JoinSteps.h"
#include "join/JoinStream.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "parts/PartSet.h"
#include "presets/Presets.h"
#include "split/SetFiles.h"
#include "split/SizeUnits.h"
#include "split/SplitEngine.h"
#include "split/StreamSplit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace tfs;

namespace cli {

namespace {

// A folder given with --into, with one trailing separator; the file's own
// folder without one. A folder that is not there is told apart from a file
// given as the folder: the one is made, the other named wrongly.
QString destinationFolder(const QString& into, const QString& file) {
    const QString folder = into.isEmpty() ? folderOf(file) : QFileInfo(into).absoluteFilePath();
    const QFileInfo entry(folder);
    if (!entry.exists())
        throw OperationError(QStringLiteral("Cannot write into %1: it does not exist").arg(into));
    if (!entry.isDir())
        throw OperationError(QStringLiteral("Cannot write into %1: it is not a folder").arg(into));
    return withTrailingSeparator(folder);
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

namespace {

// After a completed split: the list as the window writes it, the check
// files and, when asked, the recovery data. A check file or recovery data
// that is not written while the parts stand is told on standard error; a file
// error is thrown. listWritten is set once the list is there.
void writeSplitSetFiles(const SplitState& state, const QString& sourceName, int recovery,
                        bool& listWritten) {
    quint8 stop = 0;
    const CancelRequest cancel(stop);
    EngineHooks hooks;
    std::optional<Progress> recoveryProgress; // a line of its own, from its first step
    hooks.progress = [&](int percent) {
        if (!recoveryProgress) recoveryProgress.emplace(state.SourceFileSize);
        recoveryProgress->show(percent);
    };
    hooks.yield = [&] {
        if (interrupted()) stop = 1;
    };
    const SetFilesWritten written = writeSetFiles(state, sourceName, recovery, hooks, cancel);
    listWritten = !written.list.isEmpty();
    for (const QString& note : written.notes)
        error(note);
    if (written.failed != SetFileStep::None) throw OperationError(written.error);
}

// Runs a split (`engine`, with `hooks`) and, once its parts have their names
// and while it still holds its set, writes the list, the check files and the
// recovery data. A split that fails leaves nothing of its set: what it wrote
// goes (a file of a part's name that was there before and that it could not
// open stays). One interrupted after its last block is undone whole, as the
// window's Undo does, and comes out Cancelled.
SplitOutcome splitToSet(SplitState& state, const QString& sourceName, int recovery,
                        SplitHooks& hooks, const std::function<SplitOutcome()>& engine) {
    const QString list = partListPath(state.SplitDestFolder, sourceName);
    bool listWritten = false;
    QHash<QString, QByteArray> before; // the files that parts were started over
    hooks.partStarted = [&] {
        const QByteArray existing = fileState(state.CurrentPartPath);
        if (!existing.isEmpty()) before.insert(state.CurrentPartPath, existing);
    };
    hooks.completed = [&] { writeSplitSetFiles(state, sourceName, recovery, listWritten); };
    const auto undo = [&](const QHash<QString, QByteArray>& kept) {
        if (listWritten) removeSetFiles(list);
        removeWrittenParts(state.SplitPartPaths, kept);
    };
    SplitOutcome outcome;
    try {
        outcome = engine();
    } catch (const OperationError&) {
        undo(before); // as Cancel does
        throw;
    }
    if (outcome == SplitOutcome::Completed && interrupted() && !state.SplitPartPaths.isEmpty()) {
        undo({});
        return SplitOutcome::Cancelled;
    }
    return outcome;
}

// --split -: the parts of standard input, named as those of a file of the
// given name. Its size is known at its end only: the refusals that a file of
// that size gets before anything is written come after the input has been
// read (and its parts removed) instead.
int splitInput(const SplitRequest& request) {
    SplitState state;
    if (const QString why = unlistableNameReason(request.name); !why.isEmpty())
        throw OperationError(
            QStringLiteral("Cannot split standard input as %1: %2; choose another --name")
                .arg(request.name, why));
    state.SplitDestFolder = destinationFolder(request.into, QDir::current().filePath(request.name));
    const MediaPreset* preset = request.preset.isEmpty() ? nullptr : presetNamed(request.preset);
    const qint64 partSize = preset ? preset->partSize : partSizeOf(request.size);

    bool refused = false;
    SplitHooks hooks;
    hooks.yield = [&] {
        if (interrupted()) state.SplitCancelFlag = 1;
    };
    hooks.refused = [&](const QStringList& lines) {
        refused = true;
        report(lines);
    };
    const SplitOutcome outcome = splitToSet(state, request.name, request.recovery, hooks, [&] {
        return splitStream(state, STDIN_FILENO, request.name, partSize, hooks);
    });
    if (refused || outcome != SplitOutcome::Completed)
        return outcome == SplitOutcome::Cancelled ? interruptedStatus() : Refused;
    if (!state.SplitPartPaths.isEmpty()) return Success;
    // One part at most, which the engine has not kept: a medium filled
    // exactly would be one part too.
    if (state.SourceFileSize == 0)
        throw OperationError(QStringLiteral("Cannot split standard input: it is empty"));
    QStringList refusal = preset && !fillsMedium(state.SourceFileSize, preset->partSize)
                              ? preset->smallerLines
                              : partSizeRefusal(state.SourceFileSize, partSize);
    if (refusal.isEmpty()) refusal = partSizeRefusal(state.SourceFileSize, state.SourceFileSize);
    report(refusal);
    return Refused;
}

// --join PART --into -: the joined bytes on standard output. What has been
// written can't be taken back, so each part is checked against the .sfv as
// soon as it has been read: a damaged one ends the join there (--force goes
// on), the bytes before it written all the same.
int joinToOutput(JoinState& state, const PartSet& set, const JoinChecks& checks,
                 const ListedEnd& listed, const JoinHooks& hooks, bool force, bool partsMissing) {
    QList<PartCrc> joined;
    bool damaged = false;
    joinToStream(state, set, STDOUT_FILENO, listed.last, hooks,
                 [&](qint64 ordinal, const PartCrc& part) {
                     joined.append(part);
                     const auto entry = checks.parts.constFind(ordinal);
                     if ((entry != checks.parts.cend() && entry->crc != part.crc) ||
                         checks.unrepaired.contains(ordinal))
                         damaged = true;
                     return !damaged || force;
                 });
    if (state.JoinCancelFlag != 0 || interrupted()) return interruptedStatus();
    JoinChecks judged = checks;
    if (damaged && !force) judged.wholeFile = false; // stopped early: the size says nothing
    const QStringList failed = failedCheckLines(judged, joined);
    if (!failed.isEmpty()) {
        reportFailedChecks(failed);
        error(failedCheckWords(judged, joined) +
              (damaged && !force
                   ? QStringLiteral(": the join stopped after that part; what went to standard "
                                    "output before stays there")
                   : QStringLiteral(": joined all the same, as --force asks")));
    }
    if (!listed.beyond.isEmpty())
        report(QStringList{QStringLiteral("Left out, not listed:")} + listed.beyond);
    if (checks.any() && failed.isEmpty()) error(passedCheckLine(checks, joined).trimmed());
    return partsMissing || !failed.isEmpty() ? Different : Success;
}

} // namespace

int split(const SplitRequest& request) {
    if (request.source == QLatin1String("-")) return splitInput(request);
    SplitState state;
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
    // A given number of parts: N - 1 of the size divided by N, and the rest.
    const MediaPreset* preset = request.preset.isEmpty() ? nullptr : presetNamed(request.preset);
    const qint64 partSize = request.parts > 0 ? state.SourceFileSize / request.parts
                            : preset          ? preset->partSize
                                              : partSizeOf(request.size);
    if (request.parts > state.SourceFileSize && state.SourceFileSize > 0)
        throw OperationError(QStringLiteral("Cannot split %1 into %2 parts: it has %3 bytes")
                                 .arg(source)
                                 .arg(request.parts)
                                 .arg(state.SourceFileSize));
    QStringList refusal;
    if (preset && !fillsMedium(state.SourceFileSize, preset->partSize))
        refusal = preset->smallerLines;
    else if (!preset && request.parts == 0 && state.SourceFileSize > 0)
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

    const SplitOutcome outcome =
        splitToSet(state, fileNameOf(source), request.recovery, hooks,
                   [&] { return splitIntoParts(state, source, partSize, hooks, request.parts); });
    if (refused || outcome == SplitOutcome::RefusedForSpace ||
        outcome == SplitOutcome::RefusedForFileSize)
        return Refused;
    // Cancelled: the engine has removed the parts, or the set was undone.
    return outcome == SplitOutcome::Cancelled ? interruptedStatus() : Success;
}

int join(const QString& part, const QString& into, bool force) {
    JoinState state;
    const QString chosen = QFileInfo(part).absoluteFilePath();
    requireRegularFile(chosen);
    const bool toOutput = into == QLatin1String("-");
    if (toOutput && ::isatty(STDOUT_FILENO))
        throw OperationError(QStringLiteral("Not writing the joined bytes to a terminal: send "
                                            "standard output to a file or a program"));
    const QString destFolder = toOutput ? QString() : destinationFolder(into, chosen);

    JoinHooks hooks;
    hooks.yield = [&] {
        if (interrupted()) state.JoinCancelFlag = 1;
    };
    PartSet set = readPartSet(chosen);
    const qint64 total = sizeToJoin(set, joinedSize(set, hooks));
    if (interrupted()) return interruptedStatus();

    const QStringList refusal = toOutput ? QStringList() : joinRefusal(state, total, destFolder);
    if (!refusal.isEmpty()) {
        report(refusal);
        return Refused;
    }

    // Recovery data beside the set repairs what it covers first, so that the
    // parts are whole when they are checked and joined.
    QMap<qint64, QString> unrepaired;
    if (!repairBeforeJoin(chosen, unrepaired)) return interruptedStatus();
    set = readPartSet(chosen); // with the parts the repair rebuilt

    // The check files beside the set; one that can't be used is told, and
    // the join goes on without it. The parts the recovery data found damaged
    // fail as a wrong CRC-32 does.
    JoinChecks checks = readJoinChecks(set);
    checks.unrepaired = unrepaired;
    for (const QString& note : checks.notes)
        error(note.trimmed());

    // Parts that the set's list or its .sfv names and that aren't there, or
    // without a list the gaps below its highest part: only --force joins
    // anyway (the parts from 001 up to the first gap). Not even --force joins
    // a set without its first part: that would be an empty file.
    collectMissingParts(state, set, checks);
    const bool partsMissing = !state.JoinMissingParts.isEmpty();
    if (partsMissing) {
        report(QStringList{QStringLiteral("Missing Files:")} + state.JoinMissingParts);
        if (!force) return Different;
    }
    try {
        requireFirstPart(set);
    } catch (const OperationError& e) {
        error(e.text());
        return Different;
    }
    const ListedEnd listed = listedEndOf(state, set);
    if (toOutput) {
        Progress progress(total); // on standard error, where that is a terminal
        hooks.progress = [&](int percent) { progress.show(percent); };
        return joinToOutput(state, set, checks, listed, hooks, force, partsMissing);
    }

    const QString output = joinOutputPathFor(destFolder, set);
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
    joinParts(state, set, output, hooks, options);
    if (state.JoinCancelFlag != 0)
        return interruptedStatus(); // the engine has removed its hidden file
    if (interrupted()) {
        if (failed.isEmpty() || force) QFile::remove(output); // as the window's Undo does
        return interruptedStatus();
    }
    if (!failed.isEmpty()) {
        reportFailedChecks(failed);
        const QString what = failedCheckWords(checks, state.JoinPartCrcs);
        if (!force) {
            error(what + QStringLiteral(": not joined (--force keeps the joined file)"));
            return Different;
        }
        error(what + QStringLiteral(": the joined file is kept as --force asks"));
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
