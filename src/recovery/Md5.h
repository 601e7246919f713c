// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

namespace tfs {

using Digest = std::array<uchar, 16>;

// MD5 (RFC 1321). One MD5 is a chain of dependent steps that keeps one core
// busy at well under a gigabyte a second; the MD5s of several buffers (a
// set's parts) are taken together by addEach(), eight at a time in the lanes
// of AVX2 registers where the processor has them.
class Md5 {
public:
    Md5();
    void add(const void* bytes, qint64 count);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    void addZeros(qint64 count);
    Digest result() const; // of the bytes so far; more may be added after it
    static Digest of(const void* bytes, qint64 count);
    static Digest of(const QByteArray& bytes) { return of(bytes.constData(), bytes.size()); }

    // md5s[k]->add(bytes[k], counts[k]) for k = 0 .. n-1, the MD5s being
    // distinct; the same digests, computed several at once.
    static void addEach(Md5* const* md5s, const uchar* const* bytes, const qint64* counts, int n);
    // Whether addEach() has the eight-lane kernel on this processor.
    static bool hasLanes();

private:
    quint32 state_[4];
    quint64 length_ = 0; // bytes added
    uchar buffer_[64];   // the bytes of an incomplete block: length_ % 64 of them
};

QByteArray hexOf(const Digest& digest);

} // namespace tfs
