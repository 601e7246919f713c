// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ReadAhead.h"

#include "core/FileCopy.h"
#include "core/StreamReader.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

void ReadAhead::start(const QFile& file, qint64 askedTo) {
#ifdef Q_OS_LINUX
    ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    askedTo_ = askedTo;
}

void ReadAhead::reached(const QFile& file, qint64 pos) {
    if (askedTo_ - pos > Stretch / 2) return;
#ifdef Q_OS_LINUX
    const qint64 from = std::max(askedTo_, pos);
    ::posix_fadvise(file.handle(), from, pos + Stretch - from, POSIX_FADV_WILLNEED);
#else
    Q_UNUSED(file);
#endif
    askedTo_ = pos + Stretch;
}

bool ReadAhead::awaitAsked(const QFile& file, qint64 pos, qint64 count,
                           const std::function<bool()>& keepWaiting) const {
    if (askedTo_ < pos + count) return true;             // not asked for (yet)
    count = std::min(count, sizeOfOpenFile(file) - pos); // no pages past the end
    QElapsedTimer waited;
    waited.start();
    while (count > 0 && !StreamReader::isCached(file.handle(), pos, count) &&
           waited.elapsed() < 1000) {
        std::this_thread::sleep_for(std::chrono::microseconds(250));
        if (!keepWaiting()) return false;
    }
    return true;
}
