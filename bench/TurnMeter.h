// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmark measures around an engine run: the gaps between two
// event-loop turns (longest and 99th percentile, from a fixed histogram, so
// the memory used doesn't grow with the file), how often the gauge value
// changed, and the process's peak resident memory.

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <array>

class TurnMeter {
public:
    // Starts the clock: the first gap runs from here to the first turn.
    void start();
    // Called at the start of every event-loop turn.
    void turn();
    // Called with every progress report; counts the changes of the shown value.
    void progress(int percent);
    // Stops the clock (the last gap runs from the last turn to here).
    void stop();

    double seconds() const { return seconds_; }
    qint64 turns() const { return turns_; }
    qint64 progressChanges() const { return changes_; }
    double longestGapMs() const { return longestNs_ / 1e6; }
    double gapPercentileMs(double fraction) const;

private:
    void addGap(qint64 ns);

    // 1 µs buckets up to 10 ms, then 100 µs buckets up to 1 s, then one bucket.
    static constexpr int FineBuckets = 10000;
    static constexpr int CoarseBuckets = 9900;
    std::array<quint32, FineBuckets + CoarseBuckets + 1> histogram_{};
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longestNs_ = 0;
    qint64 gaps_ = 0;
    qint64 turns_ = 0;
    qint64 changes_ = 0;
    int shown_ = -1;
    double seconds_ = 0;
};

// Peak resident memory of this process so far, in KiB.
long peakResidentKiB();

// One result line for the benchmark script: space-separated key=value pairs.
QString resultLine(const QString& op, const TurnMeter& meter, qint64 bytes, const QString& extra);
