// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/RepairSteps.h"

#include "core/OperationError.h"
#include "recovery/Gf16.h"
#include "recovery/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace tfs {

namespace {

constexpr qint64 ReadBlock = 4 << 20;

// The path of a file being rebuilt: hidden, beside the file.
QString rebuildPathOf(const RecoverySet& set, const par2::FileEntry& file) {
    return set.folder + QStringLiteral(".") + QString::fromUtf8(file.name) +
           QStringLiteral(".rebuilt");
}

} // namespace

qint64 paddedSliceOf(qint64 size) {
    return (size + gf16::PreparedBlock - 1) / gf16::PreparedBlock * gf16::PreparedBlock;
}

void readPadded(const QString& path, qint64 at, qint64 have, uchar* into, qint64 count) {
    QFile file;
    QString why;
    qint64 got = 0;
    if (have > 0 && openRegularFile(file, path, why) && file.seek(at)) {
        got = qMax<qint64>(0, file.read(reinterpret_cast<char*>(into), have));
        why = file.errorString();
    }
    if (got < have) throw OperationError(QStringLiteral("Cannot read %1: %2").arg(path, why));
    std::fill(into + got, into + count, 0);
}

void solveTile(const std::vector<quint16>& solve, int m, const std::vector<uchar*>& sums, qint64 at,
               const std::vector<uchar*>& outputs, qint64 outAt, qint64 bytes, uchar* nibbles) {
    for (int j = 0; j < m; ++j)
        std::fill_n(outputs[size_t(j)] + outAt, bytes, 0);
    for (int k = 0; k < m; ++k) {
        gf16::prepareSource(sums[size_t(k)] + at, nibbles, bytes);
        for (int j = 0; j < m; ++j)
            gf16::multiplyAddPrepared(gf16::prepareFactor(solve[size_t(j) * m + k]), nibbles,
                                      outputs[size_t(j)] + outAt, bytes);
    }
    for (int j = 0; j < m; ++j)
        gf16::toWords(outputs[size_t(j)] + outAt, bytes);
}

RebuiltFiles::RebuiltFiles(const RecoverySet& set, const SetCheck& check)
    : set_(set), files_(set.files.size()) {
    for (size_t f = 0; f < set.files.size(); ++f) {
        if (check.parts[f].status == PartStatus::Ok || set.isLeftAlone(f)) continue;
        files_[f] = std::make_unique<QFile>(rebuildPathOf(set, set.files[f]));
        if (!files_[f]->open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            const QString text = QStringLiteral("Cannot create %1: %2")
                                     .arg(files_[f]->fileName(), files_[f]->errorString());
            files_[f].reset();
            removeUnfinished();
            throw OperationError(text);
        }
    }
}

void RebuiltFiles::write(size_t file, qint64 slice, qint64 from, const uchar* bytes, qint64 len) {
    if (!files_[file]) return; // a file left alone: solved for, never written
    QFile& out = *files_[file];
    // Only what lies within the slice and the file: the prepared layout pads
    // a slice to whole blocks, and those bytes belong to the next slice.
    const qint64 at = slice * qint64(set_.sliceSize) + from;
    const qint64 n = qBound<qint64>(
        0, qMin(qint64(set_.files[file].length) - at, qint64(set_.sliceSize) - from), len);
    if (n > 0 && (!out.seek(at) || out.write(reinterpret_cast<const char*>(bytes), n) != n))
        throw OperationError(
            QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
}

void RebuiltFiles::finish(SetCheck& check) {
    QStringList failed;
    for (size_t f = 0; f < set_.files.size(); ++f) {
        if (!files_[f]) continue;
        QFile& out = *files_[f];
        if (!out.flush() || !out.resize(qint64(set_.files[f].length)) || ::fsync(out.handle()) != 0)
            throw OperationError(
                QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
        // What is on the disk now, read back, must be the file recorded.
        Md5 md5;
        QByteArray block(
            int(qMin<qint64>(ReadBlock, qMax<qint64>(1, qint64(set_.files[f].length)))),
            Qt::Uninitialized);
        out.seek(0);
        for (qint64 n; (n = out.read(block.data(), block.size())) > 0;)
            md5.add(block.constData(), n);
        out.close();
        const QString target = set_.pathOf(set_.files[f]);
        if (md5.result() != set_.files[f].md5) {
            failed.append(check.parts[f].name);
            QFile::remove(out.fileName());
        } else {
            if (std::rename(QFile::encodeName(out.fileName()).constData(),
                            QFile::encodeName(target).constData()) != 0)
                throw OperationError(
                    systemErrorText(QStringLiteral("Cannot replace"), target, errno));
            check.parts[f].status = PartStatus::Repaired;
            std::fill(check.parts[f].goodSlices.begin(), check.parts[f].goodSlices.end(), true);
        }
        files_[f].reset();
    }
    check.missingSlices = 0;
    for (const PartCheck& p : check.parts)
        check.missingSlices += std::count(p.goodSlices.begin(), p.goodSlices.end(), false);
    if (failed.size() == 1)
        throw OperationError(
            QStringLiteral("Rebuilt %1 does not match its recorded MD5: left as it was")
                .arg(failed.first()));
    if (!failed.isEmpty())
        throw OperationError(
            QStringLiteral("Rebuilt %1 do not match their recorded MD5s: left as they were")
                .arg(failed.join(QStringLiteral(", "))));
}

void RebuiltFiles::removeUnfinished() {
    for (size_t f = 0; f < files_.size(); ++f)
        if (files_[f]) {
            files_[f]->close();
            QFile::remove(files_[f]->fileName());
            files_[f].reset();
        }
}

} // namespace tfs
