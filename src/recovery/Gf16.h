// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/recovery: PAR 2.0 recovery data over a set's parts (window-free, on
// core/): the field arithmetic, the packets, writing the recovery files,
// reading them back, checking the parts and rebuilding the missing ones.

#include <QtGlobal>
#include <functional>
#include <vector>

namespace tfs::gf16 {

// GF(2^16) with the generator polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B),
// the field of PAR 2.0's Reed-Solomon code. Addition is XOR.
quint16 multiply(quint16 a, quint16 b);
quint16 inverse(quint16 a); // a != 0
quint16 power(quint16 a, quint32 exponent);

// The constant of input slice `index` of a recovery set: 2^n, n the
// (index+1)-th positive integer sharing no factor with 65535. There are
// 32768 of them (index 0 .. 32767).
quint16 inputConstant(quint32 index);

// The region kernels: dst ^= factor * src over `bytes` bytes read as
// little-endian 16-bit words. `bytes` is a multiple of 2.
enum class Kernel { Tables, Avx2 };
std::vector<Kernel> kernels(); // those this CPU runs, the one in use last
const char* kernelName(Kernel kernel);
void multiplyAddWith(Kernel kernel, quint16 factor, const uchar* src, uchar* dst, qint64 bytes);
void multiplyAdd(quint16 factor, const uchar* src, uchar* dst, qint64 bytes);
void add(const uchar* src, uchar* dst, qint64 bytes); // dst ^= src: the product by 1

// The region work for many products of the same bytes, in a layout of its
// own. A source is prepared once: per 64 bytes (32 words) the four nibbles of
// every word, 128 bytes. Accumulators hold per 64 bytes the words' low bytes
// then their high bytes, and toWords() turns them back into words. Lengths
// are multiples of 64. A factor's products of every nibble value are
// prepared once too (PreparedFactor); with AVX2 one product of 32 words
// then costs eight table look-ups.
inline constexpr qint64 PreparedBlock = 64;
struct PreparedFactor {
    alignas(32) uchar low[4][16];  // low bytes of factor * (v << 4p), p the nibble
    alignas(32) uchar high[4][16]; // their high bytes
    bool zero = true;
};
PreparedFactor prepareFactor(quint16 factor);
void prepareSource(const uchar* src, uchar* nibbles, qint64 bytes); // nibbles: 2 * bytes
// acc += factor * source over `bytes` bytes of the source
void multiplyAddPrepared(const PreparedFactor& factor, const uchar* nibbles, uchar* acc,
                         qint64 bytes);
void toWords(uchar* acc, qint64 bytes); // in place
// The same with a given kernel (one of kernels()); the layouts are the same.
void prepareSourceWith(Kernel kernel, const uchar* src, uchar* nibbles, qint64 bytes);
void multiplyAddPreparedWith(Kernel kernel, const PreparedFactor& factor, const uchar* nibbles,
                             uchar* acc, qint64 bytes);
void toWordsWith(Kernel kernel, uchar* acc, qint64 bytes);

// Inverts the n x n matrix (row-major) in place; false when it is singular,
// or when `goOn`, asked before each of the n columns is eliminated, says to
// stop (the matrix is then left as it was). It takes n^3 products of words:
// seconds for a few thousand rows.
bool invert(std::vector<quint16>& matrix, int n, const std::function<bool()>& goOn = {});

} // namespace tfs::gf16
