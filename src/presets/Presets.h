// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/presets: the table of media presets (window-free, on core/) and the
// presets panel's handlers, which split through the split engine.

#include <QList>
#include <QString>
#include <QStringList>

namespace tfs {

// The ten media presets: one-click splits at part sizes matched to common
// media. The sizes are exact byte counts (two of them need 64 bits); the
// report lines are shown when the source is smaller than the medium, blanks
// included, since they centre the text in the report dialog.
struct MediaPreset {
    QString caption;          // the preset button's caption
    qint64 partSize;          // part size in bytes
    bool showsHint;           // the command shows the idle hint over the gauge at its start
    QStringList smallerLines; // report lines for a source smaller than the medium
};

// The presets in the panel's order: the two rows, then "Fat32" below them.
const QList<MediaPreset>& mediaPresets();

// The preset with that part size, or nullptr.
const MediaPreset* mediaPresetOfSize(qint64 partSize);

// Whether a source of sourceSize bytes is large enough for the preset: a
// source of exactly the medium's size passes.
inline bool fillsMedium(qint64 sourceSize, qint64 partSize) { return sourceSize >= partSize; }

} // namespace tfs
