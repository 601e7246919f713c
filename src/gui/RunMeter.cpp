// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RunMeter.h"

#include "gui/Widgets.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QToolTip>
#include <QVariantMap>

QString byteText(qint64 bytes) {
    static const char* const units[] = {"KB", "MB", "GB"};
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" bytes");
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (unit < 2 && value >= 1024) {
        value /= 1024;
        ++unit;
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString durationText(qint64 seconds) {
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString ss = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(ss);
    return QStringLiteral("%1:%2").arg(m).arg(ss);
}

QString runTooltip(qint64 done, qint64 total, qint64 elapsedMs) {
    QString tip = byteText(done) + QStringLiteral(" of ") + byteText(total);
    if (done <= 0 || elapsedMs <= 0)
        return tip + QStringLiteral("\nSpeed: measuring\nTime left: measuring");
    const double perSecond = static_cast<double>(done) * 1000 / elapsedMs;
    const qint64 left = static_cast<qint64>(static_cast<double>(total - done) / perSecond + 0.5);
    return tip + QStringLiteral("\nSpeed: ") + byteText(static_cast<qint64>(perSecond)) +
           QStringLiteral("/s\nTime left: ") + durationText(std::max<qint64>(left, 0));
}

// ---------------------------------------------------------------- launcher entry

namespace launcherEntry {
namespace {

// A session bus that is there: its address is known or its socket exists.
// (Asking for the bus without one would have it autolaunched.)
bool sessionBusThere() {
    static const bool there = [] {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
            if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))
                return false;
        }
        return QDBusConnection::sessionBus().isConnected();
    }();
    return there;
}

int shown = -1; // the percent on the entry; -1 while hidden

void send(int percent, bool visible) {
    if (!sessionBusThere()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        objectPath(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    signal << applicationUri()
           << QVariantMap{{QStringLiteral("progress"), percent / 100.0},
                          {QStringLiteral("progress-visible"), visible}};
    QDBusConnection::sessionBus().send(signal);
}

} // namespace

QString objectPath() {
    return QStringLiteral("/com/canonical/unity/launcherentry/tarvello_file_splitter");
}

QString applicationUri() {
    return QStringLiteral("application://") + QGuiApplication::desktopFileName() +
           QStringLiteral(".desktop");
}

void show(int percent) {
    if (percent == shown) return;
    shown = percent;
    send(percent, true);
}

void hide() {
    if (shown < 0) return;
    shown = -1;
    send(0, false);
}

} // namespace launcherEntry

// ---------------------------------------------------------------- GaugeRun

GaugeRun::GaugeRun(std::initializer_list<Gauge*> gauges, qint64 totalBytes)
    : total_(std::max<qint64>(totalBytes, 0)) {
    clock_.start();
    for (Gauge* gauge : gauges) {
        gauges_ << gauge;
        links_ << QObject::connect(gauge, &Gauge::progressChanged, gauge,
                                   [this, gauge](int percent) { follow(gauge, percent); });
        gauge->setToolTip(runTooltip(0, total_, 0));
    }
    launcherEntry::show(0);
}

GaugeRun::~GaugeRun() {
    for (const QMetaObject::Connection& link : links_)
        QObject::disconnect(link);
    for (Gauge* gauge : gauges_)
        if (gauge) gauge->setToolTip(QString());
    launcherEntry::hide();
}

void GaugeRun::follow(Gauge* gauge, int percent) {
    const qint64 done = static_cast<qint64>(static_cast<double>(total_) * percent / 100);
    const QString tip = runTooltip(done, total_, clock_.elapsed());
    gauge->setToolTip(tip);
    // A tooltip that is up follows the run.
    if (QToolTip::isVisible() && gauge->underMouse())
        QToolTip::showText(QCursor::pos(), tip, gauge);
    launcherEntry::show(percent);
}
