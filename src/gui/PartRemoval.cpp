// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/PartRemoval.h"

#include "gui/Widgets.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QSet>

bool removePartsStepping(const QStringList& paths, Gauge* gauge) {
    static QSet<const Gauge*> running;
    if (running.contains(gauge)) return false;
    if (paths.isEmpty()) return true;
    running.insert(gauge);
    const auto done = qScopeGuard([gauge] { running.remove(gauge); });

    gauge->setProgress(100);
    gauge->repaint();
    const qsizetype count = paths.size();
    for (qsizetype i = 0; i < count; ++i) {
        QFile::remove(paths.at(i));
        gauge->stepDownTo(static_cast<int>(100 * (count - i - 1) / count));
        // After every file: a removal on a slow disk or of a large file may
        // take long, and a turn with nothing to do costs little beside it.
        QCoreApplication::processEvents();
    }
    return true;
}
