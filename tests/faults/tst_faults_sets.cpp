// SPDX-License-Identifier: GPL-3.0-or-later
// Sets of every shape: more than a thousand parts (whose ordinals grow to five
// digits) and a few hundred random source and part sizes, each split by the
// split engine and joined back by the join engine byte for byte, with the
// number of parts that the Split panel predicted beforehand.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "join/JoinEngine.h"
#include "parts/Naming.h"
#include "parts/PartList.h"
#include "split/SizeUnits.h"
#include "split/SplitEngine.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QtTest>

using namespace tfs;

using namespace testutil;

namespace {

// The key of the random sizes; TFS_PROPERTY_KEY replays another.
quint32 propertyKey() {
    bool ok = false;
    const uint key = qEnvironmentVariable("TFS_PROPERTY_KEY").toUInt(&ok);
    return ok ? key : 20240607u;
}

// One random case: a source size, a unit and a part size in that unit.
struct SizeCase {
    qint64 size;
    int unit;
    qint64 partUnits;
};

// Mostly byte part sizes, some kilobytes, a few megabytes; about a fifth of
// the cases are exact multiples of the part size or one byte past one. The
// part size never exceeds the source (the panel refuses that while typing),
// and sets stay within a few hundred parts.
SizeCase randomCase(QRandomGenerator& rng) {
    const int pick = rng.bounded(100);
    const int unit = pick < 80 ? 0 : pick < 97 ? 1 : 2;
    const qint64 factor = sizeunits::Factors[unit];
    const qint64 maxSize = unit == 0 ? 40000 : unit == 1 ? 400 * 1024 : 5 * 1048576;
    qint64 size = factor + rng.bounded(maxSize - factor + 1);
    const qint64 maxUnits = size / factor;
    const qint64 minUnits = std::max<qint64>(1, maxUnits / 300);
    const qint64 partUnits = minUnits + rng.bounded(maxUnits - minUnits + 1);
    const qint64 partBytes = partUnits * factor;
    const int shape = rng.bounded(10);
    if (shape == 0)
        size = partBytes * std::max<qint64>(1, size / partBytes); // an exact multiple
    else if (shape == 1 && size / partBytes < 300)
        size = partBytes * (size / partBytes) + 1; // one byte into a last part
    return {size, unit, partUnits};
}

} // namespace

class TestFaultsSets : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString parts, out; // folders ending with "/"

    SplitState stateFor(const QString& source) const {
        SplitState s;
        s.SourceFilePath = source;
        s.SourceFileSize = QFileInfo(source).size();
        s.SplitDestFolder = parts;
        return s;
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        parts = tmp->filePath("parts/");
        out = tmp->filePath("out/");
        QVERIFY(QDir().mkpath(parts) && QDir().mkpath(out));
    }

    // 1,004 parts: the digits widen at 101 (0101) and at 1,000 (01000). The
    // list names them in ordinal order, the join finds them all from any part
    // (also from one past 1,000) and gives back the source; with part 01000
    // gone, the scan names exactly that one and the set ends at 999.
    void moreThanAThousandParts() {
        const QString source = tmp->filePath("set.bin");
        makeFile(source, 1003 * 50 + 7, 3);
        SplitState s = stateFor(source);
        QStringList refused;
        SplitHooks hooks;
        hooks.refused = [&](const QStringList& lines) { refused = lines; };
        splitIntoParts(s, source, 50, hooks);
        QCOMPARE(refused, QStringList());
        QCOMPARE(s.SplitPartNames.size(), 1004);
        const QList<QPair<int, QString>> names{{99, "099"},   {100, "100"},    {101, "0101"},
                                               {999, "0999"}, {1000, "01000"}, {1004, "01004"}};
        for (const auto& [ordinal, digits] : names) {
            QCOMPARE(s.SplitPartNames[ordinal - 1], "set.bin." + digits);
            QCOMPARE(QFileInfo(parts + "set.bin." + digits).size(), ordinal == 1004 ? 7 : 50);
        }
        QCOMPARE(QDir(parts).entryList(QDir::Files).size(), 1004);
        const QString list = partListPath(parts, "set.bin");
        writePartList(list, s.SplitPartNames);

        JoinState join;
        scanForMissingParts(join, readPartSet(parts + "set.bin.01002"));
        QCOMPARE(join.JoinListEntries, s.SplitPartNames);
        QCOMPARE(join.JoinMissingParts, QStringList());
        QCOMPARE(joinedSize(readPartSet(parts + "set.bin.0101"), JoinHooks()), s.SourceFileSize);
        joinParts(join, readPartSet(parts + "set.bin.01002"), out + "set.bin", JoinHooks());
        QVERIFY(sameContent(out + "set.bin", source));

        QVERIFY(QFile::remove(parts + "set.bin.01000"));
        scanForMissingParts(join, readPartSet(parts + "set.bin.001"));
        QCOMPARE(join.JoinMissingParts, QStringList{"set.bin.01000 "});
        QCOMPARE(joinedSize(readPartSet(parts + "set.bin.001"), JoinHooks()), qint64(999 * 50));
    }

    // A second split of the same name into the same folder with fewer parts
    // removes the earlier set's parts beyond its own: the join takes every
    // consecutive part it finds and would otherwise append the old ones.
    void resplitWithFewerPartsLeavesNoOldParts() {
        Ui ui;
        MainWindow* f = ui.form.get();
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        const QString source = tmp->filePath("movie.avi");
        makeFile(source, 10000, 7);
        testutil::prepareSplit(ui, source, 0, "1000", parts);
        QTest::mouseClick(f->splitPanel->splitButton, Qt::LeftButton);
        QCOMPARE(QDir(parts).entryList(QDir::Files).size(),
                 13); // ten parts, the list, 2 check files
        writeFile(parts + "movie.avi.012", "not listed, not ours"); // stays

        makeFile(source, 4500, 8);
        testutil::prepareSplit(ui, source, 0, "3000", parts);
        QTest::mouseClick(f->splitPanel->splitButton, Qt::LeftButton);
        QCOMPARE(QDir(parts).entryList(QDir::Files, QDir::Name),
                 (QStringList{"movie.avi.001", "movie.avi.002", "movie.avi.012", "movie.avi.crc",
                              "movie.avi.sfv", "movie.avi.txt"}));
        JoinState join;
        joinParts(join, readPartSet(parts + "movie.avi.002"), out + "movie.avi", JoinHooks());
        QCOMPARE(readFile(out + "movie.avi"), readFile(source));
        QVERIFY(ui.errors.isEmpty());
    }

    // For a few hundred random sizes: the part count that the Split panel
    // shows (partCountField) is the number of parts the engine writes, every part but
    // the last has exactly the part size, the last holds 1 to part size
    // bytes, and the join gives back the source byte for byte.
    void splitThenJoinGivesBackTheSource() {
        const quint32 key = propertyKey();
        QRandomGenerator rng(key);
        Ui ui;
        MainWindow* f = ui.form.get();
        QTest::mouseClick(f->startPanel->splitPageButton, Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        const int rounds = 300;
        for (int round = 0; round < rounds; ++round) {
            const SizeCase c = randomCase(rng);
            const qint64 partBytes = c.partUnits * sizeunits::Factors[c.unit];
            const QString why =
                QStringLiteral("key %1 (TFS_PROPERTY_KEY), round %2: source %3 bytes, "
                               "part %4 %5: ")
                    .arg(key)
                    .arg(round)
                    .arg(c.size)
                    .arg(c.partUnits)
                    .arg(sizeunits::Names.at(c.unit));
            const QString source = tmp->filePath(QStringLiteral("src%1.dat").arg(round));
            makeFile(source, c.size, key + quint32(round));

            // The panel's prediction, as the user sees it after typing the part size.
            ui.fileAnswers << source;
            QTest::mouseClick(f->splitPanel->loadSourceButton, Qt::LeftButton);
            f->splitPanel->unitBox->setCurrentIndex(c.unit);
            QTest::keyClicks(f->splitPanel->partSizeField, QByteArray::number(c.partUnits));
            QVERIFY2(ui.reports.isEmpty(), qPrintable(why + ui.reports.value(0).join('|')));
            bool shown = false;
            const qint64 predicted = f->splitPanel->partCountField->text().toLongLong(&shown);
            QVERIFY2(shown, qPrintable(why + "no part count shown: " +
                                       f->splitPanel->partCountField->text()));

            SplitState s = stateFor(source);
            splitIntoParts(s, source, partBytes, SplitHooks());
            QVERIFY2(s.SplitPartPaths.size() == predicted,
                     qPrintable(why + QStringLiteral("%1 parts written, %2 predicted")
                                          .arg(s.SplitPartPaths.size())
                                          .arg(predicted)));
            for (int i = 0; i < s.SplitPartPaths.size(); ++i) {
                const qint64 partSize = QFileInfo(s.SplitPartPaths[i]).size();
                const bool last = i == s.SplitPartPaths.size() - 1;
                QVERIFY2(
                    last ? partSize >= 1 && partSize <= partBytes : partSize == partBytes,
                    qPrintable(why +
                               QStringLiteral("part %1 holds %2 bytes").arg(i + 1).arg(partSize)));
            }
            JoinState join;
            const QString joined = out + fileNameOf(source);
            joinParts(join, readPartSet(s.SplitPartPaths.last()), joined, JoinHooks());
            QVERIFY2(readFile(joined) == readFile(source),
                     qPrintable(why + "the joined file differs"));

            QVERIFY(QDir(parts).removeRecursively() && QDir().mkpath(parts));
            QVERIFY(QFile::remove(joined) && QFile::remove(source));
        }
        qInfo("%d random sets split and joined in %lld ms (key %u)", rounds, clock.elapsed(), key);
    }
};

TFS_UI_TEST_MAIN(TestFaultsSets)
#include "tst_faults_sets.moc"
