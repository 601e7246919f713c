// SPDX-License-Identifier: GPL-3.0-or-later
// The check files' layouts byte for byte, the CRC-32 combination, the
// parsers against hostile files, the CRC-32 taken while bytes are copied, and
// cksfv reading our .sfv.
#include "common/TestUtil.h"
#include "core/OperationError.h"
#include "verify/CheckFiles.h"
#include "verify/CopyingThreadCrc.h"
#include "verify/Crc32.h"
#include "verify/Crc32Fast.h"
#include "verify/HelperThreadCrc.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <sys/stat.h>

using namespace tfs;

using namespace testutil;

namespace {

quint32 crcOf(const QByteArray& bytes) { return zlibCrc32(bytes); }

SfvContent sfvFrom(const QByteArray& bytes) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return parseSfv(in);
}

CrcFileContent crcFileFrom(const QByteArray& bytes) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return parseCrcFile(in);
}

} // namespace

class TestCheckFiles : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        crc32FastInit();
    }

    // What we write, byte for byte, and that reading it gives it back.
    void layouts_data() {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("sfv, three parts")
            << sfvBytes({{"movie.avi.001", 0xCBF43926},
                         {"movie.avi.002", 0x0000000A},
                         {"movie.avi.003", 0xFFFFFFFF}})
            << QByteArray("; Tarvello File Splitter\r\nmovie.avi.001 CBF43926\r\n"
                          "movie.avi.002 0000000A\r\nmovie.avi.003 FFFFFFFF\r\n");
        QTest::newRow("sfv, a name with blanks and UTF-8")
            << sfvBytes({{QString::fromUtf8("my fil\xc3\xa9.bin.0101"), 0x1234abcd}})
            << QByteArray("; Tarvello File Splitter\r\nmy fil\xc3\xa9.bin.0101 1234ABCD\r\n");
        QTest::newRow("crc") << crcFileBytes("movie.avi", 4700000000, 0xab)
                             << QByteArray(
                                    "filename=movie.avi\r\nsize=4700000000\r\ncrc32=000000AB\r\n");
    }
    void layouts() {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, expected);
        QCOMPARE(written, expected);
        if (written.startsWith(';')) {
            const SfvContent back = sfvFrom(written);
            QCOMPARE(back.error, QString());
            QCOMPARE(sfvBytes(back.entries), written);
        } else {
            const CrcFileContent back = crcFileFrom(written);
            QCOMPARE(back.error, QString());
            QCOMPARE(crcFileBytes(back.fileName, back.size, back.crc), written);
        }
    }

    // The CRC-32 of a whole from its pieces' CRC-32 equals the CRC-32 of the whole.
    void combination_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("cuts");
        QTest::newRow("check value, every cut")
            << QByteArray("123456789") << QList<int>{0, 1, 4, 8, 9};
        QTest::newRow("1 MiB pattern, odd cuts")
            << patternBytes(1 << 20, 3) << QList<int>{1, 4095, 65536, 700001, 1048575};
    }
    void combination() {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, cuts);
        for (int cut : cuts) {
            const QByteArray a = bytes.left(cut), b = bytes.mid(cut);
            QCOMPARE(crc32Combine(crcOf(a), crcOf(b), b.size()), crcOf(bytes));
        }
        QCOMPARE(crc32Combine(0, crcOf("123456789"), 9), 0xCBF43926u); // from an empty start
    }

    // Check files from anywhere: each is either read as the layout says, or
    // refused whole (error set, nothing taken from it).
    void hostileSfv_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("entries"); // -1: refused
        QTest::newRow("LF only, lower-case hex, comments, blank lines")
            << QByteArray(
                   "; made elsewhere\n\nmovie.avi.001 cbf43926\n;x\nmovie.avi.002\tFFFFFFFF\n")
            << 2;
        QTest::newRow("last line unended, trailing blanks") << QByteArray("a.001 CBF43926  ") << 1;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("climbing out") << QByteArray("../movie.avi.001 CBF43926\r\n") << -1;
        QTest::newRow("a folder in the name") << QByteArray("sub/movie.avi.001 CBF43926\r\n") << -1;
        QTest::newRow("absolute") << QByteArray("/etc/passwd CBF43926\r\n") << -1;
        QTest::newRow("backslash") << QByteArray("..\\x.001 CBF43926\r\n") << -1;
        QTest::newRow("drive letter") << QByteArray("C:x.001 CBF43926\r\n") << -1;
        QTest::newRow("dot-dot alone") << QByteArray(".. CBF43926\r\n") << -1;
        QTest::newRow("NUL in the name") << QByteArray("a\0b.001 CBF43926\r\n", 18) << -1;
        QTest::newRow("no CRC") << QByteArray("movie.avi.001\r\n") << -1;
        QTest::newRow("no name") << QByteArray(" CBF43926\r\n") << -1;
        QTest::newRow("nine digits") << QByteArray("a.001 CBF439260\r\n") << -1;
        QTest::newRow("not hex") << QByteArray("a.001 CBF4392G\r\n") << -1;
        QTest::newRow("a 5 MB line") << QByteArray(5 << 20, 'x') + " CBF43926\r\n" << -1;
        QTest::newRow("a line of exactly the limit")
            << QByteArray(CheckLineMaxBytes - 9, 'x') + " CBF43926\r\n"
            << 1;
        QTest::newRow("a line one byte over the limit")
            << QByteArray(CheckLineMaxBytes - 8, 'x') + " CBF43926\r\n"
            << -1;
        // Read as a stream: a large file of good lines is no fault.
        QTest::newRow("more than 16 MiB in short lines")
            << QByteArray("a.001 CBF43926\r\n").repeated((16 << 20) / 16 + 1)
            << (16 << 20) / 16 + 1;
        QTest::newRow("binary garbage") << patternBytes(1 << 16, 9) << -1;
    }
    void hostileSfv() {
        QFETCH(QByteArray, content);
        QFETCH(int, entries);
        const SfvContent sfv = sfvFrom(content);
        QCOMPARE(sfv.error.isEmpty(), entries >= 0);
        QCOMPARE(sfv.entries.size(), std::max(entries, 0));
    }

    void hostileCrcFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fileName"); // "-": refused
        QTest::addColumn<qint64>("size");
        QTest::newRow("LF, other keys, capitals")
            << QByteArray("FileName=movie.avi\ntime=12\nsize=10\ncrc32=cbf43926\n") << "movie.avi"
            << qint64(10);
        QTest::newRow("another name")
            << QByteArray("filename=x\r\nsize=1\r\ncrc32=00000000\r\n") << "x" << qint64(1);
        QTest::newRow("no size") << QByteArray("filename=x\r\ncrc32=00000000\r\n") << "-"
                                 << qint64(0);
        QTest::newRow("size twice")
            << QByteArray("filename=x\r\nsize=1\r\nsize=2\r\ncrc32=00000000\r\n") << "-"
            << qint64(0);
        QTest::newRow("negative size")
            << QByteArray("filename=x\r\nsize=-1\r\ncrc32=00000000\r\n") << "-" << qint64(0);
        QTest::newRow("huge size")
            << QByteArray("filename=x\r\nsize=99999999999999999999\r\ncrc32=00000000\r\n") << "-"
            << qint64(0);
        QTest::newRow("short crc")
            << QByteArray("filename=x\r\nsize=1\r\ncrc32=123\r\n") << "-" << qint64(0);
        QTest::newRow("a line without a field")
            << QByteArray("filename=x\r\nsize=1\r\nhello\r\n") << "-" << qint64(0);
        QTest::newRow("a 5 MB name") << "filename=" + QByteArray(5 << 20, 'x') + "\r\n"
                                     << "-" << qint64(0);
        QTest::newRow("binary garbage") << patternBytes(1 << 16, 5) << "-" << qint64(0);
    }
    void hostileCrcFile() {
        QFETCH(QByteArray, content);
        QFETCH(QString, fileName);
        QFETCH(qint64, size);
        const CrcFileContent crc = crcFileFrom(content);
        QCOMPARE(crc.error.isEmpty(), fileName != "-");
        if (fileName != "-") {
            QCOMPARE(crc.fileName, fileName);
            QCOMPARE(crc.size, size);
        }
    }

    // Only a regular file is opened: never through a link, never a pipe
    // (whose opening would wait for a writer), never a folder or a huge file.
    void onlyRegularFiles() {
        writeFile(path("real.sfv"), "a.001 CBF43926\r\n");
        QVERIFY(QFile::link(path("real.sfv"), path("link.sfv")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.sfv")).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(path("folder.sfv")));
        QFile huge(path("huge.sfv"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((16 << 20) + 1));
        huge.close();
        QCOMPARE(readSfv(path("real.sfv")).entries.size(), 1);
        for (const char* name : {"link.sfv", "pipe.sfv", "folder.sfv", "huge.sfv", "none.sfv"})
            QVERIFY2(!readSfv(path(name)).error.isEmpty(), name);
        QVERIFY(!readCrcFile(path("pipe.sfv")).error.isEmpty());
    }

    // The CRC-32 taken by a helper while copying: runs of ranges, in pieces of any size,
    // of a file that may be closed as soon as its run is begun; folded from
    // the page cache's large folios or read from its small ones; a file cut
    // short under the helper is an error.
    void copiedCrc_data() {
        QTest::addColumn<int>("piece");    // the writes that made the file (0: one)
        QTest::addColumn<qint64>("cutTo"); // -1: not cut
        QTest::newRow("written at once") << 0 << -1LL;
        QTest::newRow("written in 4 KiB pieces") << 4096 << -1LL;
        QTest::newRow("cut short") << 0 << qint64(7 << 20);
    }
    void copiedCrc() {
        QFETCH(int, piece);
        QFETCH(qint64, cutTo);
        const QByteArray bytes = patternBytes(19 << 20, 4);
        writeFileInPieces(path("src.bin"), bytes, piece);
        const qint64 part = 10000000; // parts that start inside a page
        const QList<QPair<qint64, qint64>> runs{
            {0, 1}, {1, part}, {part + 1, 0}, {part + 1, bytes.size() - part - 1}};
        HelperThreadCrc crcs;
        QList<quint32> expected;
        for (const auto& [from, length] : runs) {
            QFile file(path("src.bin"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            crcs.begin(file);
            file.close(); // the helper keeps its own handle
            if (cutTo >= 0 && from > 0) QVERIFY(QFile::resize(path("src.bin"), cutTo));
            for (qint64 pos = from, step = 10000; pos < from + length; pos += step)
                crcs.add(pos, std::min(step, from + length - pos));
            expected << crcOf(bytes.mid(from, length));
        }
        if (cutTo >= 0) {
            QVERIFY_THROWS_EXCEPTION(OperationError, crcs.results());
            return;
        }
        QCOMPARE(crcs.results(), expected);
    }

    // The CRC-32 taken by the copying thread: stretches read again from the source
    // (longer ones in pieces) and bytes folded from a buffer, in any mix;
    // a stretch past the source's end is an error.
    void copyCrc() {
        const QByteArray bytes = patternBytes(3 << 20, 4);
        writeFile(path("src.bin"), bytes);
        QFile in(path("src.bin"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        CopyingThreadCrc crc;
        crc.copied(in, 0, 1);
        crc.fold(bytes.constData() + 1, 700000 - 1);
        crc.copied(in, 700000, bytes.size() - 700000);
        QCOMPARE(crc.value(), crcOf(bytes));
        QCOMPARE(crc.size(), bytes.size());
        crc.reset();
        QCOMPARE(crc.value(), crcOf(QByteArray()));
        QVERIFY_THROWS_EXCEPTION(OperationError, crc.copied(in, bytes.size() - 10, 20));
    }

    // cksfv, as users run it in the parts' folder, accepts our .sfv and then
    // names a part changed afterwards.
    void cksfvReadsOurs() {
        const QString cksfv = QStandardPaths::findExecutable("cksfv");
        QVERIFY2(!cksfv.isEmpty(), "cksfv is not installed (tools/install-deps installs it)");
        QList<SfvEntry> entries;
        for (int i = 1; i <= 3; ++i) {
            const QString name = QString("movie.avi.00%1").arg(i);
            makeFile(path(name), 100000 + i, quint32(i));
            entries.append({name, crcOf(readFile(path(name)))});
        }
        writeFile(path("movie.avi.sfv"), sfvBytes(entries));
        const auto run = [&] {
            QProcess p;
            p.setWorkingDirectory(tmp.path());
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(cksfv, {"-q", "-f", "movie.avi.sfv"});
            p.waitForFinished(30000);
            return std::make_pair(p.exitCode(), p.readAll());
        };
        QCOMPARE(run().first, 0);
        QByteArray damaged = readFile(path("movie.avi.002"));
        damaged[5000] = char(damaged[5000] ^ 1);
        writeFile(path("movie.avi.002"), damaged);
        const auto [code, output] = run();
        QCOMPARE(code, 1);
        QVERIFY2(output.contains("movie.avi.002") && !output.contains("movie.avi.001"), output);
    }
};

QTEST_GUILESS_MAIN(TestCheckFiles)
#include "tst_checkfiles.moc"
