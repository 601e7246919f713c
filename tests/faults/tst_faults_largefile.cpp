// SPDX-License-Identifier: GPL-3.0-or-later
// A source larger than 4 GiB, split into 2 GiB parts and joined back through
// the window: sizes, part counts, positions and progress hold past 2^31 and
// 2^32 bytes. The source is sparse (it takes no disk); the parts and the
// joined file take about 8.6 GB, so the test runs only where that is free.
// It takes about 16 s, 25 s under the sanitizers, which then also watch the
// mapped-window and size arithmetic past 4 GiB.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "split/SplitEngine.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QtTest>

using namespace tfs;

using namespace testutil;
using namespace faults;

namespace {

QByteArray readAt(const QString& path, qint64 offset, qint64 count) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) return QByteArray();
    return f.read(count);
}

} // namespace

class TestFaultsLargeFile : public QObject {
    Q_OBJECT

private slots:
    // 4,294,977,296 bytes in parts of 2,147,483,648: two full parts and one of
    // 10,000 bytes. Marker blocks at the start, across both part boundaries
    // (the second one also across the 4 GiB line), past 2^31 inside part 2,
    // and at the end land where they belong in the parts and in the joined
    // file, which equals the source byte for byte.
    void splitAndJoinPastFourGiB() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const qint64 size = 4294967296LL + 10000;
        const qint64 partSize = 2147483648LL;
        const qint64 need = 2 * size + FreeSpaceMargin + 1073741824LL;
        const qint64 free = QStorageInfo(tmp.path()).bytesAvailable();
        if (free < need)
            QSKIP(qPrintable(QStringLiteral("needs %1 bytes free in %2, which has %3")
                                 .arg(need)
                                 .arg(tmp.path())
                                 .arg(free)));

        const QList<qint64> markers{0, partSize - 2048, 3000000000LL, 2 * partSize - 2048,
                                    size - 4096};
        const QString source = tmp.filePath("big.bin");
        QVERIFY(testutil::makeSparse(source, size, markers));
        const QString out = tmp.filePath("out/");
        QVERIFY(QDir().mkpath(out));
        QElapsedTimer clock;
        clock.start();

        Ui ui;
        MainWindow* f = ui.form.get();
        click(f->startPanel->splitPageButton);
        testutil::prepareSplit(ui, source, 0, QByteArray::number(partSize), out);
        QCOMPARE(f->splitPanel->partCountField->text(), QString("3"));
        click(f->splitPanel->splitButton);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports, QList<QStringList>());
        QCOMPARE(f->splitPanel->splitCancelButton->text(), QString("Undo"));
        QCOMPARE(f->splitPanel->splitGauge->progress(), 100);
        const QStringList parts{out + "big.bin.001", out + "big.bin.002", out + "big.bin.003"};
        QCOMPARE(entries(out), (QStringList{"big.bin.001", "big.bin.002", "big.bin.003",
                                            "big.bin.crc", "big.bin.sfv", "big.bin.txt"}));
        QCOMPARE(QFileInfo(parts[0]).size(), partSize);
        QCOMPARE(QFileInfo(parts[1]).size(), partSize);
        QCOMPARE(QFileInfo(parts[2]).size(), qint64(10000));
        for (qint64 offset : markers) {
            const QByteArray expected = testutil::marker(offset).left(size - offset);
            QByteArray found;
            for (qint64 start = (offset / partSize) * partSize; found.size() < expected.size();
                 start += partSize)
                found += readAt(parts[start / partSize], std::max<qint64>(0, offset - start),
                                expected.size() - found.size());
            QVERIFY2(found == expected, qPrintable(QStringLiteral("marker at %1").arg(offset)));
        }
        const qint64 splitMs = clock.restart();

        ui.reports.clear();
        click(f->splitPanel->splitMainButton);
        click(f->startPanel->joinPageButton);
        ui.fileAnswers << parts[2];
        click(f->joinPanel->loadPartButton);
        QCOMPARE(f->joinPanel->state().JoinTotalSize, size);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui.errors, QStringList());
        QCOMPARE(ui.reports, QList<QStringList>{CompletedWithList +
                                                QStringList{"     CRC-32 checked: 3 of 3 parts"}});
        const QString joined = out + "big.bin";
        QCOMPARE(QFileInfo(joined).size(), size);
        for (qint64 offset : markers)
            QVERIFY2(readAt(joined, offset, 4096) == testutil::marker(offset).left(size - offset),
                     qPrintable(QStringLiteral("marker at %1").arg(offset)));
        const qint64 joinMs = clock.restart();
        QVERIFY(sameContent(joined, source));
        qInfo("split %lld ms, join %lld ms, full comparison %lld ms", splitMs, joinMs,
              clock.elapsed());
    }
};

TFS_UI_TEST_MAIN(TestFaultsLargeFile)
#include "tst_faults_largefile.moc"
