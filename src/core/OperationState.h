// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// src/core: the base every engine and the window stand on. The operations'
// state, the error type, number texts, file access (copying, mapped reading), the
// progress rule, free space and file-system limits, and the hooks every
// engine takes (EngineHooks.h). Qt Core only; it uses nothing of the folders
// above it.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>

// One part's CRC-32 and size in bytes, as an engine copied it.
struct PartCrc {
    quint32 crc = 0;
    qint64 size = 0;
};

// The variables of each kind of operation, with their initial values. Each
// engine takes the group it works on (the split engine a SplitState, the join
// engine a JoinState); whoever runs it owns one: each page of the window its
// own, the command line one per command, a test one of its own.

// Splitting, from the split panel and the presets.
struct SplitState {
    double FreeSpaceBytes = 0;    // the destination's free space as the split measured it
    QString SourceFilePath;       // full path of the loaded source file
    qint64 SourceFileSize = 0;    // its size in bytes, measured when loaded
    qint64 PartSizeBytes = 0;     // part size from the part-size field and the unit
    qint64 PresetPartSize = 0;    // part size of the media preset being run
    QString SplitDestFolder;      // destination of the parts, ends with one separator
    QString SplitSourceName;      // file name of the source of the last split
    QString PresetListBase;       // destination + source name: preset list path less ".txt"
    QString CurrentPartPath;      // full path of the part being written
    QStringList SplitPartNames;   // names of the parts of the last split, in order
    QStringList SplitPartPaths;   // full paths of the parts created, in order
    QList<PartCrc> SplitPartCrcs; // CRC-32 of each part of a completed split, in order
    quint8 SplitCancelFlag = 0;   // 1: the running split stops and removes its parts
    quint8 PartSizeEmpty = 0;     // 1 while the part-size field is empty
};

// Joining; the free space is the destination's, measured before the join writes.
struct JoinState {
    QString JoinOutputPath;              // full path of the joined file
    QString JoinDestFolder;              // destination of the joined file, ends with one separator
    qint64 JoinTotalSize = 0;            // total size of the consecutive parts from ordinal 1
    QString JoinListName;                // file name of the part list the join looks for
    std::unique_ptr<QFile> JoinListFile; // the list file while the scan reads it
    QString JoinListLine;                // the line last read from the list
    QString JoinListedName;              // the entry whose existence is being tested
    QStringList JoinListEntries;         // the lines of the list, made anew by each scan
    QStringList JoinMissingParts;        // entries without a file, each followed by a blank
    quint8 JoinCancelFlag = 0;           // 1: the running join stops and deletes its output
    QList<PartCrc> JoinPartCrcs;         // CRC-32 of each part joined, when the join takes them
};
