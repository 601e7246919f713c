// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/Md5.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tfs {

namespace {

constexpr quint32 K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// The 64 steps of a block, in four rounds of sixteen; STEP(f, a, b, c, d,
// message word, step, shift) is defined by each kernel for its registers.
#define MD5_ROUNDS(STEP)                                                                           \
    STEP(F, a, b, c, d, 0, 0, 7);                                                                  \
    STEP(F, d, a, b, c, 1, 1, 12);                                                                 \
    STEP(F, c, d, a, b, 2, 2, 17);                                                                 \
    STEP(F, b, c, d, a, 3, 3, 22);                                                                 \
    STEP(F, a, b, c, d, 4, 4, 7);                                                                  \
    STEP(F, d, a, b, c, 5, 5, 12);                                                                 \
    STEP(F, c, d, a, b, 6, 6, 17);                                                                 \
    STEP(F, b, c, d, a, 7, 7, 22);                                                                 \
    STEP(F, a, b, c, d, 8, 8, 7);                                                                  \
    STEP(F, d, a, b, c, 9, 9, 12);                                                                 \
    STEP(F, c, d, a, b, 10, 10, 17);                                                               \
    STEP(F, b, c, d, a, 11, 11, 22);                                                               \
    STEP(F, a, b, c, d, 12, 12, 7);                                                                \
    STEP(F, d, a, b, c, 13, 13, 12);                                                               \
    STEP(F, c, d, a, b, 14, 14, 17);                                                               \
    STEP(F, b, c, d, a, 15, 15, 22);                                                               \
    STEP(G, a, b, c, d, 1, 16, 5);                                                                 \
    STEP(G, d, a, b, c, 6, 17, 9);                                                                 \
    STEP(G, c, d, a, b, 11, 18, 14);                                                               \
    STEP(G, b, c, d, a, 0, 19, 20);                                                                \
    STEP(G, a, b, c, d, 5, 20, 5);                                                                 \
    STEP(G, d, a, b, c, 10, 21, 9);                                                                \
    STEP(G, c, d, a, b, 15, 22, 14);                                                               \
    STEP(G, b, c, d, a, 4, 23, 20);                                                                \
    STEP(G, a, b, c, d, 9, 24, 5);                                                                 \
    STEP(G, d, a, b, c, 14, 25, 9);                                                                \
    STEP(G, c, d, a, b, 3, 26, 14);                                                                \
    STEP(G, b, c, d, a, 8, 27, 20);                                                                \
    STEP(G, a, b, c, d, 13, 28, 5);                                                                \
    STEP(G, d, a, b, c, 2, 29, 9);                                                                 \
    STEP(G, c, d, a, b, 7, 30, 14);                                                                \
    STEP(G, b, c, d, a, 12, 31, 20);                                                               \
    STEP(H, a, b, c, d, 5, 32, 4);                                                                 \
    STEP(H, d, a, b, c, 8, 33, 11);                                                                \
    STEP(H, c, d, a, b, 11, 34, 16);                                                               \
    STEP(H, b, c, d, a, 14, 35, 23);                                                               \
    STEP(H, a, b, c, d, 1, 36, 4);                                                                 \
    STEP(H, d, a, b, c, 4, 37, 11);                                                                \
    STEP(H, c, d, a, b, 7, 38, 16);                                                                \
    STEP(H, b, c, d, a, 10, 39, 23);                                                               \
    STEP(H, a, b, c, d, 13, 40, 4);                                                                \
    STEP(H, d, a, b, c, 0, 41, 11);                                                                \
    STEP(H, c, d, a, b, 3, 42, 16);                                                                \
    STEP(H, b, c, d, a, 6, 43, 23);                                                                \
    STEP(H, a, b, c, d, 9, 44, 4);                                                                 \
    STEP(H, d, a, b, c, 12, 45, 11);                                                               \
    STEP(H, c, d, a, b, 15, 46, 16);                                                               \
    STEP(H, b, c, d, a, 2, 47, 23);                                                                \
    STEP(I, a, b, c, d, 0, 48, 6);                                                                 \
    STEP(I, d, a, b, c, 7, 49, 10);                                                                \
    STEP(I, c, d, a, b, 14, 50, 15);                                                               \
    STEP(I, b, c, d, a, 5, 51, 21);                                                                \
    STEP(I, a, b, c, d, 12, 52, 6);                                                                \
    STEP(I, d, a, b, c, 3, 53, 10);                                                                \
    STEP(I, c, d, a, b, 10, 54, 15);                                                               \
    STEP(I, b, c, d, a, 1, 55, 21);                                                                \
    STEP(I, a, b, c, d, 8, 56, 6);                                                                 \
    STEP(I, d, a, b, c, 15, 57, 10);                                                               \
    STEP(I, c, d, a, b, 6, 58, 15);                                                                \
    STEP(I, b, c, d, a, 13, 59, 21);                                                               \
    STEP(I, a, b, c, d, 4, 60, 6);                                                                 \
    STEP(I, d, a, b, c, 11, 61, 10);                                                               \
    STEP(I, c, d, a, b, 2, 62, 15);                                                                \
    STEP(I, b, c, d, a, 9, 63, 21)

// One stream, `blocks` 64-byte blocks.
void compress(quint32* state, const uchar* p, qint64 blocks) {
#define F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define H(x, y, z) ((x) ^ (y) ^ (z))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))
#define SCALAR_STEP(f, a, b, c, d, w, k, s)                                                        \
    a += f(b, c, d) + m[w] + K[k];                                                                 \
    a = ((a << s) | (a >> (32 - s))) + b
    for (; blocks > 0; --blocks, p += 64) {
        quint32 m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = qFromLittleEndian<quint32>(p + 4 * i);
        quint32 a = state[0], b = state[1], c = state[2], d = state[3];
        MD5_ROUNDS(SCALAR_STEP);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
#undef SCALAR_STEP
#undef F
#undef G
#undef H
#undef I
}

#if defined(__x86_64__)
// Eight streams at once per group, one in each 32-bit lane: states[4][8 *
// Groups] (word, stream), `blocks` blocks of each. Two groups interleave two
// independent chains of steps, which hides the latency of each.
template <int Groups>
__attribute__((target("avx2"))) void compressLanes(quint32 (*states)[8 * Groups],
                                                   const uchar* const* streams, qint64 blocks) {
#define F(x, y, z) _mm256_xor_si256(z, _mm256_and_si256(x, _mm256_xor_si256(y, z)))
#define G(x, y, z) _mm256_xor_si256(y, _mm256_and_si256(z, _mm256_xor_si256(x, y)))
#define H(x, y, z) _mm256_xor_si256(_mm256_xor_si256(x, y), z)
#define I(x, y, z) _mm256_xor_si256(y, _mm256_or_si256(x, _mm256_xor_si256(z, ones)))
#define LANES_STEP(f, a, b, c, d, w, k, s)                                                         \
    for (int g = 0; g < Groups; ++g) {                                                             \
        a[g] = _mm256_add_epi32(_mm256_add_epi32(a[g], f(b[g], c[g], d[g])),                       \
                                _mm256_add_epi32(m[g][w], _mm256_set1_epi32(int(K[k]))));          \
        a[g] = _mm256_add_epi32(                                                                   \
            _mm256_or_si256(_mm256_slli_epi32(a[g], s), _mm256_srli_epi32(a[g], 32 - s)), b[g]);   \
    }
    const __m256i ones = _mm256_set1_epi32(-1);
    __m256i a[Groups], b[Groups], c[Groups], d[Groups];
    for (int g = 0; g < Groups; ++g) {
        a[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[0] + 8 * g));
        b[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[1] + 8 * g));
        c[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[2] + 8 * g));
        d[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[3] + 8 * g));
    }
    for (qint64 at = 0; at < blocks * 64; at += 64) {
        // The message words, word-major: m[g][w] holds word w of every stream
        // of the group (two 8 x 8 transposes of 32-bit words).
        __m256i m[Groups][16];
        for (int g = 0; g < Groups; ++g)
            for (int half = 0; half < 2; ++half) {
                __m256i r[8];
                for (int lane = 0; lane < 8; ++lane)
                    r[lane] = _mm256_loadu_si256(
                        reinterpret_cast<const __m256i*>(streams[8 * g + lane] + at + 32 * half));
                const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]);
                const __m256i t1 = _mm256_unpackhi_epi32(r[0], r[1]);
                const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]);
                const __m256i t3 = _mm256_unpackhi_epi32(r[2], r[3]);
                const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]);
                const __m256i t5 = _mm256_unpackhi_epi32(r[4], r[5]);
                const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]);
                const __m256i t7 = _mm256_unpackhi_epi32(r[6], r[7]);
                const __m256i u0 = _mm256_unpacklo_epi64(t0, t2);
                const __m256i u1 = _mm256_unpackhi_epi64(t0, t2);
                const __m256i u2 = _mm256_unpacklo_epi64(t1, t3);
                const __m256i u3 = _mm256_unpackhi_epi64(t1, t3);
                const __m256i u4 = _mm256_unpacklo_epi64(t4, t6);
                const __m256i u5 = _mm256_unpackhi_epi64(t4, t6);
                const __m256i u6 = _mm256_unpacklo_epi64(t5, t7);
                const __m256i u7 = _mm256_unpackhi_epi64(t5, t7);
                __m256i* w = m[g] + 8 * half;
                w[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
                w[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
                w[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
                w[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
                w[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
                w[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
                w[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
                w[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
            }
        __m256i a0[Groups], b0[Groups], c0[Groups], d0[Groups];
        for (int g = 0; g < Groups; ++g) {
            a0[g] = a[g];
            b0[g] = b[g];
            c0[g] = c[g];
            d0[g] = d[g];
        }
        MD5_ROUNDS(LANES_STEP);
        for (int g = 0; g < Groups; ++g) {
            a[g] = _mm256_add_epi32(a[g], a0[g]);
            b[g] = _mm256_add_epi32(b[g], b0[g]);
            c[g] = _mm256_add_epi32(c[g], c0[g]);
            d[g] = _mm256_add_epi32(d[g], d0[g]);
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[0] + 8 * g), a[g]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[1] + 8 * g), b[g]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[2] + 8 * g), c[g]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[3] + 8 * g), d[g]);
    }
#undef LANES_STEP
#undef F
#undef G
#undef H
#undef I
}

// The first streams (8 or 16, those beyond the count filled in with the
// last) for as many blocks as the shortest has.
template <int Groups, typename Stream> void runLanes(std::vector<Stream>& streams) {
    constexpr int Width = 8 * Groups;
    const int used = int(qMin<size_t>(Width, streams.size()));
    quint32 states[4][Width];
    const uchar* from[Width];
    qint64 blocks = streams[0].blocks;
    for (int lane = 0; lane < Width; ++lane) {
        const Stream& s = streams[size_t(qMin(lane, used - 1))];
        for (int w = 0; w < 4; ++w)
            states[w][lane] = s.state[w];
        from[lane] = s.at;
        blocks = qMin(blocks, s.blocks);
    }
    compressLanes<Groups>(states, from, blocks);
    for (int lane = 0; lane < used; ++lane) {
        Stream& s = streams[size_t(lane)];
        for (int w = 0; w < 4; ++w)
            s.state[w] = states[w][lane];
        s.at += blocks * 64;
        s.blocks -= blocks;
    }
}

bool detectLanes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
bool detectLanes() { return false; }
#endif

} // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::add(const void* bytes, qint64 count) {
    const uchar* p = static_cast<const uchar*>(bytes);
    if (count <= 0) return;
    qint64 buffered = qint64(length_ % 64);
    length_ += quint64(count);
    if (buffered > 0) {
        const qint64 n = qMin<qint64>(64 - buffered, count);
        std::memcpy(buffer_ + buffered, p, size_t(n));
        p += n;
        count -= n;
        buffered += n;
        if (buffered < 64) return;
        compress(state_, buffer_, 1);
    }
    compress(state_, p, count / 64);
    std::memcpy(buffer_, p + count / 64 * 64, size_t(count % 64));
}

void Md5::addZeros(qint64 count) {
    static const uchar zeros[4096] = {};
    while (count > 0) {
        const qint64 n = qMin<qint64>(count, sizeof zeros);
        add(zeros, n);
        count -= n;
    }
}

Digest Md5::result() const {
    Md5 last(*this);
    uchar tail[72] = {0x80};
    const qint64 pad = 1 + (119 - qint64(length_ % 64)) % 64; // to 56 modulo 64
    qToLittleEndian<quint64>(length_ * 8, tail + pad);
    last.add(tail, pad + 8);
    Digest digest{};
    for (int i = 0; i < 4; ++i)
        qToLittleEndian<quint32>(last.state_[i], digest.data() + 4 * i);
    return digest;
}

Digest Md5::of(const void* bytes, qint64 count) {
    Md5 md5;
    md5.add(bytes, count);
    return md5.result();
}

bool Md5::hasLanes() {
    static const bool lanes = detectLanes();
    return lanes;
}

void Md5::addEach(Md5* const* md5s, const uchar* const* bytes, const qint64* counts, int n) {
    // Each stream's whole blocks once its buffered bytes are topped up to
    // one; those go through the lanes, the rest one stream at a time.
    struct Stream {
        quint32* state; // the MD5's own, updated in place
        const uchar* at;
        qint64 blocks;
    };
    struct Tail {
        Md5* md5;
        const uchar* at;
        qint64 count; // fewer than 64
    };
    std::vector<Stream> streams;
    std::vector<Tail> tails; // the bytes after the whole blocks
    for (int k = 0; k < n; ++k) {
        const uchar* p = bytes[k];
        qint64 count = counts[k];
        if (count <= 0) continue;
        const qint64 buffered = qint64(md5s[k]->length_ % 64);
        if (buffered > 0) {
            const qint64 top = qMin<qint64>(64 - buffered, count);
            md5s[k]->add(p, top);
            p += top;
            count -= top;
        }
        if (count / 64 > 0) {
            streams.push_back({md5s[k]->state_, p, count / 64});
            md5s[k]->length_ += quint64(count / 64) * 64;
        }
        if (count % 64 > 0) tails.push_back({md5s[k], p + count / 64 * 64, count % 64});
    }
#if defined(__x86_64__)
    if (hasLanes())
        while (streams.size() >= 2) {
            if (streams.size() > 8)
                runLanes<2>(streams);
            else
                runLanes<1>(streams);
            streams.erase(std::remove_if(streams.begin(), streams.end(),
                                         [](const Stream& s) { return s.blocks == 0; }),
                          streams.end());
        }
#endif
    for (Stream& s : streams)
        compress(s.state, s.at, s.blocks);
    for (const Tail& tail : tails)
        tail.md5->add(tail.at, tail.count);
}

QByteArray hexOf(const Digest& digest) {
    return QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex();
}

} // namespace tfs
