// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stdexcept>

// An error that ends the running operation, whatever its kind: a file that
// can't be opened, created, read or written, a text that isn't a number, a
// size that overflows 64 bits. The window's top-level error handler shows
// what() in a message box and the program goes on; the command line prints it
// and exits with an error status.
class OperationError : public std::runtime_error {
public:
    explicit OperationError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// "<what> <path>: <system message>" for the errno left by a failed call.
QString systemErrorText(const QString& what, const QString& path, int err);
