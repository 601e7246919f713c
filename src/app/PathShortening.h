#pragma once

#include <QString>

class QFontMetrics;

// A path shortened to fit `width` pixels in a font: the first remaining folder
// is replaced by "..." again and again until the text fits; then the root is
// dropped; the file name itself is never cut.
QString shortenPath(const QString& path, const QFontMetrics& metrics, int width);
