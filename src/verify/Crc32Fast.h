// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <vector>

namespace tfs {

// Faster ways to compute exactly what crc32Update (Crc32.h) computes: same
// running value in, same running value out, for any buffer, length and
// alignment. fileCrc32 feeds its blocks through crc32Fast.
//
// - Slice16: portable, sixteen bytes per step through sixteen derived tables.
// - Pclmul:  x86-64 carry-less multiplication folding 64 bytes per step.
// - Vpclmul512: the same folding on 512-bit registers (AVX-512 + VPCLMULQDQ).
enum class Crc32Kernel { Slice16, Pclmul, Vpclmul512 };

// Builds the kernels' tables from Crc32Table and picks the fastest kernel this
// CPU runs. It runs by itself when the program loads; calling it again does no
// harm.
void crc32FastInit();

// The kernels this CPU can run, the portable one first, the one crc32Fast uses last.
std::vector<Crc32Kernel> crc32Kernels();
const char* crc32KernelName(Crc32Kernel kernel);

// crc32Update through the given kernel, which must be one of crc32Kernels().
quint32 crc32With(Crc32Kernel kernel, const void* buffer, qint64 length, quint32 c);

// crc32Update through the fastest kernel.
quint32 crc32Fast(const void* buffer, qint64 length, quint32 c);

} // namespace tfs
