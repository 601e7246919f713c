// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Console.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace cli {

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

// Whether the progress line stands on the terminal, to be erased before any
// other output.
bool progressShown = false;

extern "C" void onInterrupt(int signal) { caughtSignal = signal; }

void writeErr(const QString& text) {
    if (std::exchange(progressShown, false)) std::fputs("\r\033[K", stderr);
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// Sizes in the units of the window: 1 KB = 1,024 bytes.
QString sizeText(double bytes) {
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    return unit == 0
               ? QStringLiteral("%1 B").arg(static_cast<qint64>(bytes))
               : QStringLiteral("%1 %2").arg(bytes, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString durationText(qint64 seconds) {
    const QString minutesSeconds =
        QStringLiteral("%1:%2")
            .arg(seconds / 60 % 60, seconds >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds >= 3600 ? QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesSeconds)
                           : minutesSeconds;
}

} // namespace

void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read or write that waits (on a stalled pipe, a
    // terminal) ends with EINTR, and the loops look at the signal then.
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored when the program started (nohup, trap '' HUP, a
        // script's background job, which ignores SIGINT) stays ignored: the
        // caller chose that the run goes on.
        struct sigaction before = {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool interrupted() { return caughtSignal != 0; }

int interruptedStatus() { return 128 + static_cast<int>(caughtSignal); }

QString escapedControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') &&
            c != QLatin1Char('\t'))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void error(const QString& text) {
    writeErr(QStringLiteral("tarvello-file-splitter: %1\n").arg(escapedControls(text)));
}

void report(const QStringList& lines) {
    QStringList words;
    for (QString line : lines) {
        // Only the blanks that lay the window's text out go: a name's own
        // characters stay, a trailing NEL (U+0085) or no-break space too.
        while (line.startsWith(QLatin1Char(' ')))
            line.remove(0, 1);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        if (!line.isEmpty()) words.append(line);
    }
    error(words.join(QLatin1Char(' ')));
}

void print(const QString& text) {
    if (std::exchange(progressShown, false)) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    const QByteArray bytes = (escapedControls(text) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

Progress::Progress(qint64 totalBytes) : terminal_(isatty(STDERR_FILENO) == 1), total_(totalBytes) {
    clock_.start();
}

Progress::~Progress() {
    if (progressShown) writeErr(QString());
}

void Progress::show(int percent, qint64 bytesDone) {
    if (!terminal_) return;
    // At most ten redraws a second, and every change of the percentage.
    const qint64 now = clock_.elapsed();
    if (percent == lastPercent_ && lastDrawn_ >= 0 && now - lastDrawn_ < 100) return;
    lastPercent_ = percent;
    lastDrawn_ = now;
    const qint64 done = percent >= 100   ? total_
                        : bytesDone >= 0 ? bytesDone
                                         : total_ * qBound(0, percent, 100) / 100;
    writeErr(QLatin1Char('\r') + line(percent, done, total_, now / 1000.0) +
             QStringLiteral("\033[K"));
    progressShown = true;
}

QString Progress::line(int percent, qint64 done, qint64 total, double seconds) {
    QString text =
        QStringLiteral("%1%  %2 of %3")
            .arg(qBound(0, percent, 100), 3)
            .arg(sizeText(static_cast<double>(done)), sizeText(static_cast<double>(total)));
    if (seconds <= 0 || done <= 0) return text;
    const double speed = done / seconds;
    text += QStringLiteral("  %1/s").arg(sizeText(speed));
    const qint64 left = total > done ? static_cast<qint64>((total - done) / speed + 0.5) : 0;
    return text + QStringLiteral("  %1 left").arg(durationText(left));
}

} // namespace cli
