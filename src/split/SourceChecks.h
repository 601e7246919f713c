#pragma once

#include <QString>

// Checks of a file before anything opens or splits it. Each throws FileError
// with the reason; the window and the command line report it alike.

// A source (or a part, or a file to check) must be a regular file before
// anything opens it: opening a named pipe for reading waits for a writer, and
// a folder or a device is no file.
void requireRegularFile(const QString& path);

// Right before a split: a regular, non-empty file, no link of which lies in
// destFolder under the name of one of its parts (writing that part would
// destroy the source).
void requireSplittableSource(const QString& path, const QString& destFolder);
