#include "verify/CompareEngine.h"

#include "app/FileError.h"
#include "app/ProgramState.h"
#include "split/FileCopy.h"
#include "split/SplitEngine.h"

#include <cstring>
#include <memory>

namespace {

// Closes and drops both streams when the comparison leaves, however it leaves.
struct StreamCloser {
    ProgramState& state;
    ~StreamCloser() { close(); }
    void close() {
        state.CompareStream1.reset();
        state.CompareStream2.reset();
    }
};

std::unique_ptr<QFile> openStream(const QString& path) {
    auto file = std::make_unique<QFile>();
    openForReading(*file, path);
    return file;
}

qint64 readBlock(QFile& file, QByteArray& buffer) {
    const qint64 n = file.read(buffer.data(), CompareBlockSize);
    if (n < 0)
        throw FileError(
            QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
    return n;
}

} // namespace

bool comparefiles(ProgramState& state, const QString& firstPath, const QString& secondPath,
                  const CompareHooks& hooks) {
    // The window must not start a comparison inside a running one's event-loop
    // turn: the streams and buffers exist once.
    Q_ASSERT(!state.CompareStream1 && !state.CompareStream2);
    if (hooks.started)
        hooks.started();
    state.CompareCancelFlag = 0;
    bool identical = true;

    StreamCloser streams{state};
    state.CompareStream1 = openStream(firstPath);
    state.CompareStream2 = openStream(secondPath);
    QFile& first = *state.CompareStream1;
    QFile& second = *state.CompareStream2;

    const qint64 length = sizeOfOpenFile(first);
    if (length != sizeOfOpenFile(second)) {
        if (hooks.differentLength)
            hooks.differentLength();
        return false;
    }

    state.CompareBuffer1.fill('\0', CompareBlockSize);
    state.CompareBuffer2.fill('\0', CompareBlockSize);
    state.CompareLastRead = CompareBlockSize;
    qint64 done = 0;
    while (state.CompareLastRead == CompareBlockSize) {
        if (state.CompareCancelFlag != 0 || !identical)
            break;
        const qint64 n1 = readBlock(first, state.CompareBuffer1);
        state.CompareLastRead = n1;
        const qint64 n2 = readBlock(second, state.CompareBuffer2);
        state.CompareLastRead = n2;
        done += n2;
        if (hooks.progress)
            hooks.progress(splitProgress(done, length));
        if (hooks.yield)
            hooks.yield();
        // Unequal counts mean that a file changed length since it was measured.
        if (n1 != n2 ||
            std::memcmp(state.CompareBuffer1.constData(), state.CompareBuffer2.constData(),
                        static_cast<size_t>(n2)) != 0)
            identical = false;
    }

    streams.close();
    if (hooks.finished)
        hooks.finished();
    return identical;
}
