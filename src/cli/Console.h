// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jobs/JobHooks.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <optional>

// What the command line shows and how it ends: messages on standard error,
// the progress line, the exit statuses, and Ctrl+C.
namespace cli {

enum ExitStatus {
    Success = 0,   // done; identical; every part OK
    Different = 1, // different, damaged or missing
    Refused = 2,   // refused or failed; nothing left behind
};

// Ctrl+C (SIGINT), SIGTERM and SIGHUP from now on only mark the run as
// interrupted (each one that was ignored when the program started stays
// ignored); the running command sees it at its next block, stops as the
// window's Cancel does and returns interruptedStatus().
void catchInterrupts();
bool interrupted();
// 128 + the signal: 130 after Ctrl+C.
int interruptedStatus();

// The text with every control character but the line feed and the tab (an
// escape that would start a terminal's sequence, a carriage return, ...)
// shown as \xNN: names and lines read from files never reach the terminal raw.
QString escapedControls(const QString& text);

// "tarvello-file-splitter: <text>" on standard error, controls escaped.
void error(const QString& text);
// A report in the window's words: its lines trimmed, the blank ones (which
// centre the text in the window's dialog) left out, the rest on one line.
void report(const QStringList& lines);
// A plain line on standard output, controls escaped.
void print(const QString& text);

// One line on standard error redrawn in place: percent, bytes, speed and time
// left. Nothing at all when standard error is not a terminal. Any other output
// erases it first; so does the end of the operation.
class Progress {
public:
    explicit Progress(qint64 totalBytes);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // After a block: the percentage done; the bytes done, or -1 to take them
    // from the percentage.
    void show(int percent, qint64 bytesDone = -1);

    // The line's text after `seconds` with `done` of `total` bytes.
    static QString line(int percent, qint64 done, qint64 total, double seconds);

private:
    const bool terminal_;
    const qint64 total_;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1; // milliseconds
    int lastPercent_ = -1;
};

// The progress of a job run from the command line: a Progress line of its
// own for each stage of the job, from the stage's start on.
class JobProgress {
public:
    // Sets the hooks' started, bytesDone and progress.
    void follow(tfs::JobHooks& hooks);

private:
    std::optional<Progress> line_;
    qint64 bytesDone_ = -1; // -1: none told, taken from the percentage
};

} // namespace cli
