#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

namespace tfs {

using Digest = std::array<uchar, 16>;

// MD5 (RFC 1321) on OpenSSL's libcrypto, whose assembly code measured faster
// here than QCryptographicHash.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5& other);
    Md5& operator=(const Md5&) = delete;
    void add(const void* bytes, qint64 count);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    void addZeros(qint64 count);
    Digest result() const; // of the bytes so far; more may be added after it
    static Digest of(const void* bytes, qint64 count);
    static Digest of(const QByteArray& bytes) { return of(bytes.constData(), bytes.size()); }

private:
    void* context_;
};

QByteArray hexOf(const Digest& digest);

} // namespace tfs
