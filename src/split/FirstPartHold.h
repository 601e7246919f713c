// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tfs {

// Part 1 of a split is written under its hidden name (hiddenFirstPartPath)
// and takes its own name only when the split has completed: a split that is
// killed leaves no part 1, and no join takes a set without it. While the
// split runs, and until its list, check files and recovery files are written,
// it holds a lock on that hidden file: a second split of a file of the same
// name into the same folder is refused rather than mixing its parts with the
// first one's. A hidden file that no split holds (a killed split's) is taken
// over.
class FirstPartHold {
public:
    FirstPartHold() = default;
    // Releases the hold (see release()).
    ~FirstPartHold() { release(); }
    FirstPartHold(const FirstPartHold&) = delete;
    FirstPartHold& operator=(const FirstPartHold&) = delete;

    // Locks the hidden file of part 1 at `partPath`: refused (OperationError)
    // while another split holds it. `what` names the split's source in the
    // refusal.
    void lock(const QString& what, const QString& partPath);

    // Removes what bears part 1's own name (it would be overwritten now)
    // before part 1 is written. Throws OperationError.
    void replaceName();

    // Whether the hidden file is held (locked and not yet published or gone).
    bool held() const { return !hidden_.isEmpty(); }
    const QString& hiddenPath() const { return hidden_; }

    // The split completed: part 1 takes its name, replacing whatever took
    // that name meanwhile (never writing through it). The hidden name stays
    // a second name of part 1, and locked, until release(): the list and the
    // check files are written meanwhile. (Where the file system has no hard
    // links, part 1 is renamed and the lock ends here.) Throws OperationError.
    void publish();
    // The split was cancelled: the hidden file goes.
    void discard();
    // The split failed: a part 1 begun is kept under its name with the parts
    // written before the failure, which stay listed for Cancel; one never
    // begun (or whose name can't be given) goes.
    void keep();
    // Ends the hold: after publish(), the hidden second name goes; then the
    // lock is released.
    void release();

private:
    void unlock();

    QString final_;
    QString hidden_;
    int fd_ = -1;
    bool started_ = false;   // part 1's own name was replaced: its writing began
    bool published_ = false; // part 1 has its own name as well as the hidden one
};

} // namespace tfs
