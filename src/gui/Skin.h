// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class ClickLabel;
class Gauge;
class Memo;
class PictureButton;

// The dark skin of the window and the small factories that build its controls
// at their pixel places, each under its control name.
namespace skin {

inline const QColor Background(56, 56, 56);
inline const QColor Text(192, 192, 192);
inline const QColor Field(67, 78, 84);

// Tahoma (or its metric twin from fonts-wine) at 8 points of 96 dpi: 11 pixels;
// DejaVu Sans where Tahoma is absent.
QFont windowFont(bool bold = false);
void installFonts();
QString windowStyle();
QString dialogStyle();

QGroupBox* panel(QWidget* parent, const char* name, const QString& caption);
QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                    int h);
QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y,
              bool bold = false);
QLabel* hintLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h);
QLineEdit* field(QWidget* parent, const char* name, int x, int y, int w, int h, bool readOnly);
Memo* memo(QWidget* parent, const char* name, int x, int y, int w, int h);
Gauge* gauge(QWidget* parent, const char* name, int x, int y, int w, int h, const QColor& bar);
ClickLabel* picture(QWidget* parent, const char* name, const QString& svg, int x, int y, int w,
                    int h);
PictureButton* pictureButton(QWidget* parent, const char* name, const QString& svg, int x, int y,
                             int w, int h);
QComboBox* selector(QWidget* parent, const char* name, int x, int y, int w, int h);

} // namespace skin
