// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Progress after a block: copied / size x 100, rounded half to even; an empty
// (or vanished) file reports 100. The split, the CRC-32 and the comparison
// report their gauges by this rule.
int splitProgress(qint64 copied, qint64 size);
