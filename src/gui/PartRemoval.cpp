#include "gui/PartRemoval.h"

#include "gui/Widgets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    const qsizetype count = paths.size();
    for (qsizetype i = 0; i < count; ++i) {
        QFile::remove(paths.at(i));
        gauge->stepDownTo(static_cast<int>(100 * (count - i - 1) / count));
        if (sinceTurn.elapsed() >= 20) {
            QCoreApplication::processEvents();
            sinceTurn.restart();
        }
    }
    return true;
}
