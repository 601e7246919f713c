// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <functional>

// Reading ahead of a copy: asks the system to read the next stretch of the
// file into the page cache in the background while the copy works on the
// current one, so that a file not in the cache (a cold one) streams from the
// disk without waits between the copy's calls. Ranges that were shared
// rather than copied need no reading: the engines tell only copied ones. A
// hint only: where the system can't, nothing happens.
class ReadAhead {
public:
    // Bytes asked for at a time; the next stretch is asked for when the copy
    // has passed half of the previous one.
    static constexpr qint64 Stretch = 16 << 20;

    // A new file, read from its start (tells the system it is read in
    // order); `askedTo`: how far it was already asked for through another
    // handle of the file.
    void start(const QFile& file, qint64 askedTo = 0);
    // The copy has read up to `pos` of the file begun with start().
    void reached(const QFile& file, qint64 pos);
    // How far ahead of the copy it has asked for (0 before start()).
    qint64 askedTo() const { return askedTo_; }
    // Waits until `count` bytes at `pos`, when already asked for, are in the
    // page cache (judged from their ends), calling keepWaiting (an event-loop
    // turn) every quarter millisecond meanwhile: a disk that stalls doesn't
    // hold the window. After a second the copy reads them itself. False when
    // keepWaiting said stop.
    bool awaitAsked(const QFile& file, qint64 pos, qint64 count,
                    const std::function<bool()>& keepWaiting) const;

private:
    qint64 askedTo_ = 0;
};
