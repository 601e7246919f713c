#pragma once
// The panels driven as a user works them (real clicks, typed text, scripted
// dialog answers), for the window tests that need the same steps.

#include <QList>
#include <QString>

class MainWindow;

namespace testutil {

class Ui;

// Split panel (open): Load File, answered with `source`.
void loadSource(Ui& ui, const QString& source);

// Split panel (open): Load File, the unit (0 Bytes ... 3 Gigabytes), the part
// size typed and, unless `dest` is empty, the destination chosen.
void prepareSplit(Ui& ui, const QString& source, int unit, const QString& partSize,
                  const QString& dest = QString());

// The split panel's Load, Split, Destination and Main buttons: enabled or not.
QList<bool> navigation(MainWindow* f);
inline const QList<bool> AllOn{true, true, true, true};
inline const QList<bool> AllOff{false, false, false, false};

// Join panel (open): Load File, answered with `chosen`, then, unless `dest` is
// empty, the destination chosen.
void loadPart(Ui& ui, const QString& chosen, const QString& dest = QString());

} // namespace testutil
