#include "core/ProgramState.h"

#include "core/OperationError.h"

#include <cstring>

VerifyState::VerifyState()
    : CompareBuffer1(CompareBlockSize, '\0'), CompareBuffer2(CompareBlockSize, '\0') {}

ProgramState G;

QString systemErrorText(const QString& what, const QString& path, int err) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(err)));
}
