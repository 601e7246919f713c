// SPDX-License-Identifier: GPL-3.0-or-later
// Strange file names through the window: a split on the split panel and a
// join of its parts on the join panel give back the source byte for byte for
// names with blanks, quotes, UTF-8 beyond ASCII and a leading dash; names so
// long that a part's name exceeds the file system's 255 bytes end with a
// clear error, every part made listed (Cancel removes them) and no list.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "common/UiHarness.h"
#include "core/FreeSpace.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/OpenedFile.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/StartPage.h"
#include "parts/Naming.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstdio>
#include <sys/stat.h>

using namespace tfs;

using namespace testutil;
using namespace faults;

namespace {

// A name of exactly `bytes` bytes in UTF-8, ending in ".bin".
QString nameOfBytes(int bytes) { return QString(bytes - 4, QLatin1Char('n')) + ".bin"; }

} // namespace

class TestFaultsNames : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString src, parts, joined; // folders, ending with "/"
    std::unique_ptr<Ui> ui;
    MainWindow* f = nullptr;

    // Splits `source` on the split panel into `dest` (else `parts`), at
    // `partSize` bytes.
    void split(const QString& source, const QByteArray& partSize, const QString& dest = QString()) {
        click(f->startPanel->splitPageButton);
        prepareSplit(*ui, source, 0, partSize, dest.isEmpty() ? parts : dest);
        click(f->splitPanel->splitButton);
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        src = tmp->path() + "/src/";
        parts = tmp->path() + "/parts/";
        joined = tmp->path() + "/joined/";
        for (const QString& d : {src, parts, joined})
            QVERIFY(QDir().mkpath(d));
        ui = std::make_unique<Ui>();
        f = ui->form.get();
        claimRoom();
    }
    void cleanup() { ui.reset(); }

    void roundTrip_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my  movie .avi";
        QTest::newRow("quotes") << "it's \"the\" `one`.bin";
        QTest::newRow("UTF-8") << QString::fromUtf8("čaša ñ 日本.bin");
        QTest::newRow("leading dash") << "-rf.bin";
        QTest::newRow("251 bytes") << nameOfBytes(251); // its parts and list: 255 bytes
    }
    void roundTrip() {
        QFETCH(QString, name);
        const QString source = src + name;
        makeFile(source, 25000, 9);
        const QByteArray original = readFile(source);
        split(source, "10000");
        QCOMPARE(ui->errors, QStringList());
        const QStringList names{name + ".001", name + ".002", name + ".003"};
        QCOMPARE(entries(parts), QStringList(names)
                                     << name + ".crc" << name + ".sfv" << name + ".txt");
        QCOMPARE(readFile(parts + name + ".txt"), (names.join("\r\n") + "\r\n").toUtf8());

        click(f->splitPanel->splitMainButton);
        click(f->startPanel->joinPageButton);
        ui->fileAnswers << parts + names[1];
        click(f->joinPanel->loadPartButton);
        ui->folderAnswers << joined;
        click(f->joinPanel->joinDestinationButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui->errors, QStringList());
        // The split's check files came along: every part was checked.
        QCOMPARE(ui->reports.last().mid(3), (QStringList{"              Joining completed,",
                                                         "     CRC-32 checked: 3 of 3 parts"}));
        QCOMPARE(entries(joined), QStringList{name});
        QCOMPARE(readFile(joined + name), original);
        QCOMPARE(readFile(source), original);
    }

    // 252 bytes: the first part's name has 256. 251 bytes split into 101
    // parts: the hundred-and-first (".0101") has 256. Either way the error
    // names the part and the reason, the parts made are listed and no list is
    // written; Cancel removes them and the source stays as it was.
    void partNamesTooLong() {
        const QString tooLong = src + nameOfBytes(252);
        makeFile(tooLong, 3000, 4);
        split(tooLong, "1000");
        QCOMPARE(ui->errors.size(), 1);
        const QString first = parts + nameOfBytes(252) + ".001";
        QVERIFY2(ui->errors[0].contains(first) && ui->errors[0].contains("File name too long"),
                 qPrintable(ui->errors[0]));
        QCOMPARE(f->splitPanel->state().SplitPartPaths, QStringList{first});
        QCOMPARE(entries(parts), QStringList());
        click(f->splitPanel->splitCancelButton);
        QVERIFY(f->splitPanel->loadSourceButton->isEnabled() &&
                f->splitPanel->splitButton->isEnabled());

        const QString longName = src + nameOfBytes(251);
        makeFile(longName, 101, 5);
        const QByteArray original = readFile(longName);
        split(longName, "1");
        QCOMPARE(ui->errors.size(), 2);
        QVERIFY2(ui->errors[1].contains(parts + nameOfBytes(251) + ".0101") &&
                     ui->errors[1].contains("File name too long"),
                 qPrintable(ui->errors[1]));
        QCOMPARE(f->splitPanel->state().SplitPartPaths.size(), 101);
        const QStringList made = entries(parts);
        QCOMPARE(made.size(), 100);
        QCOMPARE(made.last(), nameOfBytes(251) + ".100");
        QCOMPARE(concat(f->splitPanel->state().SplitPartPaths.mid(0, 100)), original.left(100));
        click(f->splitPanel->splitCancelButton);
        QCOMPARE(entries(parts), QStringList());
        QCOMPARE(readFile(longName), original);
        QCOMPARE(readFile(tooLong).size(), 3000);
    }

    // Parts of a 251-byte name joined beside their source: the output's name
    // is taken, and "Clone Of " makes it 260 bytes. The error names it and the
    // reason; no output and no hidden file are left.
    void cloneNameTooLong() {
        const QString source = src + nameOfBytes(251);
        makeFile(source, 3000, 6);
        split(source, "1000", src);
        QCOMPARE(ui->errors, QStringList());
        const auto before = snapshot(src);
        click(f->splitPanel->splitMainButton);
        click(f->startPanel->joinPageButton);
        ui->fileAnswers << source + ".001";
        click(f->joinPanel->loadPartButton);
        click(f->joinPanel->joinButton);
        QCOMPARE(ui->errors.size(), 1);
        QVERIFY2(ui->errors[0].contains(src + "Clone Of " + nameOfBytes(251)) &&
                     ui->errors[0].contains("File name too long"),
                 qPrintable(ui->errors[0]));
        QCOMPARE(snapshot(src), before);
        QVERIFY(f->joinPanel->joinButton->isEnabled() && f->joinPanel->joinUndoButton->isHidden());
    }

    // A name that is not UTF-8 comes from the desktop as text with a
    // replacement character, which names a look-alike (here one that exists):
    // however it comes, the name is refused, nothing is opened or written.
    void namesNotUtf8_data() {
        QTest::addColumn<QString>("via");
        QTest::newRow("file dialog") << "file";
        QTest::newRow("folder dialog") << "folder";
        QTest::newRow("file manager's URL") << "url";
        QTest::newRow("drop") << "drop";
    }
    void namesNotUtf8() {
        QFETCH(QString, via);
        const QByteArray odd = QFile::encodeName(src) + "lat\xe9";
        const QString lookAlike = src + QString::fromUtf8("lat\xef\xbf\xbd");
        QCOMPARE(QFile::decodeName(odd), lookAlike); // what the desktop's text gives
        if (via == "folder") {
            QCOMPARE(::mkdir(odd.constData(), 0755), 0);
            QVERIFY(QDir().mkpath(lookAlike));
        } else {
            FILE* file = std::fopen(odd.constData(), "wb");
            QVERIFY(file && std::fputs("not UTF-8", file) >= 0 && std::fclose(file) == 0);
            writeFile(lookAlike, "the look-alike");
        }
        const QUrl url = QUrl::fromEncoded("file://" + odd.toPercentEncoding("/"));
        if (via == "file" || via == "folder") {
            click(f->startPanel->splitPageButton);
            makeFile(src + "data.bin", 3000, 2);
            prepareSplit(*ui, via == "file" ? lookAlike : src + "data.bin", 0, "1000",
                         via == "folder" ? lookAlike : QString());
            QCOMPARE(ui->errors.size(), 1);
            QVERIFY2(ui->errors[0].contains("not UTF-8"), qPrintable(ui->errors[0]));
            click(f->splitPanel->splitButton);
            const auto& state = f->splitPanel->state();
            QVERIFY(state.SourceFilePath != lookAlike &&
                    !state.SplitDestFolder.startsWith(lookAlike));
        } else {
            if (via == "url") f->openGiven({QString::fromLatin1(url.toEncoded())});
            if (via == "drop") QVERIFY(drop(f, f->startPanel, QList<QUrl>{url}));
            QTRY_VERIFY(!ui->reports.isEmpty());
            QCOMPARE(ui->reports.last().at(2), QString("  ") + refusal::NotUtf8);
        }
        if (via == "folder")
            QCOMPARE(entries(lookAlike), QStringList());
        else
            QCOMPARE(readFile(lookAlike), QByteArray("the look-alike"));
        QCOMPARE(entries(parts), QStringList());
    }
};

TFS_UI_TEST_MAIN(TestFaultsNames)
#include "tst_faults_names.moc"
