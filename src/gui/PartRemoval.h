// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class Gauge;

// Deletes the files in their order, as Cancel and Undo remove a split's parts:
// a file that is already gone, or can't be deleted, is passed over. The gauge
// steps down from 100 to 0 one unit at a time, once over the whole run, showing
// the share of files still to go; the event loop turns after every file, so
// the window answers however many parts there are. A removal asked for on a
// gauge whose removal is already running (re-entered from the event loop)
// does nothing and returns false.
bool removePartsStepping(const QStringList& paths, Gauge* gauge);
