// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/TestUtil.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "join/HiddenOutput.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace tfs;
using namespace testutil;

// The hidden file a join writes into: how each way of ending it leaves the
// output's folder, with and without a file already at the output's name.
class TestHiddenOutput : public QObject {
    Q_OBJECT

    enum class Ending { CommitReplacing, CommitKeeping, Discard, Destroyed };

private slots:
    void endings_data() {
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("earlierFile"); // "earlier" at the output's name beforehand
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QByteArray>("output"); // "": no output file afterwards
        const auto row = [](const char* name, Ending ending, bool earlier, bool throws,
                            const QByteArray& output) {
            QTest::newRow(name) << int(ending) << earlier << throws << output;
        };
        row("committed to a free name", Ending::CommitReplacing, false, false, "joined");
        row("committed over a file", Ending::CommitReplacing, true, false, "joined");
        row("committed keeping, free name", Ending::CommitKeeping, false, false, "joined");
        row("committed keeping, name taken", Ending::CommitKeeping, true, true, "earlier");
        row("discarded", Ending::Discard, false, false, "");
        row("discarded beside a file", Ending::Discard, true, false, "earlier");
        row("destroyed unfinished", Ending::Destroyed, false, false, "");
    }
    void endings() {
        QFETCH(int, ending);
        QFETCH(bool, earlierFile);
        QFETCH(bool, throws);
        QFETCH(QByteArray, output);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString folder = tmp.path() + "/";
        const QString outputPath = folder + "movie.avi";
        if (earlierFile) writeFile(outputPath, "earlier");

        bool threw = false;
        {
            HiddenOutput hidden(outputPath);
            QVERIFY2(hidden.path().startsWith(folder + ".movie.avi.part-"),
                     qPrintable(hidden.path()));
            QCOMPARE(entries(folder).size(), earlierFile ? 2 : 1);
            writeBytesAt(hidden.file(), 0, "joined", 6);
            try {
                if (ending == int(Ending::CommitReplacing)) hidden.commit(true);
                if (ending == int(Ending::CommitKeeping)) hidden.commit(false);
                if (ending == int(Ending::Discard)) hidden.discard();
            } catch (const OperationError& e) {
                threw = true;
                QVERIFY2(e.text().contains(outputPath), qPrintable(e.text()));
            }
        }
        QCOMPARE(threw, throws);
        // Nothing hidden is left in any case.
        QCOMPARE(entries(folder), output.isEmpty() ? QStringList() : QStringList{"movie.avi"});
        if (!output.isEmpty()) QCOMPARE(readFile(outputPath), output);
    }
};

QTEST_GUILESS_MAIN(TestHiddenOutput)
#include "tst_hiddenoutput.moc"
