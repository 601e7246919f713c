// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "join/JoinEngine.h"

#include <QString>
#include <functional>

struct JoinState;
struct PartCrc;

namespace tfs {

// The join into a stream (standard output, a pipe) rather than a file: the
// set's parts, from 001 up to the first one missing and no
// further than lastOrdinal when that is above 0, written to `outputFd` in
// order. What is written can't be taken back, so each part is judged as soon
// as it has been read whole: partJoined gets its ordinal, CRC-32 and size and
// returns whether to go on. The progress after every block counts the bytes
// of the parts found at the start. state.JoinCancelFlag (set in hooks.yield, after
// every block) stops it between two blocks. Returns the number of parts
// written whole. A part that can't be read, or output that can't be written,
// throws OperationError.
qint64 joinToStream(JoinState& state, const PartSet& set, int outputFd, qint64 lastOrdinal,
                    const JoinHooks& hooks,
                    const std::function<bool(qint64 ordinal, const PartCrc& part)>& partJoined);

} // namespace tfs
