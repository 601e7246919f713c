// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/CheckFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <algorithm>
#include <functional>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

namespace {

const QByteArray LineEnd = "\r\n";

bool isHexDigits(const QByteArray& text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray trimmedRight(QByteArray line) {
    while (!line.isEmpty() && (isBlank(line.back()) || line.back() == '\r'))
        line.chop(1);
    return line;
}

// A name that stays in the check file's own folder.
bool isBareName(const QString& name) {
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..")) return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QChar(0)))
        return false;
    return !(name.size() >= 2 && name.at(1) == QLatin1Char(':')); // C:name
}

// Calls `take` with every line of `in` (its end and trailing blanks cut off)
// and its number, until it returns an error. Reads one bounded line at a
// time, however large the file.
QString forEachLine(QIODevice& in,
                    const std::function<QString(const QByteArray& line, int number)>& take) {
    // Room for the longest line, its CR LF and one byte more, which tells a
    // line that is too long.
    constexpr qint64 room = CheckLineMaxBytes + 3;
    std::vector<char> buffer(static_cast<size_t>(room) + 1);
    for (int number = 1;; ++number) {
        const qint64 n = in.readLine(buffer.data(), room + 1);
        if (n <= 0) return n == 0 || in.atEnd() ? QString() : QStringLiteral("cannot be read");
        const bool ended = buffer[static_cast<size_t>(n - 1)] == '\n';
        qint64 length = ended ? n - 1 : n;
        if (ended && length > 0 && buffer[static_cast<size_t>(length - 1)] == '\r') --length;
        if (length > CheckLineMaxBytes || (!ended && !in.atEnd()))
            return QStringLiteral("line %1 is too long").arg(number);
        if (QString error = take(trimmedRight(QByteArray(buffer.data(), length)), number);
            !error.isEmpty())
            return error;
        if (!ended) return {};
    }
}

#ifdef Q_OS_UNIX
// Opens a regular file for reading: never through a link, never waiting on a pipe.
bool openRegular(QFile& file, const QString& path, QString& error) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = errno == ELOOP ? QStringLiteral("is a link") : QStringLiteral("cannot be opened");
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = QStringLiteral("is not a file");
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = QStringLiteral("cannot be opened");
        return false;
    }
    return true;
}
#else
bool openRegular(QFile& file, const QString& path, QString& error) {
    const QFileInfo info(path);
    file.setFileName(path);
    if (info.isSymLink() || !info.isFile() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot be opened");
        return false;
    }
    return true;
}
#endif

// CRC-32 arithmetic modulo the polynomial, in the reflected bit order: bit 31
// holds the coefficient of x^0.
quint32 multiplyModP(quint32 a, quint32 b) {
    quint32 product = 0;
    for (quint32 bit = 0x80000000; bit != 0; bit >>= 1) {
        if (a & bit) product ^= b;
        b = (b & 1) ? (b >> 1) ^ 0xEDB88320 : b >> 1; // b * x
    }
    return product;
}

// x^(8 n) modulo the polynomial: n zero bytes.
quint32 zeroBytesOperator(qint64 n) {
    quint32 power = 0x00800000;  // x^8
    quint32 result = 0x80000000; // x^0
    for (auto bits = static_cast<quint64>(n); bits != 0; bits >>= 1) {
        if (bits & 1) result = multiplyModP(power, result);
        power = multiplyModP(power, power);
    }
    return result;
}

} // namespace

QString crcHex(quint32 crc) {
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
}

QByteArray sfvBytes(const QList<SfvEntry>& entries) {
    QByteArray out = "; Tarvello File Splitter" + LineEnd;
    for (const SfvEntry& e : entries)
        out += e.name.toUtf8() + ' ' + crcHex(e.crc).toLatin1() + LineEnd;
    return out;
}

QByteArray crcFileBytes(const QString& fileName, qint64 size, quint32 crc) {
    return "filename=" + fileName.toUtf8() + LineEnd + "size=" + QByteArray::number(size) +
           LineEnd + "crc32=" + crcHex(crc).toLatin1() + LineEnd;
}

SfvContent parseSfv(QIODevice& in) {
    SfvContent out;
    QHash<QString, quint32> crcOf;
    out.error = forEachLine(in, [&out, &crcOf](const QByteArray& line, int number) -> QString {
        if (line.isEmpty() || line.startsWith(';')) return {};
        qsizetype gap = line.size() - 1;
        while (gap >= 0 && !isBlank(line.at(gap)))
            --gap;
        const QByteArray digits = line.mid(gap + 1);
        if (gap < 0 || !isHexDigits(digits))
            return QStringLiteral("line %1 has no CRC-32").arg(number);
        const QByteArray nameBytes = trimmedRight(line.left(gap));
        const QString name = QString::fromUtf8(nameBytes);
        if (name.toUtf8() != nameBytes) // it would name a look-alike
            return QStringLiteral("line %1 is not UTF-8 text").arg(number);
        if (!isBareName(name)) return QStringLiteral("line %1 names no file here").arg(number);
        const quint32 crc = digits.toUInt(nullptr, 16);
        // One file with two different values: which one is right can't be told.
        const auto given = crcOf.constFind(name);
        if (given != crcOf.constEnd() && *given != crc)
            return QStringLiteral("line %1 gives %2 a second, different CRC-32")
                .arg(number)
                .arg(name);
        crcOf.insert(name, crc);
        out.entries.append({name, crc});
        return {};
    });
    if (!out.error.isEmpty()) out.entries.clear();
    return out;
}

CrcFileContent parseCrcFile(QIODevice& in) {
    CrcFileContent out;
    bool seen[3] = {false, false, false};
    out.error = forEachLine(in, [&](const QByteArray& line, int number) -> QString {
        if (line.isEmpty()) return {};
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) return QStringLiteral("line %1 is no field").arg(number);
        const QByteArray key = line.left(eq).trimmed().toLower();
        const QByteArray value = line.mid(eq + 1);
        int field = -1;
        bool ok = true;
        if (key == "filename") {
            field = 0;
            out.fileName = QString::fromUtf8(value);
            ok = !out.fileName.isEmpty();
        } else if (key == "size") {
            field = 1;
            const QByteArray digits = value.trimmed();
            ok = !digits.isEmpty() && digits.size() <= 18 &&
                 std::all_of(digits.begin(), digits.end(),
                             [](char c) { return c >= '0' && c <= '9'; });
            out.size = ok ? digits.toLongLong() : -1;
        } else if (key == "crc32") {
            field = 2;
            ok = isHexDigits(value.trimmed());
            out.crc = value.trimmed().toUInt(nullptr, 16);
        } else {
            return {}; // another tool's field
        }
        if (!ok || seen[field]) return QStringLiteral("line %1 is wrong").arg(number);
        seen[field] = true;
        return {};
    });
    if (out.error.isEmpty() && !(seen[0] && seen[1] && seen[2]))
        out.error = QStringLiteral("lacks a field");
    return out;
}

SfvContent readSfv(const QString& path) {
    QFile file;
    SfvContent out;
    if (!openRegular(file, path, out.error)) return out;
    return parseSfv(file);
}

CrcFileContent readCrcFile(const QString& path) {
    QFile file;
    CrcFileContent out;
    if (!openRegular(file, path, out.error)) return out;
    return parseCrcFile(file);
}

quint32 crc32Combine(quint32 crcA, quint32 crcB, qint64 lengthB) {
    // Appending B's bytes to A multiplies A's remainder by x^(8 len(B)); the
    // start value and the final complement cancel out in the sum.
    return multiplyModP(zeroBytesOperator(lengthB), crcA) ^ crcB;
}

} // namespace tfs
