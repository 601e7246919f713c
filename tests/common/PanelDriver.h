// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The panels driven as a user works them (real clicks, typed text, scripted
// dialog answers), for the window tests that need the same steps.

#include <QList>
#include <QString>

class MainWindow;
class QGroupBox;
class QWidget;

namespace testutil {

class Ui;

// The window's pages by number: 1 start, 2 split, 3 join, 4 compare,
// 5 presets, 6 about.
QList<QGroupBox*> pages(MainWindow* f); // at index 0 the start page
// Opens a page with its button on the start page, as a user does (the start
// page itself is left as it is), and returns it.
QGroupBox* openPage(MainWindow* f, int page);
// The number of the page shown; 0 when none is.
int shownPage(MainWindow* f);

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

// Presets panel (open): a preset's button pressed, its file dialog answered
// with `source` and its folder browser with `dest` (an empty text cancels
// that dialog).
void runPreset(Ui& ui, QWidget* button, const QString& source, const QString& dest);
// The ten preset buttons and the presets panel's Main.
QList<QWidget*> presetButtonsAndMain(MainWindow* f);
bool allEnabled(const QList<QWidget*>& widgets);

} // namespace testutil
