// SPDX-License-Identifier: GPL-3.0-or-later
#include "TurnMeter.h"

#include <QFile>
#include <algorithm>
#include <sys/resource.h>

void TurnMeter::start() {
    histogram_.fill(0);
    longestNs_ = gaps_ = turns_ = changes_ = 0;
    shown_ = -1;
    clock_.start();
    last_ = 0;
}

void TurnMeter::addGap(qint64 ns) {
    int bucket;
    if (ns < FineBuckets * 1000LL)
        bucket = static_cast<int>(ns / 1000);
    else if (ns < 1000000000LL)
        bucket = FineBuckets + static_cast<int>((ns - FineBuckets * 1000LL) / 100000);
    else
        bucket = FineBuckets + CoarseBuckets;
    ++histogram_[static_cast<size_t>(bucket)];
    longestNs_ = std::max(longestNs_, ns);
    ++gaps_;
}

void TurnMeter::turn() {
    const qint64 now = clock_.nsecsElapsed();
    addGap(now - last_);
    last_ = now;
    ++turns_;
}

void TurnMeter::progress(int percent) {
    if (percent != shown_) {
        shown_ = percent;
        ++changes_;
    }
}

void TurnMeter::stop() {
    const qint64 now = clock_.nsecsElapsed();
    addGap(now - last_);
    seconds_ = now / 1e9;
}

double TurnMeter::gapPercentileMs(double fraction) const {
    if (gaps_ == 0) return 0;
    const qint64 wanted = static_cast<qint64>(fraction * static_cast<double>(gaps_) + 0.999999);
    qint64 seen = 0;
    for (size_t i = 0; i < histogram_.size(); ++i) {
        seen += histogram_[i];
        if (seen >= wanted) {
            // The upper edge of the bucket, in ms.
            const int b = static_cast<int>(i);
            if (b < FineBuckets) return (b + 1) / 1000.0;
            if (b < FineBuckets + CoarseBuckets)
                return FineBuckets / 1000.0 + (b - FineBuckets + 1) / 10.0;
            return longestGapMs();
        }
    }
    return longestGapMs();
}

long peakResidentKiB() {
    // VmHWM, not getrusage's ru_maxrss: the latter keeps the parent's size
    // across fork and exec, so a benchmark started from a big script would
    // report the script.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString resultLine(const QString& op, const TurnMeter& meter, qint64 bytes, const QString& extra) {
    return QStringLiteral("RESULT op=%1 seconds=%2 bytes=%3 turns=%4 progress_changes=%5 "
                          "gap_max_ms=%6 gap_p99_ms=%7 peak_rss_kib=%8 %9")
        .arg(op)
        .arg(meter.seconds(), 0, 'f', 6)
        .arg(bytes)
        .arg(meter.turns())
        .arg(meter.progressChanges())
        .arg(meter.longestGapMs(), 0, 'f', 3)
        .arg(meter.gapPercentileMs(0.99), 0, 'f', 3)
        .arg(peakResidentKiB())
        .arg(extra)
        .trimmed();
}
