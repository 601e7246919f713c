// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/EngineHooks.h"
#include "core/OperationState.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace tfs {

// The recovery files of a split: PAR 2.0 over its parts, each part one file
// of the recovery set and, wherever the format allows, one slice, so that a
// lost part costs one recovery slice.

// The most memory that making or using recovery data takes for its buffers;
// past it the parts are read in several passes.
inline constexpr qint64 RecoveryMemory = 384LL << 20;

struct RecoveryVolume {
    QString name;      // <source>.volNN+MM.par2
    quint32 first = 0; // exponent of its first recovery slice
    quint32 count = 0; // recovery slices it holds
};

struct RecoveryPlan {
    QString refusal;        // why there can be no recovery data; empty when there can
    quint64 sliceSize = 0;  // the largest part, rounded up to a multiple of 4
    quint32 sliceCount = 0; // recovery slices in all
    QString indexName;      // <source>.par2
    std::vector<RecoveryVolume> volumes;
    QStringList fileNames() const; // the index, then the volumes
};

// The slice size, the number of recovery slices (percent of the parts,
// rounded, at least one) and the volumes, named and filled as Debian's par2
// does by default (bit_length(count) volumes holding 1, 2, 4, ... slices).
// Refused when the parts are more than the format's 32,768 slices.
RecoveryPlan planRecovery(const QString& sourceName, const QList<qint64>& partSizes, int percent);

// Writes the plan's files into `folder` (ending with a separator) over the
// parts named there, each file appearing only once complete. Reads each
// part once when its recovery data fits into RecoveryMemory, else in passes.
// Returns false when cancelled (nothing of it is left). Throws OperationError
// (nothing of it is left either). `copiedCrcs`, when given for every part (in
// the order of `partNames`), are the parts' CRC-32s as the split took them
// while copying: a part of the size given is not checksummed again.
bool writeRecoveryFiles(const QString& folder, const QStringList& partNames,
                        const RecoveryPlan& plan, const EngineHooks& hooks,
                        const CancelToken& cancel, qint64 memory = RecoveryMemory,
                        const QList<PartCrc>& copiedCrcs = {});

} // namespace tfs
