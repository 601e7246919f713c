#include "join/JoinEngine.h"

#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "core/StreamReader.h"
#include "parts/Naming.h"
#include "split/SplitEngine.h"
#include "verify/CopyingThreadCrc.h"
#include "verify/HelperThreadCrc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tfs {

namespace {

// Longest output name (in bytes on disk) carried into the hidden file's name,
// leaving room for the dot, ".part-" and the suffix within the usual 255.
constexpr int HiddenNameStemMax = 200;

// Renames `from` to `to` unless something is at `to` (errno EEXIST then): in
// one step where the file system allows it, else by a hard link, else (no
// links on FAT) by a test just before the rename.
bool renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
#ifdef Q_OS_UNIX
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST) return false;
#endif
    const QFileInfo target(QFile::decodeName(to));
    if (target.exists() || target.isSymLink()) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.constData(), to.constData()) == 0;
}

const QString HiddenInfix = QStringLiteral(".part-");

// The mark that only this program gives its hidden files: a hash of the
// output's name as the hidden file carries it and of the name's random
// letters (FNV-1a, 32 bits, as 8 hex digits). The sweep removes a file only
// when its name carries the mark: a user's ".notes.part-draft1" never does.
QString hiddenMark(const QString& stem, const QString& letters) {
    quint32 hash = 2166136261u;
    for (const char byte :
         (QStringLiteral("tarvello-file-splitter:") + stem + QLatin1Char(':') + letters).toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619u;
    }
    return QStringLiteral("%1").arg(hash, 8, 16, QLatin1Char('0'));
}

// The output's name as the hidden file carries it: cut to HiddenNameStemMax
// bytes on disk.
QString hiddenStemOf(QString name) {
    while (QFile::encodeName(name).size() > HiddenNameStemMax ||
           (!name.isEmpty() && name.back().isHighSurrogate()))
        name.chop(1);
    return name;
}

// The hidden file that receives the joined bytes, beside the output. It is
// created new under a name no other file has; commit() puts it in the
// output's place, and it is deleted in every other case, including an
// exception that leaves the join.
class HiddenOutput {
public:
    explicit HiddenOutput(const QString& outputPath) : outputPath_(outputPath) { create(); }
    ~HiddenOutput() { discard(); }
    HiddenOutput(const HiddenOutput&) = delete;
    HiddenOutput& operator=(const HiddenOutput&) = delete;

    QFile& file() { return file_; }
    QString path() const { return file_.fileName(); }

    // Closes the file and renames it to the output path, replacing any file
    // there only when `replace` is true.
    void commit(bool replace) {
        closeWritten(file_); // a failed close is a failed write
        const QByteArray from = QFile::encodeName(path());
        const QByteArray to = QFile::encodeName(outputPath_);
        if (!replace) {
            if (!renameWithoutReplacing(from, to))
                throw OperationError(
                    systemErrorText(QStringLiteral("Cannot create"), outputPath_, errno));
            done_ = true;
            releaseLock();
            return;
        }
#ifndef Q_OS_UNIX
        QFile::remove(outputPath_); // rename() replaces the target only on POSIX systems
#endif
        if (std::rename(from.constData(), to.constData()) != 0)
            throw OperationError(
                systemErrorText(QStringLiteral("Cannot create"), outputPath_, errno));
        done_ = true;
        releaseLock();
    }

    // Closes and deletes the file (nothing after commit).
    void discard() {
        if (!done_) {
            file_.close();
            QFile::remove(path());
            done_ = true;
        }
        releaseLock();
    }

private:
    void create() {
        static const char letters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        const QString stem = hiddenStemOf(fileNameOf(outputPath_));
        const QString prefix = folderOf(outputPath_) + QLatin1Char('.') + stem + HiddenInfix;
        for (int attempt = 0; attempt < 100; ++attempt) {
            QString random;
            for (int i = 0; i < 6; ++i)
                random += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
            const QString name = prefix + random + QLatin1Char('-') + hiddenMark(stem, random);
            file_.setFileName(name);
            // NewOnly: O_EXCL, so an existing file or link is never opened.
            if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
                if (lock(name)) return;
                file_.close(); // another join's cleanup took it: try another name
                continue;
            }
            const QFileInfo taken(name);
            if (!taken.exists() && !taken.isSymLink())
                throw OperationError(
                    QStringLiteral("Cannot create %1: %2").arg(outputPath_, file_.errorString()));
        }
        throw OperationError(QStringLiteral("Cannot create %1: no free name for the temporary file")
                                 .arg(outputPath_));
    }

    // Locks the new file as a running join's, so that no other join takes it
    // for a leftover (removeAbandonedHiddenFiles). False when another join's
    // cleanup got to it between its creation and the lock. A file system
    // without locks leaves it unlocked; the cleanup then leaves it alone too.
    bool lock(const QString& name) {
#ifdef Q_OS_UNIX
        const int fd = file_.handle();
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) != 0 ||
            ::lstat(QFile::encodeName(name).constData(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)
            return false;
        // The lock lasts as long as a descriptor of the file is open: this one
        // keeps it past the file's close until the rename or the removal.
        lockFd_ = ::dup(fd);
#else
        Q_UNUSED(name);
#endif
        return true;
    }

    void releaseLock() {
#ifdef Q_OS_UNIX
        if (lockFd_ >= 0) ::close(lockFd_);
#endif
        lockFd_ = -1;
    }

    QString outputPath_;
    QFile file_;
    bool done_ = false;
    int lockFd_ = -1;
};

// Removes the hidden files that joins of this output's name (or of a "Clone
// Of" name of it) left in its folder when they were killed: only those whose
// name carries this program's mark. A running join holds a lock on its
// hidden file: that one stays. Works where the file
// system has locks; elsewhere nothing is removed.
void removeAbandonedHiddenFiles(const QString& outputPath) {
#ifdef Q_OS_UNIX
    static const QRegularExpression hiddenName(
        QStringLiteral("^\\.(.+)\\.part-([A-Za-z0-9]{6})-([0-9a-f]{8})$"));
    const auto withoutClonePrefixes = [](QString name) {
        while (name.startsWith(QLatin1String(JoinClonePrefix)))
            name.remove(0, int(qstrlen(JoinClonePrefix)));
        return name;
    };
    const QString folder = folderOf(outputPath);
    const QString name = withoutClonePrefixes(fileNameOf(outputPath));
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = hiddenName.match(entry);
        if (!match.hasMatch()) continue;
        const QString stem = match.captured(1);
        if (match.captured(3) != hiddenMark(stem, match.captured(2))) continue; // not ours
        const QString stemName = withoutClonePrefixes(stem);
        // A long name was cut to make the hidden file's name.
        const bool cut =
            stem == hiddenStemOf(stem) && stem != hiddenStemOf(stem + QLatin1Char('x'));
        if (stemName != name && !(cut && !stemName.isEmpty() && name.startsWith(stemName)))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        // Only a file of ours, as the join made it: one name, this user's.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            S_ISREG(opened.st_mode) && opened.st_nlink == 1 && opened.st_uid == ::geteuid() &&
            ::lstat(path.constData(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev)
            ::unlink(path.constData());
        ::close(fd);
    }
#else
    Q_UNUSED(outputPath);
#endif
}

// The bytes one step of the join copies: at most 1 % of the whole (so that
// the progress shown passes every percent) and at most JoinStepMax (so that a
// step, even from a slow disk, keeps the window answering and a Cancel
// honoured within a fraction of the 50 ms promised), at least JoinBlockSize;
// whole 64 KiB units where it can (aligned ranges copy and share best).
qint64 joinStep(qint64 total) {
    constexpr qint64 unit = 64 * 1024;
    qint64 step = std::min(total / 100, JoinStepMax);
    if (step >= unit) step -= step % unit;
    return std::max(step, JoinBlockSize);
}

bool partExists(const QString& path) { return QFileInfo(path).isFile(); }

// The ordinals past 100 that the set's folder holds in each numbering.
struct LongOrdinals {
    QList<qint64> ours, plain;
};

LongOrdinals longOrdinalsOf(const QString& basePath) {
    LongOrdinals found;
    const QString folder = folderOf(basePath);
    const QString prefix = fileNameOf(basePath) + QLatin1Char('.');
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!name.startsWith(prefix)) continue;
        const qint64 ordinal = ordinalOfPart(name);
        if (ordinal <= 100) continue;
        const QString digits = name.mid(prefix.size());
        if (digits == ordinalDigits(ordinal, PartNumbering::Ours)) found.ours << ordinal;
        if (digits == ordinalDigits(ordinal, PartNumbering::Plain)) found.plain << ordinal;
    }
    return found;
}

// N: the parts from ordinal 1 up to the first absent one. Yields before every test.
qint64 countParts(const PartSet& set, const JoinHooks& hooks) {
    qint64 count = 0;
    for (;;) {
        if (hooks.yield) hooks.yield();
        if (!partExists(set.partPath(count + 1))) return count;
        ++count;
    }
}

std::vector<qint64> partSizes(const PartSet& set, qint64 count) {
    std::vector<qint64> sizes;
    sizes.reserve(static_cast<size_t>(count));
    QFile part;
    for (qint64 i = 1; i <= count; ++i) {
        openForReading(part, set.partPath(i));
        sizes.push_back(sizeOfOpenFile(part));
        part.close();
    }
    return sizes;
}

qint64 sum(const std::vector<qint64>& sizes) {
    qint64 total = 0;
    for (qint64 s : sizes)
        total += s;
    return total;
}

} // namespace

int joinProgress(qint64 written, qint64 total) {
    if (total <= 0) return 99;
    const double percent =
        std::trunc(100.0 * static_cast<double>(written) / static_cast<double>(total));
    return static_cast<int>(std::clamp(percent - 1.0, 0.0, 100.0));
}

PartSet partSetOf(const QString& chosenPart) {
    PartSet set{basePathOf(chosenPart), PartNumbering::Ours};
    if (partExists(set.partPath(101))) return set;
    set.numbering = PartNumbering::Plain;
    if (partExists(set.partPath(101))) return set;
    const LongOrdinals found = longOrdinalsOf(set.basePath);
    if (!found.ours.isEmpty() && found.plain.isEmpty()) set.numbering = PartNumbering::Ours;
    return set;
}

QList<qint64> presentOrdinals(const PartSet& set) {
    QList<qint64> present;
    for (qint64 i = 1; i <= 100; ++i)
        if (partExists(set.partPath(i))) present << i;
    const LongOrdinals found = longOrdinalsOf(set.basePath);
    present << (set.numbering == PartNumbering::Ours ? found.ours : found.plain);
    std::sort(present.begin(), present.end());
    return present;
}

qint64 joinedSize(const QString& chosenPart, const JoinHooks& hooks) {
    const PartSet set = partSetOf(chosenPart);
    return sum(partSizes(set, countParts(set, hooks)));
}

// Parts not in the page cache (cold ones) are read ahead on a thread of their
// own, which gives their pages back to the cache as they are used, while the
// bytes before them are written, the next part's reading starting before the
// current one ends.
// Parts in the cache are copied by the kernel instead (see copyBytes), as are
// parts that lie in the output at the same offset within a block as in their
// file: those may share extents.
class ColdParts {
public:
    ColdParts(const PartSet& set, const std::vector<qint64>& sizes, qint64 chunk)
        : set_(set), sizes_(sizes), chunk_(chunk) {}

    // Part c (from 1) is about to be joined at `outPos`: whether it is read
    // ahead. Queues the next part at once when it is cold too.
    bool starting(qint64 c, qint64 outPos) {
        if (c == 1) queue(1, outPos);
        const bool streamed = queued_ == c;
        const auto count = static_cast<qint64>(sizes_.size());
        if (c < count) queue(c + 1, outPos + sizes_[static_cast<size_t>(c - 1)]);
        return streamed;
    }
    StreamReader& reader() { return *reader_; }

private:
    void queue(qint64 c, qint64 outPos) {
        const qint64 size = sizes_[static_cast<size_t>(c - 1)];
        const QString path = set_.partPath(c);
        if (outPos % 4096 == 0 || !StreamReader::isCold(path, 0, size)) return;
        if (!reader_) reader_ = std::make_unique<StreamReader>(chunk_, 8, ReadSize);
        if (!reader_->running()) return;
        reader_->add(path, 0, size);
        queued_ = c;
    }

    // Reads of a megabyte through the page cache made the join from a disk a
    // quarter to a third slower, just after the cache was emptied, than reads
    // of a quarter of that; the kernel's read-ahead streams the disk either way.
    static constexpr qint64 ReadSize = 256 << 10;

    const PartSet& set_;
    const std::vector<qint64>& sizes_;
    const qint64 chunk_;
    std::unique_ptr<StreamReader> reader_;
    qint64 queued_ = 0; // the last part queued
};

void joinParts(JoinState& state, const QString& chosenPart, const QString& outputPath,
               const JoinHooks& hooks, const JoinOptions& options) {
    state.JoinCancelFlag = 0;
    const CancelRequest cancel(state.JoinCancelFlag);
    state.JoinPartCrcs.clear();
    const PartSet set = partSetOf(chosenPart);
    qint64 count = countParts(set, hooks);
    if (options.lastOrdinal > 0) count = std::min(count, options.lastOrdinal);

    removeAbandonedHiddenFiles(outputPath);
    removeAbandonedFirstPart(set.partPath(1)); // a killed split's, beside the parts
    HiddenOutput output(outputPath);
    if (hooks.iconRefresh) hooks.iconRefresh();

    try {
        const std::vector<qint64> sizes = partSizes(set, count);
        const qint64 total = sum(sizes);
        const qint64 stepMax = joinStep(total);
        RoomAhead room;
        room.start(output.file(), total);
        qint64 written = 0;
        QFile part;
        // Each part's CRC-32 from the bytes as they are joined: a part read
        // ahead is folded from the buffer it is written from; the bytes of a
        // copied part on a helper thread, which has the other core to itself
        // (taking them on this thread made the join a quarter slower).
        CopyingThreadCrc streamedCrc;
        std::unique_ptr<HelperThreadCrc> copiedCrcs =
            hooks.partCrcs ? std::make_unique<HelperThreadCrc>() : nullptr;
        QList<PartCrc> crcs; // placeholders for the copied parts, in order
        QList<qsizetype> copiedAt;

        ColdParts cold(set, sizes, std::min<qint64>(stepMax, 1 << 20));
        CopyPace pace;
        const auto keepWaiting = waitingTurn(hooks, cancel);
        // Reading ahead reaches into the next part before the current one ends.
        ReadAhead ahead;
        QFile next;
        ReadAhead nextAhead;
        for (qint64 c = 1; c <= count && !cancel.requested(); ++c) {
            const QString partPath = set.partPath(c);
            openForReading(part, partPath);
            const bool streamed = cold.starting(c, written);
            ahead.start(part, next.isOpen() ? nextAhead.askedTo() : 0);
            next.close();
            if (hooks.yield) hooks.yield();
            streamedCrc.reset();
            if (copiedCrcs && !streamed) {
                copiedCrcs->begin(part);
                copiedAt.append(crcs.size());
            }

            // Exactly the bytes that were counted: the total and the progress hold.
            const qint64 size = sizes[static_cast<size_t>(c - 1)];
            const auto shorter = [&partPath] {
                return OperationError(QStringLiteral("Cannot read %1: the part became shorter "
                                                     "while it was being joined")
                                          .arg(partPath));
            };
            for (qint64 pos = 0; streamed && pos < size;) {
                StreamReader::Chunk chunk;
                if (!cold.reader().next(chunk, keepWaiting)) break; // cancelled
                if (chunk.error)
                    throw OperationError(
                        systemErrorText(QStringLiteral("Cannot read"), partPath, chunk.error));
                if (chunk.size == 0) throw shorter();
                writeBytesAt(output.file(), written, chunk.data, chunk.size);
                if (copiedCrcs) streamedCrc.fold(chunk.data, chunk.size);
                pos += chunk.size;
                written += chunk.size;
                room.reached(written);
                if (hooks.progress) hooks.progress(joinProgress(written, total));
                if (hooks.yield) hooks.yield();
                if (cancel.requested()) break;
            }
            for (qint64 pos = 0; !streamed && pos < size;) {
                const qint64 step = std::min(stepMax, size - pos);
                qint64 shared = 0;
                const qint64 copied = pace.copy(part, pos, output.file(), written, step, &shared);
                if (copied < step) throw shorter();
                if (copiedCrcs) copiedCrcs->add(pos, copied);
                pos += copied;
                written += copied;
                room.reached(written);
                if (shared == 0) ahead.reached(part, pos);
                if (ahead.askedTo() > size && c < count && !next.isOpen()) {
                    next.setFileName(set.partPath(c + 1));
                    if (next.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                        nextAhead.start(next);
                }
                if (hooks.progress) hooks.progress(joinProgress(written, total));
                if (hooks.yield) hooks.yield();
                if (cancel.requested()) break;
            }
            if (!cancel.requested() && sizeOfOpenFile(part) < size) throw shorter();
            part.close();
            if (copiedCrcs) crcs.append({streamedCrc.value(), size});
        }

        if (hooks.progress) hooks.progress(99);
        if (copiedCrcs && !cancel.requested()) {
            const QList<quint32> values = copiedCrcs->results();
            for (qsizetype i = 0; i < copiedAt.size(); ++i)
                crcs[copiedAt.at(i)].crc = values.at(i);
            state.JoinPartCrcs = crcs;
        }
        if (cancel.requested() || (hooks.keep && !hooks.keep()))
            output.discard();
        else
            output.commit(!options.keepExisting);
    } catch (const OperationError& e) {
        // The user knows the output's name, not the hidden file's.
        const QString hidden = output.path();
        output.discard();
        throw OperationError(e.text().replace(hidden, outputPath));
    }
}

} // namespace tfs
