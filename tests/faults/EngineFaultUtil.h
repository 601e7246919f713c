#pragma once
// Helpers of the engine-level fault tests: a FAT32 volume on a sparse image,
// sparse sources with marker blocks, and the Split panel driven as a user does.

#include "app/TForm1.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

namespace enginefaults {

// The full path of a system tool, also where root's PATH lacks the sbin
// folders; empty when it is not installed.
inline QString tool(const QString& name) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty()
               ? QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
               : found;
}

// Runs a system tool to its end; an empty text, or what went wrong.
inline QString run(const QString& name, const QStringList& args) {
    const QString program = tool(name);
    if (program.isEmpty()) return QStringLiteral("%1 is not installed").arg(name);
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice()); // a daemon it starts must not hold our pipe
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("%1 %2: %3 %4")
            .arg(program, args.join(QLatin1Char(' ')), p.errorString(),
                 QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    return QString();
}

// A FAT32 file system made by mkfs.vfat on a sparse image (which takes only
// the blocks written) and mounted on a fresh folder: by the kernel through a
// loop device, or, where the kernel has no FAT driver, by fusefat. Needs root.
// When it can't, ok() is false and reason() says why, for a skip message.
class FatVolume {
public:
    explicit FatVolume(qint64 bytes) {
        const QString image = dir_.filePath(QStringLiteral("fat.img"));
        mountPoint_ = dir_.filePath(QStringLiteral("volume"));
        QFile file(image);
        if (!dir_.isValid() || !QDir().mkpath(mountPoint_) || !file.open(QIODevice::WriteOnly) ||
            !file.resize(bytes)) {
            reason_ = QStringLiteral("cannot make a %1-byte image").arg(bytes);
            return;
        }
        file.close();
        if (const QString failed = run(QStringLiteral("mkfs.vfat"), {"-F", "32", image});
            !failed.isEmpty()) {
            reason_ = QStringLiteral("cannot make a FAT file system (package dosfstools): %1")
                          .arg(failed);
            return;
        }
        const QString kernel =
            run(QStringLiteral("mount"), {"-t", "vfat", "-o", "loop", image, mountPoint_});
        if (kernel.isEmpty()) {
            mounted_ = true;
            return;
        }
        if (tool(QStringLiteral("fusefat")).isEmpty()) {
            reason_ = QStringLiteral("cannot mount a FAT image (needs root, and the kernel's vfat "
                                     "or the package fusefat): %1")
                          .arg(kernel);
            return;
        }
        const QString fuse = run(QStringLiteral("fusefat"), {"-o", "rw+", image, mountPoint_});
        if (!fuse.isEmpty()) {
            reason_ = QStringLiteral("cannot mount a FAT image: %1; %2").arg(kernel, fuse);
            return;
        }
        mounted_ = true;
    }
    ~FatVolume() {
        if (mounted_) run(QStringLiteral("umount"), {mountPoint_});
    }
    FatVolume(const FatVolume&) = delete;
    FatVolume& operator=(const FatVolume&) = delete;

    bool ok() const { return mounted_; }
    QString reason() const { return reason_; }
    // The mount point, without a trailing separator (as the folder browser gives it).
    QString path() const { return mountPoint_; }

private:
    QTemporaryDir dir_;
    QString mountPoint_;
    bool mounted_ = false;
    QString reason_;
};

// The 4 KiB marker block written at `offset` of a sparse source.
inline QByteArray marker(qint64 offset) {
    return testutil::patternBytes(4096, static_cast<quint32>(offset ^ (offset >> 32)) + 17);
}

// A sparse file of `size` bytes: zeros (holes, costing no disk) except a
// marker block at each offset (cut at the end of the file).
inline bool makeSparse(const QString& path, qint64 size, const QList<qint64>& markerOffsets = {}) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(size)) return false;
    for (qint64 offset : markerOffsets) {
        const QByteArray block = marker(offset).left(size - offset);
        if (!f.seek(offset) || f.write(block) != block.size()) return false;
    }
    return true;
}

// The Split panel as a user fills it: Load File, the unit (0 Bytes ...
// 3 Gigabytes), the part size typed, the destination chosen.
inline void prepareSplit(testutil::Ui& ui, const QString& source, int unit,
                         const QByteArray& partSize, const QString& dest) {
    TForm1* f = ui.form.get();
    ui.fileAnswers << source;
    QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
    f->ComboBox1->setCurrentIndex(unit);
    QTest::keyClicks(f->Edit2, partSize);
    ui.folderAnswers << dest;
    QTest::mouseClick(f->BitBtn7, Qt::LeftButton);
}

} // namespace enginefaults
