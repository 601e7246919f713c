// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/Gf16.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tfs::gf16 {

namespace {

constexpr quint32 Generator = 0x1100B;
constexpr quint32 Order = 65535; // the non-zero elements

struct Tables {
    std::array<quint16, Order> exp{};
    std::array<quint32, Order + 1> log{};
    std::vector<quint16> constants; // inputConstant() for every index
    Tables() {
        quint32 v = 1;
        for (quint32 k = 0; k < Order; ++k) {
            exp[k] = quint16(v);
            log[v] = k;
            v <<= 1;
            if (v & 0x10000) v ^= Generator;
        }
        constants.reserve(32768);
        for (quint32 n = 1; n < Order; ++n)
            if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0)
                constants.push_back(exp[n]);
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

void multiplyAddTables(quint16 factor, const uchar* src, uchar* dst, qint64 bytes) {
    if (factor == 0) return;
    std::array<quint16, 256> low{}, high{};
    for (int b = 0; b < 256; ++b) {
        low[b] = multiply(factor, quint16(b));
        high[b] = multiply(factor, quint16(b << 8));
    }
    for (qint64 i = 0; i + 1 < bytes; i += 2) {
        const quint16 product = low[src[i]] ^ high[src[i + 1]];
        dst[i] ^= uchar(product);
        dst[i + 1] ^= uchar(product >> 8);
    }
}

#if defined(__x86_64__)
// A factor's 16-entry tables, each in both 128-bit lanes of a register.
__attribute__((target("avx2"), always_inline)) inline void
loadFactor(const PreparedFactor& factor, __m256i low[4], __m256i high[4]) {
    for (int p = 0; p < 4; ++p) {
        low[p] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(factor.low[p])));
        high[p] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(factor.high[p])));
    }
}

// The four nibbles of 32 words at `src` (64 bytes), each in a register of
// its own: the words' low and high bytes gathered (by 128-bit lane, as the
// pack instructions order them), then split into their low and high nibbles.
__attribute__((target("avx2"), always_inline)) inline void splitNibbles(const uchar* src,
                                                                        __m256i nibbles[4]) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lowByte = _mm256_set1_epi16(0x00FF);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
    const __m256i lows =
        _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
    const __m256i highs = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
    nibbles[0] = _mm256_and_si256(lows, nibble);
    nibbles[1] = _mm256_and_si256(_mm256_srli_epi16(lows, 4), nibble);
    nibbles[2] = _mm256_and_si256(highs, nibble);
    nibbles[3] = _mm256_and_si256(_mm256_srli_epi16(highs, 4), nibble);
}

// The low and the high bytes of the products of 32 words from their four
// nibbles: each nibble looked up in the 16-entry tables of its position
// (vpshufb), the four lookups added.
__attribute__((target("avx2"), always_inline)) inline void
lookUpProducts(const __m256i low[4], const __m256i high[4], const __m256i nibbles[4],
               __m256i& lowBytes, __m256i& highBytes) {
    lowBytes = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(low[0], nibbles[0]),
                                                 _mm256_shuffle_epi8(low[1], nibbles[1])),
                                _mm256_xor_si256(_mm256_shuffle_epi8(low[2], nibbles[2]),
                                                 _mm256_shuffle_epi8(low[3], nibbles[3])));
    highBytes = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(high[0], nibbles[0]),
                                                  _mm256_shuffle_epi8(high[1], nibbles[1])),
                                 _mm256_xor_si256(_mm256_shuffle_epi8(high[2], nibbles[2]),
                                                  _mm256_shuffle_epi8(high[3], nibbles[3])));
}

// 64 bytes (32 words) per step: the words' low and high bytes are gathered
// into one register each, every nibble is looked up in a 16-entry table of
// the low and of the high bytes of its products (vpshufb), and the result is
// interleaved back into words.
__attribute__((target("avx2"))) void multiplyAddAvx2(quint16 factor, const uchar* src, uchar* dst,
                                                     qint64 bytes) {
    if (factor == 0) return;
    const PreparedFactor prepared = prepareFactor(factor);
    __m256i lo[4], hi[4];
    loadFactor(prepared, lo, hi);
    qint64 i = 0;
    for (; i + 64 <= bytes; i += 64) {
        __m256i n[4], rl, rh;
        splitNibbles(src + i, n);
        lookUpProducts(lo, hi, n, rl, rh);
        __m256i* out = reinterpret_cast<__m256i*>(dst + i);
        _mm256_storeu_si256(
            out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rl, rh)));
        _mm256_storeu_si256(
            out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rl, rh)));
    }
    for (; i + 1 < bytes; i += 2) {
        const quint16 w = quint16(src[i] | src[i + 1] << 8);
        quint16 product = 0;
        for (int p = 0; p < 4; ++p) {
            const int v = (w >> (4 * p)) & 15;
            product ^= quint16(prepared.low[p][v] | prepared.high[p][v] << 8);
        }
        dst[i] ^= uchar(product);
        dst[i + 1] ^= uchar(product >> 8);
    }
}

bool hasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

__attribute__((target("avx2"))) void prepareSourceAvx2(const uchar* src, uchar* nibbles,
                                                       qint64 bytes) {
    for (qint64 i = 0; i < bytes; i += 64, nibbles += 128) {
        __m256i n[4];
        splitNibbles(src + i, n);
        __m256i* out = reinterpret_cast<__m256i*>(nibbles);
        for (int p = 0; p < 4; ++p)
            _mm256_storeu_si256(out + p, n[p]);
    }
}

__attribute__((target("avx2"))) void multiplyAddPreparedAvx2(const PreparedFactor& factor,
                                                             const uchar* nibbles, uchar* acc,
                                                             qint64 bytes) {
    __m256i lo[4], hi[4];
    loadFactor(factor, lo, hi);
    for (qint64 i = 0; i < bytes; i += 64, nibbles += 128) {
        const __m256i* in = reinterpret_cast<const __m256i*>(nibbles);
        const __m256i n[4] = {_mm256_loadu_si256(in), _mm256_loadu_si256(in + 1),
                              _mm256_loadu_si256(in + 2), _mm256_loadu_si256(in + 3)};
        __m256i rl, rh;
        lookUpProducts(lo, hi, n, rl, rh);
        __m256i* out = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(out, _mm256_xor_si256(_mm256_loadu_si256(out), rl));
        _mm256_storeu_si256(out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), rh));
    }
}

__attribute__((target("avx2"))) void toWordsAvx2(uchar* acc, qint64 bytes) {
    for (qint64 i = 0; i < bytes; i += 64) {
        __m256i* at = reinterpret_cast<__m256i*>(acc + i);
        const __m256i rl = _mm256_loadu_si256(at), rh = _mm256_loadu_si256(at + 1);
        _mm256_storeu_si256(at, _mm256_unpacklo_epi8(rl, rh));
        _mm256_storeu_si256(at + 1, _mm256_unpackhi_epi8(rl, rh));
    }
}
#endif

// The word of a 64-byte block whose bytes sit at position j (0..31) of the
// prepared layout: as the AVX2 pack instructions order them, by 128-bit lane.
int wordAt(int j) { return j < 8 ? j : j < 16 ? j + 8 : j < 24 ? j - 8 : j; }

} // namespace

quint16 multiply(quint16 a, quint16 b) {
    if (a == 0 || b == 0) return 0;
    const Tables& t = tables();
    return t.exp[(t.log[a] + t.log[b]) % Order];
}

quint16 inverse(quint16 a) {
    const Tables& t = tables();
    return t.exp[(Order - t.log[a]) % Order];
}

quint16 power(quint16 a, quint32 exponent) {
    if (exponent == 0) return 1;
    if (a == 0) return 0;
    const Tables& t = tables();
    return t.exp[quint64(t.log[a]) * exponent % Order];
}

quint16 inputConstant(quint32 index) { return tables().constants.at(index); }

std::vector<Kernel> kernels() {
    std::vector<Kernel> all{Kernel::Tables};
#if defined(__x86_64__)
    if (hasAvx2()) all.push_back(Kernel::Avx2);
#endif
    return all;
}

const char* kernelName(Kernel kernel) {
    return kernel == Kernel::Avx2 ? "AVX2 nibble tables" : "byte tables";
}

void multiplyAddWith(Kernel kernel, quint16 factor, const uchar* src, uchar* dst, qint64 bytes) {
#if defined(__x86_64__)
    if (kernel == Kernel::Avx2) return multiplyAddAvx2(factor, src, dst, bytes);
#endif
    multiplyAddTables(factor, src, dst, bytes);
}

void multiplyAdd(quint16 factor, const uchar* src, uchar* dst, qint64 bytes) {
    static const Kernel fastest = kernels().back();
    multiplyAddWith(fastest, factor, src, dst, bytes);
}

void add(const uchar* src, uchar* dst, qint64 bytes) {
    qint64 i = 0;
    for (; i + 8 <= bytes; i += 8) {
        quint64 a, b;
        std::memcpy(&a, src + i, 8);
        std::memcpy(&b, dst + i, 8);
        b ^= a;
        std::memcpy(dst + i, &b, 8);
    }
    for (; i < bytes; ++i)
        dst[i] ^= src[i];
}

PreparedFactor prepareFactor(quint16 factor) {
    PreparedFactor prepared;
    prepared.zero = factor == 0;
    // factor * x^k for the 16 bits k, then every nibble value as their sums.
    quint16 basis[16];
    quint32 v = factor;
    for (int k = 0; k < 16; ++k) {
        basis[k] = quint16(v);
        v <<= 1;
        if (v & 0x10000) v ^= Generator;
    }
    for (int p = 0; p < 4; ++p)
        for (int n = 0; n < 16; ++n) {
            quint16 product = 0;
            for (int bit = 0; bit < 4; ++bit)
                if (n & (1 << bit)) product ^= basis[4 * p + bit];
            prepared.low[p][n] = uchar(product);
            prepared.high[p][n] = uchar(product >> 8);
        }
    return prepared;
}

void prepareSource(const uchar* src, uchar* nibbles, qint64 bytes) {
    static const Kernel fastest = kernels().back();
    prepareSourceWith(fastest, src, nibbles, bytes);
}

void prepareSourceWith(Kernel kernel, const uchar* src, uchar* nibbles, qint64 bytes) {
#if defined(__x86_64__)
    if (kernel == Kernel::Avx2) return prepareSourceAvx2(src, nibbles, bytes);
#endif
    for (qint64 i = 0; i < bytes; i += 64, nibbles += 128)
        for (int j = 0; j < 32; ++j) {
            const uchar low = src[i + 2 * wordAt(j)], high = src[i + 2 * wordAt(j) + 1];
            nibbles[j] = low & 15;
            nibbles[32 + j] = low >> 4;
            nibbles[64 + j] = high & 15;
            nibbles[96 + j] = high >> 4;
        }
}

void multiplyAddPrepared(const PreparedFactor& factor, const uchar* nibbles, uchar* acc,
                         qint64 bytes) {
    static const Kernel fastest = kernels().back();
    multiplyAddPreparedWith(fastest, factor, nibbles, acc, bytes);
}

void multiplyAddPreparedWith(Kernel kernel, const PreparedFactor& factor, const uchar* nibbles,
                             uchar* acc, qint64 bytes) {
    if (factor.zero) return;
#if defined(__x86_64__)
    if (kernel == Kernel::Avx2) return multiplyAddPreparedAvx2(factor, nibbles, acc, bytes);
#endif
    for (qint64 i = 0; i < bytes; i += 64, nibbles += 128)
        for (int j = 0; j < 32; ++j)
            for (int p = 0; p < 4; ++p) {
                acc[i + j] ^= factor.low[p][nibbles[32 * p + j]];
                acc[i + 32 + j] ^= factor.high[p][nibbles[32 * p + j]];
            }
}

void toWords(uchar* acc, qint64 bytes) {
    static const Kernel fastest = kernels().back();
    toWordsWith(fastest, acc, bytes);
}

void toWordsWith(Kernel kernel, uchar* acc, qint64 bytes) {
#if defined(__x86_64__)
    if (kernel == Kernel::Avx2) return toWordsAvx2(acc, bytes);
#endif
    uchar block[64];
    for (qint64 i = 0; i < bytes; i += 64) {
        for (int j = 0; j < 32; ++j) {
            block[2 * wordAt(j)] = acc[i + j];
            block[2 * wordAt(j) + 1] = acc[i + 32 + j];
        }
        std::memcpy(acc + i, block, 64);
    }
}

namespace {

// row[k] ^= factor * pivot[k] for `count` words.
void addMultiple(quint16 factor, const quint16* pivot, quint16* row, qint64 count) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // The words as they lie in memory are the region kernels' little-endian words.
    multiplyAdd(factor, reinterpret_cast<const uchar*>(pivot), reinterpret_cast<uchar*>(row),
                2 * count);
#else
    for (qint64 k = 0; k < count; ++k)
        row[k] ^= multiply(factor, pivot[k]);
#endif
}

} // namespace

bool invert(std::vector<quint16>& m, int n, const std::function<bool()>& goOn) {
    // Gauss-Jordan on the rows of [m | I], each row one stretch of 2n words
    // that the region kernels work on; the columns left of the pivot's are
    // zero by then and skipped.
    const size_t w = 2 * size_t(n);
    std::vector<quint16> a(size_t(n) * w, 0);
    for (size_t i = 0; i < size_t(n); ++i) {
        std::copy_n(m.begin() + qsizetype(i * size_t(n)), n, a.begin() + qsizetype(i * w));
        a[i * w + size_t(n) + i] = 1;
    }
    const auto at = [&](int row, size_t col) -> quint16& { return a[size_t(row) * w + col]; };
    for (int col = 0; col < n; ++col) {
        if (goOn && !goOn()) return false;
        int pivot = col;
        while (pivot < n && at(pivot, size_t(col)) == 0)
            ++pivot;
        if (pivot == n) return false;
        if (pivot != col) std::swap_ranges(&at(pivot, 0), &at(pivot, 0) + w, &at(col, 0));
        const quint16 scale = inverse(at(col, size_t(col)));
        for (size_t k = size_t(col); k < w; ++k)
            at(col, k) = multiply(at(col, k), scale);
        const quint16* pivotRow = &at(col, size_t(col));
        for (int row = 0; row < n; ++row) {
            const quint16 f = at(row, size_t(col));
            if (row != col && f != 0)
                addMultiple(f, pivotRow, &at(row, size_t(col)), qint64(w) - col);
        }
    }
    for (size_t i = 0; i < size_t(n); ++i)
        std::copy_n(a.begin() + qsizetype(i * w + size_t(n)), n,
                    m.begin() + qsizetype(i * size_t(n)));
    return true;
}

} // namespace tfs::gf16
