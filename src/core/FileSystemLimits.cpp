// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileSystemLimits.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/vfs.h>

namespace {
// statfs' f_type of the kernel's FAT drivers (msdos and vfat).
constexpr unsigned long MsdosSuperMagic = 0x4d44;
} // namespace
#endif

qint64 largestFileOfType(const QString& type) {
    // Linux names the kernel drivers "vfat", "msdos" (and the old "umsdos");
    // a FAT volume mounted through FUSE shows as "fuse.fusefat"; other systems
    // say "msdos", "FAT", "FAT12", "FAT16" or "FAT32". exFAT is not FAT here:
    // it holds files of any size a split makes.
    static const QStringList fat{
        QStringLiteral("vfat"),  QStringLiteral("msdos"),        QStringLiteral("umsdos"),
        QStringLiteral("fat"),   QStringLiteral("fat12"),        QStringLiteral("fat16"),
        QStringLiteral("fat32"), QStringLiteral("fuse.fusefat"), QStringLiteral("fusefat")};
    return fat.contains(type.toLower()) ? FatLargestFile : -1;
}

qint64 largestFileOn(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return -1;
#ifdef Q_OS_LINUX
    struct statfs fs;
    if (::statfs(QFile::encodeName(folder).constData(), &fs) == 0 &&
        static_cast<unsigned long>(fs.f_type) == MsdosSuperMagic)
        return FatLargestFile;
#endif
    // The mount table's name also tells FAT volumes served by user-space
    // drivers, and is what the other systems offer.
    const QStorageInfo info(folder);
    return info.isValid() ? largestFileOfType(QString::fromLatin1(info.fileSystemType())) : -1;
}

namespace {

// The report of a refusal: what can't be stored, the volume and its limit.
// Short lines: the report's memo is narrow.
QStringList refusalLines(const QString& what, qint64 largestFile, const QString& volumeRoot) {
    const QString indent = QStringLiteral("     ");
    return {
        QStringLiteral(" "), QStringLiteral(" "),
        indent + what,       indent + QStringLiteral("be stored on drive"),
        indent + volumeRoot, indent + QStringLiteral("(largest file %1 bytes)").arg(largestFile)};
}

} // namespace

QStringList oversizedPartRefusal(qint64 sourceSize, qint64 partSize, qint64 largestFile,
                                 const QString& volumeRoot) {
    if (largestFile < 0 || std::min(sourceSize, partSize) <= largestFile) return {};
    return refusalLines(QStringLiteral("Parts of this size can not"), largestFile, volumeRoot);
}

QStringList oversizedJoinRefusal(qint64 totalSize, qint64 largestFile, const QString& volumeRoot) {
    if (largestFile < 0 || totalSize <= largestFile) return {};
    return refusalLines(QStringLiteral("The joined file can not"), largestFile, volumeRoot);
}
