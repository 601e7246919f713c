// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/Packets.h"

#include "core/LookAlikeNames.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <cstring>

namespace tfs::par2 {

namespace {

const char Magic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
const char TypeNames[5][9] = {"Main\0\0\0\0", "FileDesc", "IFSC\0\0\0\0", "RecvSlic", "Creator\0"};

void appendBytes(QByteArray& out, const Digest& d) {
    out.append(reinterpret_cast<const char*>(d.data()), 16);
}

Digest digestAt(const char* p) {
    Digest d;
    std::memcpy(d.data(), p, 16);
    return d;
}

void padTo4(QByteArray& bytes) {
    while (bytes.size() % 4 != 0)
        bytes.append('\0');
}

} // namespace

QByteArray typeBytes(Type type) {
    QByteArray bytes("PAR 2.0\0", 8);
    bytes.append(TypeNames[int(type)], 8);
    return bytes;
}

Type typeOf(const char* bytes16) {
    if (std::memcmp(bytes16, "PAR 2.0\0", 8) != 0) return Type::Other;
    for (int t = 0; t < 5; ++t)
        if (std::memcmp(bytes16 + 8, TypeNames[t], 8) == 0) return Type(t);
    return Type::Other;
}

quint32 readU32(const char* p) {
    const auto* u = reinterpret_cast<const uchar*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint64 readU64(const char* p) { return quint64(readU32(p)) | quint64(readU32(p + 4)) << 32; }

void appendU32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i)
        out.append(char(v >> (8 * i)));
}

void appendU64(QByteArray& out, quint64 v) {
    appendU32(out, quint32(v));
    appendU32(out, quint32(v >> 32));
}

Digest fileIdOf(const Digest& md5Head, quint64 length, const QByteArray& name) {
    Md5 md5;
    md5.add(md5Head.data(), 16);
    QByteArray size;
    appendU64(size, length);
    md5.add(size);
    md5.add(name);
    return md5.result();
}

bool idLess(const Digest& a, const Digest& b) {
    for (int i = 15; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

QByteArray header(qint64 length, const Digest& packetMd5, const Digest& setId, Type type) {
    QByteArray h(Magic, 8);
    appendU64(h, quint64(length));
    appendBytes(h, packetMd5);
    appendBytes(h, setId);
    h.append(typeBytes(type));
    return h;
}

QByteArray packet(const Digest& setId, Type type, QByteArray body) {
    padTo4(body);
    Md5 md5;
    md5.add(setId.data(), 16);
    md5.add(typeBytes(type));
    md5.add(body);
    return header(HeaderSize + body.size(), md5.result(), setId, type) + body;
}

QByteArray mainBody(quint64 sliceSize, const std::vector<Digest>& ids) {
    QByteArray body;
    appendU64(body, sliceSize);
    appendU32(body, quint32(ids.size()));
    for (const Digest& id : ids)
        appendBytes(body, id);
    return body;
}

QByteArray fileDescBody(const FileEntry& file) {
    QByteArray body;
    appendBytes(body, file.id);
    appendBytes(body, file.md5);
    appendBytes(body, file.md5Head);
    appendU64(body, file.length);
    body.append(file.name);
    padTo4(body);
    return body;
}

QByteArray ifscBody(const FileEntry& file) {
    QByteArray body;
    appendBytes(body, file.id);
    for (const SliceCheck& s : file.slices) {
        appendBytes(body, s.md5);
        appendU32(body, s.crc);
    }
    return body;
}

QByteArray creatorBody(const QByteArray& text) {
    QByteArray body = text;
    padTo4(body);
    return body;
}

bool parseMain(const QByteArray& body, MainFields& out, QString& why) {
    if (body.size() < 12 || (body.size() - 12) % 16 != 0) {
        why = QStringLiteral("a main packet of a wrong length");
        return false;
    }
    out.sliceSize = readU64(body.constData());
    const quint32 count = readU32(body.constData() + 8);
    if (out.sliceSize == 0 || out.sliceSize % 4 != 0) {
        why = QStringLiteral("a slice size of %1 bytes").arg(out.sliceSize);
        return false;
    }
    if (count == 0 || count > MaxSlices || qint64(count) > (body.size() - 12) / 16) {
        why = QStringLiteral("a main packet naming %1 files").arg(count);
        return false;
    }
    out.ids.clear();
    for (quint32 i = 0; i < count; ++i)
        out.ids.push_back(digestAt(body.constData() + 12 + 16 * i));
    return true;
}

bool isPlainFileName(const QByteArray& name) { return unusableNameReason(name).isEmpty(); }

QString unusableNameReason(const QByteArray& name) {
    const bool control =
        std::any_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x20; });
    // A newline or a byte that is not UTF-8 shown as \xNN, never raw.
    const QString shown = isUtf8Name(name) && !control ? QString::fromUtf8(name).left(200)
                                                       : nameBytesShown(name.left(200));
    if (name.isEmpty()) return QStringLiteral("a file without a name");
    // Windows' separator counts as one: another tool's "sub\\x.bin".
    const QList<QByteArray> steps = QByteArray(name).replace('\\', '/').split('/');
    if (steps.first().isEmpty() || steps.contains(".") || steps.contains(".."))
        return QStringLiteral("a file outside its folder (%1)").arg(shown);
    if (steps.size() > 1) return QStringLiteral("a file in a subfolder (%1)").arg(shown);
    if (control) return QStringLiteral("a file name with a control character (%1)").arg(shown);
    if (!isUtf8Name(name))
        return QStringLiteral("a file name that is not UTF-8 text (%1), which this program would "
                              "take for another file")
            .arg(shown);
    return {};
}

bool parseFileDesc(const QByteArray& body, FileEntry& out, QString& why) {
    if (body.size() < 60) {
        why = QStringLiteral("a file description without a name");
        return false;
    }
    const char* p = body.constData();
    out.id = digestAt(p);
    out.md5 = digestAt(p + 16);
    out.md5Head = digestAt(p + 32);
    out.length = readU64(p + 48);
    QByteArray name = body.mid(56);
    if (const qsizetype nul = name.indexOf('\0'); nul >= 0) name.truncate(nul);
    if (name.size() > MaxNameBytes) {
        why = QStringLiteral("a file name of %1 bytes").arg(name.size());
        return false;
    }
    if (const QString reason = unusableNameReason(name); !reason.isEmpty()) {
        why = reason;
        return false;
    }
    out.name = name;
    if (out.length <= 16384 && out.md5 != out.md5Head) {
        why = QStringLiteral("a description of %1 whose checksums disagree")
                  .arg(QString::fromUtf8(name));
        return false;
    }
    if (fileIdOf(out.md5Head, out.length, name) != out.id) {
        why = QStringLiteral("a description of %1 whose ID does not match it")
                  .arg(QString::fromUtf8(name));
        return false;
    }
    return true;
}

bool parseIfsc(const QByteArray& body, Digest& id, std::vector<SliceCheck>& slices, QString& why) {
    if (body.size() < 16 || (body.size() - 16) % 20 != 0 ||
        (body.size() - 16) / 20 > qint64(MaxSlices)) {
        why = QStringLiteral("a slice checksum packet of a wrong length");
        return false;
    }
    id = digestAt(body.constData());
    slices.clear();
    for (qsizetype at = 16; at < body.size(); at += 20)
        slices.push_back({digestAt(body.constData() + at), readU32(body.constData() + at + 16)});
    return true;
}

} // namespace tfs::par2
