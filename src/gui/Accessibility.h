// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <initializer_list>
#include <utility>

// What screen readers are told of the window's own controls: a gauge is a
// progress bar with its value, a picture or text that takes clicks is a button
// (or a link) that can be pressed.
void installAccessibility();

// Gives each control the name a screen reader announces.
void setAccessibleNames(std::initializer_list<std::pair<QWidget*, const char*>> names);
