// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// A file name that is not UTF-8 text can't be handed to the file system byte
// for byte once it has been made text: its odd bytes have become replacement
// characters (U+FFFD), and the text names a look-alike (another file, or
// none). The window and the command line refuse such names before they open
// anything, with the same words.

// Whether a name as it came (a command-line argument's bytes) is UTF-8 text.
bool isUtf8Name(const QByteArray& bytes);

// Whether a name already made text may name a look-alike. A name that truly
// holds U+FFFD can't be told apart, and is counted as one too.
bool mayNameLookAlike(const QString& path);

// A name's bytes as text: printable ASCII as it is, every other byte as \xNN
// (caf\xe9.bin), so that a name that is not UTF-8 is shown as it is.
QString nameBytesShown(const QByteArray& bytes);

// The refusal of such a name, which is shown as `shownName`.
QString lookAlikeRefusal(const QString& shownName);
