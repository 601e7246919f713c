#include "recovery/Gf16.h"

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

// The products of the factor with every value of one nibble of a word:
// products[p][v] = factor * (v << 4p), for the nibble positions p = 0..3.
std::array<std::array<quint16, 16>, 4> nibbleProducts(quint16 factor) {
    std::array<std::array<quint16, 16>, 4> products{};
    for (int p = 0; p < 4; ++p)
        for (int v = 0; v < 16; ++v)
            products[p][v] = multiply(factor, quint16(v << (4 * p)));
    return products;
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
// 64 bytes (32 words) per step: the words' low and high bytes are gathered
// into one register each, every nibble is looked up in a 16-entry table of
// the low and of the high bytes of its products (vpshufb), and the result is
// interleaved back into words.
__attribute__((target("avx2"))) void multiplyAddAvx2(quint16 factor, const uchar* src, uchar* dst,
                                                     qint64 bytes) {
    if (factor == 0) return;
    const auto products = nibbleProducts(factor);
    alignas(16) uchar lowTable[4][16], highTable[4][16];
    for (int p = 0; p < 4; ++p)
        for (int v = 0; v < 16; ++v) {
            lowTable[p][v] = uchar(products[p][v]);
            highTable[p][v] = uchar(products[p][v] >> 8);
        }
    __m256i lo[4], hi[4];
    for (int p = 0; p < 4; ++p) {
        lo[p] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(lowTable[p])));
        hi[p] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(highTable[p])));
    }
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i lowByte = _mm256_set1_epi16(0x00FF);
    qint64 i = 0;
    for (; i + 64 <= bytes; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
        const __m256i lows =
            _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
        const __m256i highs = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        const __m256i n0 = _mm256_and_si256(lows, nibble);
        const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lows, 4), nibble);
        const __m256i n2 = _mm256_and_si256(highs, nibble);
        const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(highs, 4), nibble);
        const __m256i rl = _mm256_xor_si256(
            _mm256_xor_si256(_mm256_shuffle_epi8(lo[0], n0), _mm256_shuffle_epi8(lo[1], n1)),
            _mm256_xor_si256(_mm256_shuffle_epi8(lo[2], n2), _mm256_shuffle_epi8(lo[3], n3)));
        const __m256i rh = _mm256_xor_si256(
            _mm256_xor_si256(_mm256_shuffle_epi8(hi[0], n0), _mm256_shuffle_epi8(hi[1], n1)),
            _mm256_xor_si256(_mm256_shuffle_epi8(hi[2], n2), _mm256_shuffle_epi8(hi[3], n3)));
        __m256i* out = reinterpret_cast<__m256i*>(dst + i);
        _mm256_storeu_si256(
            out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rl, rh)));
        _mm256_storeu_si256(
            out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rl, rh)));
    }
    for (; i + 1 < bytes; i += 2) {
        const quint16 w = quint16(src[i] | src[i + 1] << 8);
        const quint16 product = products[0][w & 15] ^ products[1][(w >> 4) & 15] ^
                                products[2][(w >> 8) & 15] ^ products[3][w >> 12];
        dst[i] ^= uchar(product);
        dst[i + 1] ^= uchar(product >> 8);
    }
}

bool hasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

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

quint16 inputConstant(quint32 index) {
    return tables().constants.at(index);
}

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

bool invert(std::vector<quint16>& m, int n) {
    std::vector<quint16> inv(size_t(n) * n, 0);
    for (int i = 0; i < n; ++i)
        inv[size_t(i) * n + i] = 1;
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        while (pivot < n && m[size_t(pivot) * n + col] == 0)
            ++pivot;
        if (pivot == n) return false;
        if (pivot != col)
            for (int k = 0; k < n; ++k) {
                std::swap(m[size_t(pivot) * n + k], m[size_t(col) * n + k]);
                std::swap(inv[size_t(pivot) * n + k], inv[size_t(col) * n + k]);
            }
        const quint16 scale = inverse(m[size_t(col) * n + col]);
        for (int k = 0; k < n; ++k) {
            m[size_t(col) * n + k] = multiply(m[size_t(col) * n + k], scale);
            inv[size_t(col) * n + k] = multiply(inv[size_t(col) * n + k], scale);
        }
        for (int row = 0; row < n; ++row) {
            const quint16 f = m[size_t(row) * n + col];
            if (row == col || f == 0) continue;
            for (int k = 0; k < n; ++k) {
                m[size_t(row) * n + k] ^= multiply(f, m[size_t(col) * n + k]);
                inv[size_t(row) * n + k] ^= multiply(f, inv[size_t(col) * n + k]);
            }
        }
    }
    m = std::move(inv);
    return true;
}

} // namespace tfs::gf16

#include <atomic>
#include <thread>

namespace tfs::gf16 {

void multiplyAddMany(const uchar* const* srcs, int sources, const quint16* factors,
                     uchar* const* dsts, int count, qint64 bytes,
                     const std::vector<std::function<void()>>& alongside) {
    // Tasks taken in turn by this thread and a helper: those alongside
    // first (they are the longest), then one per destination (all sources
    // into it, so that no two threads write one destination), or both
    // halves of a single destination.
    const int pieces = count == 1 && bytes >= 4096 ? 2 : 1;
    const qint64 half = bytes / 2 / 64 * 64;
    const int first = int(alongside.size());
    const int tasks = first + count * pieces;
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int t; (t = next.fetch_add(1)) < tasks;) {
            if (t < first) {
                alongside[size_t(t)]();
                continue;
            }
            const int k = (t - first) / pieces;
            const qint64 from = pieces == 1 || (t - first) % 2 == 0 ? 0 : half;
            const qint64 to = pieces == 1 || (t - first) % 2 == 1 ? bytes : half;
            for (int s = 0; s < sources; ++s)
                multiplyAdd(factors[k * sources + s], srcs[s] + from, dsts[k] + from, to - from);
        }
    };
    const bool worthIt = tasks >= 2 && (first > 0 || bytes * count * sources >= (256 << 10));
    if (worthIt && std::thread::hardware_concurrency() > 1) {
        std::thread helper(work);
        work();
        helper.join();
    } else {
        work();
    }
}

void multiplyAddMany(const uchar* src, const quint16* factors, uchar* const* dsts, int count,
                     qint64 bytes) {
    multiplyAddMany(&src, 1, factors, dsts, count, bytes, {});
}

} // namespace tfs::gf16
