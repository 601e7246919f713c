// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>

// Sharing extents instead of copying: where the file system can (btrfs, XFS),
// whole blocks of an output are made to share the source's blocks (a reflink)
// and nothing is copied. copyBytes uses it for the whole blocks of a range.

// The part of a copy that can share the source's extents: `head` bytes to copy
// first (up to the next block boundary), then `length` bytes of whole blocks
// (the last one may end at the source's end). Nothing (length 0) when source
// and output don't lie at the same offset within a block, when the range
// holds no whole block, when sharing failed for good between these two file
// systems before, and on platforms without it.
struct SharedRange {
    qint64 head = 0;
    qint64 length = 0;
};
SharedRange sharableRange(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 count);

// Makes `length` bytes of the output at `outPos` share the source's extents at
// `inPos`: nothing is copied. False when the file system can't, so that the
// caller copies instead; a pair of file systems that can't share at all is
// remembered (per thread) and not tried again.
bool shareExtents(QFile& in, qint64 inPos, QFile& out, qint64 outPos, qint64 length);
