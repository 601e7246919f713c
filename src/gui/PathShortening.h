// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QFontMetrics;
class QLineEdit;

// A path shortened to fit `width` pixels in a font: the first remaining folder
// is replaced by "..." again and again until the text fits; then the root is
// dropped; the file name itself is never cut.
QString shortenPath(const QString& path, const QFontMetrics& metrics, int width);

// A path field (split source and destination, join part and output) shows the
// path the program put there shortened to the room the field has for text,
// with the full path as its tooltip (none when the field is empty). Call it
// from the field's change handler: putting the shortened text back runs that
// handler once more, and the nested call leaves the field alone.
void showShortenedPath(QLineEdit* field);
