// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/LookAlikeNames.h"

#include <QString>
#include <QStringList>

// Where a file handed to the window from outside (the program's argument, a
// file manager's "Open With", a drop on the start panel) is loaded: a part of
// a set (name.001, name.0101, another tool's name.101), the set's part list
// (name.txt) or its check file (name.sfv, name.crc) opens the Join panel on
// the set's part; any other regular file opens the Split panel. Anything
// else is refused with the lines of a report that say why.
struct OpenedFile {
    enum Panel { Split, Join, Refused };
    Panel panel = Refused;
    QString path;       // the file to load: the part for Join, the file itself for Split
    QStringList report; // Refused: the report's lines
};

OpenedFile classifyOpened(const QString& path);

// Why a path can't be loaded at all (not UTF-8, missing, a folder, a pipe or
// device, unreadable), as a report; empty for a readable regular file.
QStringList unusableFileReport(const QString& path);

// A part's name: its last extension is three or more digits.
bool isPartName(const QString& fileName);

// The first part (name.001) named by a part list or check file name.txt,
// name.sfv or name.crc; empty for any other name.
QString firstPartOfList(const QString& path);

// A refusal's report: a headline and, below it, the file's name (or nothing).
QStringList refusalReport(const QString& headline, const QString& fileName = QString());

// The refusals' headlines.
namespace refusal {
inline const char* const NotUtf8 = "Its name is not UTF-8 text; rename the file:";
inline const char* const Missing = "File not found:";
inline const char* const Folder = "This is a folder, not a file:";
inline const char* const NotRegular = "Not a regular file:";
inline const char* const Unreadable = "The file cannot be read:";
inline const char* const NoFirstPart = "Its set's first part (.001) is missing:";
inline const char* const NotLocal = "Only files on this computer can be opened";
inline const char* const OneFile = "One file at a time, please";
inline const char* const TwoFiles = "Drop two files to compare them";
} // namespace refusal
