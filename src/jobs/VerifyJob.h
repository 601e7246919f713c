// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jobs/JobHooks.h"

#include <QList>
#include <QString>

namespace tfs {

// A set's parts checked against its .sfv without joining: --verify.

enum class PartVerdict { Ok, Bad, Missing };

struct VerifiedPart {
    QString name;
    PartVerdict verdict = PartVerdict::Missing;
    QString readError; // a part that could not be read (Bad): why
};

struct VerifyHooks : JobHooks {
    // Each part as soon as it has been checked, in the .sfv's order of ordinals.
    std::function<void(const VerifiedPart& part)> partVerified;
};

struct VerifyRequest {
    QString path; // a part, the part list or the .sfv of a set
};

struct VerifyResult {
    QList<VerifiedPart> parts;
    bool cancelled = false; // the parts after the last one told were not checked
};

// Reads every part that the set's .sfv names (a folder or a pipe of its name
// is Missing, a part that can't be read Bad) and compares its CRC-32 with
// the .sfv's. Throws OperationError when the path names no set, or when there
// is no .sfv, it can't be read, or it names no part of the set. The progress
// counts the bytes of the parts there at the start.
VerifyResult runVerify(const VerifyRequest& request, const VerifyHooks& hooks,
                       const CancelToken& cancel);

} // namespace tfs
