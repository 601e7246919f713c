// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/Md5.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace tfs::par2 {

// The PAR 2.0 packets: a 64-byte header (magic, length, the packet's MD5,
// the recovery set's ID, the type) and a body, every length a multiple of 4
// and every integer little-endian.

inline constexpr qint64 HeaderSize = 64;
inline constexpr quint32 MaxSlices = 32768;   // input slices of a whole set
inline constexpr quint32 MaxExponent = 65534; // recovery exponents 0 .. 65534
inline constexpr qint64 MaxNameBytes = 100000;

enum class Type { Main, FileDesc, Ifsc, Recovery, Creator, Other };
QByteArray typeBytes(Type type); // 16 bytes
Type typeOf(const char* bytes16);

struct SliceCheck {
    Digest md5{};
    quint32 crc = 0;
};

// One file of the recovery set.
struct FileEntry {
    Digest id{};
    Digest md5{};     // of the whole file
    Digest md5Head{}; // of its first 16 KiB
    quint64 length = 0;
    QByteArray name; // relative to the folder of the recovery files
    std::vector<SliceCheck> slices;
};

// File ID = MD5(md5Head || length || name).
Digest fileIdOf(const Digest& md5Head, quint64 length, const QByteArray& name);
// File IDs order as 128-bit little-endian numbers.
bool idLess(const Digest& a, const Digest& b);

// A whole packet: header (with its MD5) and body (padded to a multiple of 4).
QByteArray packet(const Digest& setId, Type type, QByteArray body);
QByteArray mainBody(quint64 sliceSize, const std::vector<Digest>& ids);
QByteArray fileDescBody(const FileEntry& file);
QByteArray ifscBody(const FileEntry& file);
QByteArray creatorBody(const QByteArray& text);
// The header of a recovery packet whose body (exponent and data) hashed to
// `bodyMd5`, as packetMd5 fed with set ID, type and body gives it.
QByteArray header(qint64 length, const Digest& packetMd5, const Digest& setId, Type type);

// Reading: the fields of bodies. Each returns false when the body is malformed.
struct MainFields {
    quint64 sliceSize = 0;
    std::vector<Digest> ids; // the recovery set's, in order
};
bool parseMain(const QByteArray& body, MainFields& out, QString& why);
bool parseFileDesc(const QByteArray& body, FileEntry& out, QString& why);
bool parseIfsc(const QByteArray& body, Digest& id, std::vector<SliceCheck>& slices, QString& why);

// Whether a name from a file description can be used as a file in the
// folder of the recovery files: not empty, no separator, no "." or "..",
// no control characters, UTF-8 text.
bool isPlainFileName(const QByteArray& name);
// Why it can't: "a file in a subfolder (sub/x.bin)", ...; empty when it can.
QString unusableNameReason(const QByteArray& name);

quint32 readU32(const char* p);
quint64 readU64(const char* p);
void appendU32(QByteArray& out, quint32 v);
void appendU64(QByteArray& out, quint64 v);

} // namespace tfs::par2
