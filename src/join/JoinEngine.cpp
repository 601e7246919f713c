#include "join/JoinEngine.h"

#include "core/FileError.h"
#include "core/ProgramState.h"
#include "core/FileCopy.h"
#include "core/MappedFile.h"
#include "split/Naming.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

// Longest output name (in bytes on disk) carried into the hidden file's name,
// leaving room for the dot, ".part-" and the suffix within the usual 255.
constexpr int HiddenNameStemMax = 200;

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

    // Closes the file and renames it to the output path, replacing any file there.
    void commit() {
        closeWritten(file_); // a failed close is a failed write
#ifndef Q_OS_UNIX
        QFile::remove(outputPath_); // rename() replaces the target only on POSIX systems
#endif
        if (std::rename(QFile::encodeName(path()).constData(),
                        QFile::encodeName(outputPath_).constData()) != 0)
            throw FileError(systemErrorText(QStringLiteral("Cannot create"), outputPath_, errno));
        done_ = true;
    }

    // Closes and deletes the file (nothing after commit).
    void discard() {
        if (done_) return;
        file_.close();
        QFile::remove(path());
        done_ = true;
    }

private:
    void create() {
        static const char letters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        QString stem = fileNameOf(outputPath_);
        while (QFile::encodeName(stem).size() > HiddenNameStemMax ||
               (!stem.isEmpty() && stem.back().isHighSurrogate()))
            stem.chop(1);
        const QString prefix =
            folderOf(outputPath_) + QLatin1Char('.') + stem + QStringLiteral(".part-");
        for (int attempt = 0; attempt < 100; ++attempt) {
            QString name = prefix;
            for (int i = 0; i < 6; ++i)
                name += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
            file_.setFileName(name);
            // NewOnly: O_EXCL, so an existing file or link is never opened.
            if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
                return;
            const QFileInfo taken(name);
            if (!taken.exists() && !taken.isSymLink())
                throw FileError(
                    QStringLiteral("Cannot create %1: %2").arg(outputPath_, file_.errorString()));
        }
        throw FileError(QStringLiteral("Cannot create %1: no free name for the temporary file")
                            .arg(outputPath_));
    }

    QString outputPath_;
    QFile file_;
    bool done_ = false;
};

// Moves one part's bytes to the output, one step of at most JoinBlockSize
// bytes at a time, each step with one system call where the platform allows:
// every step is written to the output straight from a read-only mapping of
// the part, so the bytes are copied once, with no read call, buffer or
// allocation per step. Only the kernel touches the mapping (inside pwrite),
// so a part that gets shorter meanwhile cannot raise SIGBUS here: pwrite then
// stops short or fails with EFAULT, which ends the part early. Bytes that a
// shortened part still maps as zeros (the rest of its last page) are caught by
// the size check at the end of the part. Where the part can't be mapped, each
// step is read into one reused buffer and written.
class PartCopier {
public:
    PartCopier(QFile& part, qint64 size, QFile& output)
        : part_(part), size_(size), output_(output), window_(part) {}

    // Appends `count` bytes of the part from `pos` to the output at `outPos`.
    // Returns the number appended, fewer than `count` when the part ended early.
    qint64 step(qint64 pos, qint64 count, qint64 outPos) {
#ifdef Q_OS_LINUX
        if (const uchar* bytes = window_.at(pos, count, size_))
            return writeMapped(bytes, pos, count, outPos);
#endif
        return copyThroughBuffer(pos, count, outPos);
    }

private:
#ifdef Q_OS_LINUX
    qint64 writeMapped(const uchar* bytes, qint64 pos, qint64 count, qint64 outPos) {
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::pwrite(output_.handle(), bytes + done,
                                       static_cast<size_t>(count - done), outPos + done);
            if (n > 0) {
                done += n;
                continue;
            }
            const int err = n < 0 ? errno : EIO;
            if (err == EINTR) continue;
            if (err == EFAULT) {
                // The mapping has no page there: the part got shorter, or
                // couldn't be read.
                if (sizeOfOpenFile(part_) >= pos + count)
                    throw FileError(
                        systemErrorText(QStringLiteral("Cannot read"), part_.fileName(), EIO));
                return done;
            }
            throw FileError(
                systemErrorText(QStringLiteral("Cannot write"), output_.fileName(), err));
        }
        return done;
    }
#endif

    qint64 copyThroughBuffer(qint64 pos, qint64 count, qint64 outPos) {
        static std::array<char, JoinBlockSize> buffer; // one join runs at a time
        qint64 done = 0;
        if (!part_.seek(pos))
            throw FileError(QStringLiteral("Cannot read %1: %2")
                                .arg(part_.fileName(), part_.errorString()));
        while (done < count) {
            const qint64 n = part_.read(buffer.data(), count - done);
            if (n < 0)
                throw FileError(QStringLiteral("Cannot read %1: %2")
                                    .arg(part_.fileName(), part_.errorString()));
            if (n == 0) break;
            if (!output_.seek(outPos + done) || output_.write(buffer.data(), n) != n)
                throw FileError(QStringLiteral("Cannot write %1: %2")
                                    .arg(output_.fileName(), output_.errorString()));
            done += n;
        }
        return done;
    }

    QFile& part_;
    const qint64 size_;
    QFile& output_;
    MappedFileWindow window_;
};

bool partExists(const QString& path) {
    return QFileInfo(path).isFile();
}

// N: the parts from ordinal 1 up to the first absent one. Yields before every test.
qint64 countParts(const QString& basePath, const JoinHooks& hooks) {
    qint64 count = 0;
    for (;;) {
        if (hooks.yield) hooks.yield();
        if (!partExists(joinPartPath(basePath, count + 1))) return count;
        ++count;
    }
}

std::vector<qint64> partSizes(const QString& basePath, qint64 count) {
    std::vector<qint64> sizes;
    sizes.reserve(static_cast<size_t>(count));
    QFile part;
    for (qint64 i = 1; i <= count; ++i) {
        openForReading(part, joinPartPath(basePath, i));
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

qint64 original_size(const QString& chosenPart, const JoinHooks& hooks) {
    const QString basePath = basePathOf(chosenPart);
    return sum(partSizes(basePath, countParts(basePath, hooks)));
}

void spojfor(ProgramState& state, const QString& chosenPart, const QString& outputPath,
             const JoinHooks& hooks) {
    state.JoinCancelFlag = 0;
    const QString basePath = basePathOf(chosenPart);
    const qint64 count = countParts(basePath, hooks);

    HiddenOutput output(outputPath);
    if (hooks.iconRefresh) hooks.iconRefresh();

    try {
        const std::vector<qint64> sizes = partSizes(basePath, count);
        const qint64 total = sum(sizes);
        qint64 written = 0;
        QFile part;

        for (qint64 c = 1; c <= count && state.JoinCancelFlag != 1; ++c) {
            const QString partPath = joinPartPath(basePath, c);
            openForReading(part, partPath);
            if (hooks.yield) hooks.yield();

            // Exactly the bytes that were counted: the total and the progress hold.
            const qint64 size = sizes[static_cast<size_t>(c - 1)];
            const auto shorter = [&partPath] {
                return FileError(QStringLiteral("Cannot read %1: the part became shorter "
                                                "while it was being joined")
                                     .arg(partPath));
            };
            {
                PartCopier copier(part, size, output.file());
                for (qint64 pos = 0; pos < size;) {
                    const qint64 step = std::min(JoinBlockSize, size - pos);
                    const qint64 copied = copier.step(pos, step, written);
                    if (copied < step) throw shorter();
                    pos += copied;
                    written += copied;
                    if (hooks.progress) hooks.progress(joinProgress(written, total));
                    if (hooks.yield) hooks.yield();
                    if (state.JoinCancelFlag == 1) break;
                }
            }
            // A part cut inside its last page still maps that page (the cut-off
            // bytes read as zeros): only its size tells.
            if (state.JoinCancelFlag != 1 && sizeOfOpenFile(part) < size) throw shorter();
            part.close();
        }

        if (hooks.progress) hooks.progress(99);
        if (state.JoinCancelFlag == 1)
            output.discard();
        else
            output.commit();
    } catch (const FileError& e) {
        // The user knows the output's name, not the hidden file's.
        const QString hidden = output.path();
        output.discard();
        throw FileError(e.text().replace(hidden, outputPath));
    }
}
