// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/Presets.h"

namespace tfs {

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;

QList<MediaPreset> makePresets() {
    const QString two = QStringLiteral("  ");
    const QString three = QStringLiteral("   ");
    const QString one = QStringLiteral(" ");
    return {
        // 1.2 x 1 MiB with the fraction dropped.
        {QStringLiteral("1.2 MB"),
         12 * MiB / 10,
         true,
         {two, two, two, QStringLiteral("     File is smaller  then 1.2MB Floppy")}},
        // The formatted capacity of a 1.44 MB floppy: 1,424 KiB.
        {QStringLiteral("1.44MB"),
         1424 * KiB,
         true,
         {two, two, QStringLiteral("               File is smaller then"), two,
          QStringLiteral("        Standard Formated Floppy")}},
        // 2.88 x 1 MiB with the fraction dropped.
        {QStringLiteral("2.88MB"),
         288 * MiB / 100,
         true,
         {two, two, two, QStringLiteral("    File is smaller  then 2.88MB Floppy")}},
        {QStringLiteral("100"),
         98080 * KiB,
         true,
         {three, one, QStringLiteral("               File is smaller then"), one,
          QStringLiteral("               Zip- 100 standard")}},
        {QStringLiteral("250"),
         250 * MiB,
         true,
         {three, three, QStringLiteral("             File is smaller then"), three,
          QStringLiteral("             Zip- 250 standard")}},
        {QStringLiteral("650MB"),
         650 * MiB,
         true,
         {three, three, three, QStringLiteral("  File is smaller  then CD-650 standard")}},
        {QStringLiteral("700MB"),
         700 * MiB,
         true,
         {three, three, QStringLiteral("            File is smaller  then"), three,
          QStringLiteral("            Standard 700 MB CD")}},
        {QStringLiteral("800MB"),
         800 * MiB,
         true,
         {three, three, three, QStringLiteral("      File is smaller  then 800-MB CD")}},
        // A single-layer DVD: decimal 4.7 x 10^9.
        {QStringLiteral("DVD"),
         Q_INT64_C(4700000000),
         false,
         {two, two, two, QStringLiteral("      File is smaller  then 4.7 GB DVD")}},
        // One byte below FAT32's largest file (2^32 - 1).
        {QStringLiteral("Fat32"),
         (Q_INT64_C(1) << 32) - 2,
         false,
         {two, two, QStringLiteral("              File is smaller  then "), two,
          QStringLiteral("             Max Fat32 File Size")}},
    };
}

} // namespace

const QList<MediaPreset>& mediaPresets() {
    static const QList<MediaPreset> presets = makePresets();
    return presets;
}

const MediaPreset* mediaPresetOfSize(qint64 partSize) {
    for (const MediaPreset& p : mediaPresets())
        if (p.partSize == partSize) return &p;
    return nullptr;
}

} // namespace tfs
