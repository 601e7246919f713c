// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/OperationState.h"

VerifyState::VerifyState()
    : CompareBuffer1(CompareBlockSize, '\0'), CompareBuffer2(CompareBlockSize, '\0') {}
