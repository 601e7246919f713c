#pragma once
// src/join: the join engine (window-free, on core/ and split/'s naming) and
// the join panel's handlers.

#include <QString>
#include <functional>

struct ProgramState;

// The most that one copy step of the join moves; the window is served after every step.
inline constexpr qint64 JoinBlockSize = 10000;

// What the join engine tells the window. Every hook may be empty.
struct JoinHooks {
    std::function<void(int percent)> progress; // after every step, already clamped to 0..100
    std::function<void()> yield;               // one turn of the event loop
    std::function<void()> iconRefresh;         // Exticon: the output has just been created
};

// Total size of the set that chosenPart belongs to: the parts from ordinal 1
// up to the first ordinal whose file doesn't exist (0 when part 1 is absent).
// Yields before every existence test. Creates and changes nothing; a part that
// can't be opened throws FileError.
qint64 original_size(const QString& chosenPart, const JoinHooks& hooks);

// Joins the set that chosenPart belongs to (parts 1..N, found and sized as
// original_size does) into outputPath.
//
// The bytes go to a hidden file beside the output (".<name>.part-XXXXXX"),
// which is renamed to outputPath, replacing any file there, once the last part
// is in: until then, whatever was at outputPath stays as it was, and a process
// killed mid-way leaves nothing under that name. iconRefresh runs right after
// the hidden file is created.
//
// Sets state.JoinCancelFlag to 0 on entry and reads it before every part and
// after every step; a cancel (the flag at 1, set by a handler run inside
// yield) stops the join, deletes the hidden file and leaves the flag at 1.
// Progress after each step is trunc(100 x written / total) - 1, and 99 at the
// end in every case.
//
// Any failure (a part that can't be opened or read, or that became shorter
// since it was counted, an output that can't be created, written or renamed,
// a full disk) deletes the hidden file and throws FileError naming the file.
void spojfor(ProgramState& state, const QString& chosenPart, const QString& outputPath,
             const JoinHooks& hooks);

// Progress after a step: trunc(100 x written / total) - 1, clamped to 0..100;
// 99 when the total is 0.
int joinProgress(qint64 written, qint64 total);
