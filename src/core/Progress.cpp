// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Progress.h"

#include <algorithm>
#include <cmath>

int splitProgress(qint64 copied, qint64 size) {
    if (size <= 0) return 100;
    const double percent = std::nearbyint(static_cast<double>(copied) / size * 100.0);
    return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}
