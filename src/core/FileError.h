#pragma once

#include <QString>
#include <stdexcept>

// An error that ends the running handler: a file that can't be opened, created,
// read or written, a text that isn't a whole number, a size that overflows.
// The application's top-level error handler shows what() in a message box.
class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// "<what> <path>: <system message>" for the errno left by a failed call.
QString systemErrorText(const QString& what, const QString& path, int err);
