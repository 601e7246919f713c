// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

namespace tfs {

// The hidden file that receives a join's bytes, beside its output:
// ".<name>.part-XXXXXX-" followed by this program's mark. It is created new
// under a name no other file has and locked while the join runs, so that no
// other join takes it for a leftover; commit() puts it in the output's place,
// and it is deleted in every other case, including an exception that leaves
// the join. Until the commit, whatever was at the output's path stays as it
// was, and a process killed mid-way leaves nothing under that name.
class HiddenOutput {
public:
    // Creates the hidden file beside outputPath. Throws OperationError when
    // it can't.
    explicit HiddenOutput(const QString& outputPath);
    ~HiddenOutput();
    HiddenOutput(const HiddenOutput&) = delete;
    HiddenOutput& operator=(const HiddenOutput&) = delete;

    QFile& file() { return file_; }
    QString path() const { return file_.fileName(); }

    // Closes the file and renames it to the output path, replacing any file
    // there only when `replace` is true. Throws OperationError naming the
    // output when the close (a write error) or the rename fails.
    void commit(bool replace);

    // Closes and deletes the file (nothing after commit).
    void discard();

    // Removes the hidden files that joins of this output's name (or of a
    // "Clone Of" name of it) left in its folder when they were killed: only
    // those whose name carries this program's mark (a user's file merely
    // named alike stays) and that no running join holds locked. Works where
    // the file system has locks; elsewhere nothing is removed.
    static void removeAbandoned(const QString& outputPath);

private:
    void create();
    bool lock(const QString& name);
    void releaseLock();

    QString outputPath_;
    QFile file_;
    bool done_ = false;
    int lockFd_ = -1;
};

} // namespace tfs
