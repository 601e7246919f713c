// SPDX-License-Identifier: GPL-3.0-or-later
#include "verify/Crc32Fast.h"

#include "verify/Crc32.h"

#include <QtEndian>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TFS_CRC32_X86 1
#include <immintrin.h>
#endif

namespace tfs {

namespace {

using Kernel = quint32 (*)(const uchar* p, size_t n, quint32 c);

// SliceTable[k][b]: the running value that byte b followed by k zero bytes
// leaves, starting from 0. SliceTable[0] is Crc32Table.
quint32 SliceTable[16][256];

// Four bytes of a step, the first of them followed by `after` more bytes.
inline quint32 sliceWord(quint32 w, int after) {
    return SliceTable[after][w & 0xFF] ^ SliceTable[after - 1][(w >> 8) & 0xFF] ^
           SliceTable[after - 2][(w >> 16) & 0xFF] ^ SliceTable[after - 3][w >> 24];
}

quint32 slice16(const uchar* p, size_t n, quint32 c) {
    for (; n >= 16; p += 16, n -= 16) {
        // The running value is added to the first four bytes.
        c = sliceWord(qFromLittleEndian<quint32>(p) ^ c, 15) ^
            sliceWord(qFromLittleEndian<quint32>(p + 4), 11) ^
            sliceWord(qFromLittleEndian<quint32>(p + 8), 7) ^
            sliceWord(qFromLittleEndian<quint32>(p + 12), 3);
    }
    for (; n > 0; ++p, --n)
        c = SliceTable[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

#ifdef TFS_CRC32_X86

// Folding with carry-less multiplication.
//
// Sixteen message bytes loaded into a 128-bit register put the coefficient of
// x^(127-i) in bit i (the first byte's lowest bit is the highest power, as the
// reflected CRC reads it). A chunk A that ends D bits before the end of a later
// chunk B weighs A * x^D at B's place; anything congruent to that modulo the
// polynomial P can be added to B instead, and A dropped. With A = H * x^64 + L
// (H the low quadword, L the high one), A * x^D = H * x^(D+64) + L * x^D.
//
// The multiplier of H is stored as K = bitreverse32(x^(D+32) mod P) << 1, which
// puts the coefficient of x^(32-j) in bit j. PCLMULQDQ of H and K then puts the
// coefficient of x^(95-k) of the product in bit k, which read as a register is
// x^32 * H * (x^(D+32) mod P) = H * x^(D+64) mod P. The same for L with
// x^(D-32). The products have at most 127 bits, so they fit the register.
//
// After the last fold the register is congruent to the whole message, and its
// sixteen bytes run through the table from 0 give the running value.

// bitreverse32(x^n mod P) << 1: the multiplier for a shift by x^n.
quint64 foldMultiplier(int n) {
    quint32 v = 0x80000000; // x^0; bit i holds the coefficient of x^(31-i)
    for (int i = 0; i < n; ++i)
        v = (v >> 1) ^ ((v & 1) ? 0xEDB88320 : 0);
    return static_cast<quint64>(v) << 1;
}

// Multiplier pairs {H, L} for folding a 128-bit chunk forward by D bits.
struct FoldPair {
    alignas(16) quint64 k[2];
};
FoldPair foldBy(int bits) {
    return FoldPair{{foldMultiplier(bits + 32), foldMultiplier(bits - 32)}};
}

FoldPair Fold128;  // to the next 16 bytes
FoldPair Fold512;  // 64 bytes on
FoldPair Fold2048; // 256 bytes on

#define TFS_PCLMUL __attribute__((target("pclmul")))
#define TFS_VPCLMUL __attribute__((target("avx512f,vpclmulqdq,pclmul")))

TFS_PCLMUL inline __m128i load128(const FoldPair& f) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(f.k));
}

TFS_PCLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i h = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i l = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(h, l), next);
}

TFS_PCLMUL inline __m128i loadu(const uchar* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the 16-byte chunks that are left into x, then runs x and the last
// bytes through the table.
TFS_PCLMUL quint32 finish(__m128i x, const uchar* p, size_t n) {
    const __m128i k128 = load128(Fold128);
    for (; n >= 16; p += 16, n -= 16)
        x = fold(x, k128, loadu(p));
    uchar last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
    return slice16(p, n, slice16(last, 16, 0));
}

TFS_PCLMUL quint32 pclmul(const uchar* p, size_t n, quint32 c) {
    if (n < 128) return slice16(p, n, c);
    const __m128i k512 = load128(Fold512);
    const __m128i k128 = load128(Fold128);
    __m128i x0 = _mm_xor_si128(loadu(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = loadu(p + 16);
    __m128i x2 = loadu(p + 32);
    __m128i x3 = loadu(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x0 = fold(x0, k512, loadu(p));
        x1 = fold(x1, k512, loadu(p + 16));
        x2 = fold(x2, k512, loadu(p + 32));
        x3 = fold(x3, k512, loadu(p + 48));
    }
    x1 = fold(x0, k128, x1);
    x2 = fold(x1, k128, x2);
    x3 = fold(x2, k128, x3);
    return finish(x3, p, n);
}

TFS_VPCLMUL inline __m512i fold(__m512i x, __m512i k, __m512i next) {
    const __m512i h = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i l = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(h, l, next, 0x96); // h ^ l ^ next
}

TFS_VPCLMUL inline __m512i load512(const uchar* p) { return _mm512_loadu_si512(p); }

TFS_VPCLMUL inline __m512i broadcast(const FoldPair& f) {
    const auto h = static_cast<long long>(f.k[0]);
    const auto l = static_cast<long long>(f.k[1]);
    return _mm512_set_epi64(l, h, l, h, l, h, l, h);
}

// Four 512-bit registers, each four independent 128-bit chunks, fold 256 bytes
// per step; they are then folded into one register and its four chunks into one.
TFS_VPCLMUL quint32 vpclmul512(const uchar* p, size_t n, quint32 c) {
    if (n < 512) return pclmul(p, n, c);
    const __m512i k2048 = broadcast(Fold2048);
    const __m512i k512 = broadcast(Fold512);
    const __m512i first = _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(c)));
    __m512i z0 = _mm512_xor_si512(load512(p), first);
    __m512i z1 = load512(p + 64);
    __m512i z2 = load512(p + 128);
    __m512i z3 = load512(p + 192);
    for (p += 256, n -= 256; n >= 256; p += 256, n -= 256) {
        z0 = fold(z0, k2048, load512(p));
        z1 = fold(z1, k2048, load512(p + 64));
        z2 = fold(z2, k2048, load512(p + 128));
        z3 = fold(z3, k2048, load512(p + 192));
    }
    z1 = fold(z0, k512, z1);
    z2 = fold(z1, k512, z2);
    z3 = fold(z2, k512, z3);
    for (; n >= 64; p += 64, n -= 64)
        z3 = fold(z3, k512, load512(p));

    uchar lanes[64];
    _mm512_storeu_si512(lanes, z3);
    const __m128i k128 = load128(Fold128);
    __m128i x = loadu(lanes);
    for (int i = 16; i < 64; i += 16)
        x = fold(x, k128, loadu(lanes + i));
    return finish(x, p, n);
}

bool cpuHasPclmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul");
}

bool cpuHasVpclmul512() {
    __builtin_cpu_init();
    return cpuHasPclmul() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("vpclmulqdq");
}

#endif // TFS_CRC32_X86

Kernel kernelFor(Crc32Kernel kernel) {
    switch (kernel) {
#ifdef TFS_CRC32_X86
    case Crc32Kernel::Pclmul:
        return pclmul;
    case Crc32Kernel::Vpclmul512:
        return vpclmul512;
#endif
    default:
        return slice16;
    }
}

Kernel Fastest = slice16;

} // namespace

void crc32FastInit() {
    std::memcpy(SliceTable[0], Crc32Table.data(), sizeof SliceTable[0]);
    for (int k = 1; k < 16; ++k)
        for (int i = 0; i < 256; ++i) {
            const quint32 v = SliceTable[k - 1][i];
            SliceTable[k][i] = (v >> 8) ^ Crc32Table[v & 0xFF];
        }
#ifdef TFS_CRC32_X86
    Fold128 = foldBy(128);
    Fold512 = foldBy(512);
    Fold2048 = foldBy(2048);
#endif
    Fastest = kernelFor(crc32Kernels().back());
}

namespace {
// The kernels are ready before main() runs. Crc32Table is a constant, so the
// order in which the program's files are initialised doesn't matter.
[[maybe_unused]] const bool KernelsPrepared = (crc32FastInit(), true);
} // namespace

std::vector<Crc32Kernel> crc32Kernels() {
    std::vector<Crc32Kernel> kernels{Crc32Kernel::Slice16};
#ifdef TFS_CRC32_X86
    if (cpuHasPclmul()) kernels.push_back(Crc32Kernel::Pclmul);
    if (cpuHasVpclmul512()) kernels.push_back(Crc32Kernel::Vpclmul512);
#endif
    return kernels;
}

const char* crc32KernelName(Crc32Kernel kernel) {
    switch (kernel) {
    case Crc32Kernel::Pclmul:
        return "pclmul";
    case Crc32Kernel::Vpclmul512:
        return "vpclmul512";
    default:
        return "slice16";
    }
}

quint32 crc32With(Crc32Kernel kernel, const void* buffer, qint64 length, quint32 c) {
    if (length <= 0) return c;
    return kernelFor(kernel)(static_cast<const uchar*>(buffer), static_cast<size_t>(length), c);
}

quint32 crc32Fast(const void* buffer, qint64 length, quint32 c) {
    if (length <= 0) return c;
    return Fastest(static_cast<const uchar*>(buffer), static_cast<size_t>(length), c);
}

} // namespace tfs
