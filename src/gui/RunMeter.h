// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <initializer_list>

class Gauge;

// The progress of a running operation beyond its gauge: the gauge's tooltip
// tells the bytes done of the total, the speed and the time left, and the
// desktop's taskbar or dock shows the progress on the program's entry.

// A byte count in the panel's units (1 KB = 1,024 bytes): "512 bytes", "1.5 MB".
QString byteText(qint64 bytes);

// A duration as h:mm:ss, or m:ss under an hour.
QString durationText(qint64 seconds);

// The tooltip of a gauge whose run has done `done` of `total` bytes in
// `elapsedMs` milliseconds. Speed and time left need a byte done.
QString runTooltip(qint64 done, qint64 total, qint64 elapsedMs);

// The com.canonical.Unity.LauncherEntry signal (read by KDE Plasma and the
// common GNOME docks) on the session bus. Without a session bus nothing is
// sent, and no bus is started for it.
namespace launcherEntry {
// The object path and the application's URI the signal carries.
QString objectPath();
QString applicationUri();
// Sends the progress (0..100) shown on the entry, or hides it; a value that
// is already shown is not sent again.
void show(int percent);
void hide();
} // namespace launcherEntry

// A run of an operation over `totalBytes`, from construction to destruction:
// the gauges' tooltips and the launcher entry follow their progress, and are
// cleared when the run ends, however it ends.
class GaugeRun {
public:
    GaugeRun(std::initializer_list<Gauge*> gauges, qint64 totalBytes);
    ~GaugeRun();
    GaugeRun(const GaugeRun&) = delete;
    GaugeRun& operator=(const GaugeRun&) = delete;

private:
    void follow(Gauge* gauge, int percent);
    QList<QPointer<Gauge>> gauges_;
    QList<QMetaObject::Connection> links_;
    qint64 total_;
    QElapsedTimer clock_;
};
