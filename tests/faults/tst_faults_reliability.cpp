// SPDX-License-Identifier: GPL-3.0-or-later
// A failure never becomes a reported success, and nothing outside the set is
// touched: the command line on a failing disk (a preloaded library fails,
// shortens, cuts or holds the reads of one file), with links, pipes and odd
// names in the way, with huge or hostile lists, under signals and kills.
#include "common/TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace testutil;

namespace {

struct Run {
    int status = -1; // -1: killed or hung
    QByteArray out, err;
};

// The program's fault for one file: TFS_FAULT_MODE, the file, the offset.
struct Fault {
    QString mode;
    QString file;
    qint64 at = 0;
};

quint32 zlibCrc(const QByteArray& bytes) {
    return quint32(
        ::crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QString hex(quint32 crc) {
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
}

// Three parts of 1 MiB of `data` as set.bin.001-003 in `dir`; their .sfv's lines.
QByteArray writeSet(const QString& dir, const QByteArray& data) {
    QByteArray sfv;
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("set.bin.00%1").arg(i + 1);
        writeFile(dir + name, data.mid(i << 20, 1 << 20));
        sfv += (name + ' ' + hex(zlibCrc(data.mid(i << 20, 1 << 20)))).toUtf8() + "\r\n";
    }
    return sfv;
}

// Runs a system tool: whether it succeeded.
bool tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestFaultsReliability : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString dir, out; // both end with "/"
    QByteArray data;  // of data.bin

    void start(QProcess& p, const QStringList& args, const Fault& fault = {},
               const QString& shellBefore = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        if (!fault.mode.isEmpty()) {
            preloadReadFault(env, READ_FAULTS, fault.mode, dir + fault.file, fault.at);
        }
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir);
        if (shellBefore.isEmpty())
            p.start(PROGRAM, args);
        else // a shell sets the signals up, then becomes the program
            p.start("/bin/sh",
                    QStringList{"-c", shellBefore + "; exec \"$0\" \"$@\"", PROGRAM} + args);
        QVERIFY2(p.waitForStarted(), qPrintable(p.errorString()));
    }
    Run finish(QProcess& p) {
        Run r;
        if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
            r.status = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    Run run(const QStringList& args, const Fault& fault = {}, const QByteArray& input = {}) {
        QProcess p;
        start(p, args, fault);
        p.write(input);
        p.closeWriteChannel();
        return finish(p);
    }
    // Waits until the held read was reached ("reached" on standard error).
    void awaitHeld(QProcess& p) {
        p.setReadChannel(QProcess::StandardError);
        while (!p.readAllStandardError().contains("reached"))
            QVERIFY2(p.waitForReadyRead(60000), "the held read was never reached");
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        dir = tmp->path() + "/";
        out = dir + "out/";
        QVERIFY(QDir().mkpath(out));
        makeFile(dir + "data.bin", 3 << 20, 7);
        data = readFile(dir + "data.bin");
    }

    // A read that fails behind bytes that did come (a bad block behind cached
    // ones) is an error naming the file, status 2, nothing kept; reads that
    // come short without an error are read again, and every result holds.
    void readErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("faulty");
        QTest::addColumn<QString>("expected"); // standard output when the reads come short
        QTest::newRow("checksum") << QStringList{"--checksum", "data.bin"} << "data.bin"
                                  << "<crc>";
        QTest::newRow("compare") << QStringList{"--compare", "data.bin", "copy.bin"} << "copy.bin"
                                 << "identical\n";
        QTest::newRow("join") << QStringList{"--join", "set.bin.001", "--into", "out"}
                              << "set.bin.002"
                              << "<joined>";
        QTest::newRow("verify") << QStringList{"--verify", "set.bin.sfv"} << "set.bin.002"
                                << "set.bin.001 OK\nset.bin.002 OK\nset.bin.003 OK\n";
        QTest::newRow("split") << QStringList{"--split", "data.bin", "--size",
                                              "1MB",     "--into",   "out"}
                               << "data.bin"
                               << "";
    }
    void readErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, faulty);
        QFETCH(QString, expected);
        writeFile(dir + "copy.bin", data);
        writeFile(dir + "set.bin.sfv", writeSet(dir, data));

        const Run failed = run(args, {"eio", faulty, 1000000});
        QVERIFY2(failed.status == 2, failed.err.constData());
        QVERIFY2(failed.err.contains("Cannot read ") &&
                     failed.err.contains(faulty.toUtf8() + ": Input/output error"),
                 failed.err.constData());
        QVERIFY2(!failed.out.contains("identical") && !failed.out.contains("different") &&
                     !failed.out.contains(dir.toUtf8() + "data.bin"),
                 failed.out.constData());
        QCOMPARE(entries(out), QStringList());

        const Run slow = run(args, {"short", faulty, 0});
        QVERIFY2(slow.status == 0, slow.err.constData());
        if (expected == "<crc>")
            expected =
                QStringLiteral("%1 %2 data.bin\n").arg(hex(zlibCrc(data))).arg(zlibCrc(data));
        if (expected == "<joined>") {
            QCOMPARE(readFile(out + "set.bin"), data);
            expected = out + "set.bin\n";
        }
        QCOMPARE(QString::fromUtf8(slow.out), expected);
        if (args.first() == "--split")
            QCOMPARE(concat({out + "data.bin.001", out + "data.bin.002", out + "data.bin.003"}),
                     data);
    }

    // A source cut while it is being split (between two reads, all bytes of
    // each read there) fails the split, naming the file; nothing of the set
    // remains, neither parts nor list nor check files.
    void shrinkingSources_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("partSize");
        QTest::addColumn<qint64>("cutTo");
        QTest::newRow("cut inside the last part, after its last read")
            << qint64(3 << 20) << "1MB" << qint64(5 << 19);
        QTest::newRow("cut inside a part, behind the reads")
            << qint64(3 << 20) << "1MB" << qint64(3 << 19);
        QTest::newRow("two writers") << qint64(16 << 20) << "4MB" << qint64(10 << 20);
    }
    void shrinkingSources() {
        QFETCH(qint64, size);
        QFETCH(QString, partSize);
        QFETCH(qint64, cutTo);
        makeFile(dir + "data.bin", size, 7);
        const Run r = run({"--split", "data.bin", "--size", partSize, "--into", "out"},
                          {"shrink", "data.bin", cutTo});
        QVERIFY2(r.status == 2, r.err.constData());
        QVERIFY2(r.err.contains("Cannot read " + (dir + "data.bin").toUtf8() + ": "),
                 r.err.constData());
        QCOMPARE(entries(out), QStringList());
    }

    // A split killed in the middle leaves nothing that a join takes for a
    // whole set (part 1 takes its name last), also over an earlier set of the
    // same name; the next split takes the killed one's place and completes.
    void kills_data() {
        QTest::addColumn<bool>("earlier");
        QTest::addColumn<bool>("fromInput"); // the killed split reads standard input
        QTest::newRow("into an empty folder") << false << false;
        QTest::newRow("over an earlier set") << true << false;
        QTest::newRow("standard input, over an earlier set") << true << true;
    }
    void kills() {
        QFETCH(bool, earlier);
        QFETCH(bool, fromInput);
        const QStringList split{"--split", "data.bin", "--size", "1MB", "--into", "out"};
        if (earlier)
            QCOMPARE(run({"--split", "data.bin", "--size", "512KB", "--into", "out"}).status, 0);
        QProcess child;
        if (fromInput) { // killed while it waits for more input, in part 2
            start(child, {"--split", "-", "--name", "data.bin", "--size", "1MB", "--into", "out"});
            child.write(data.left((3 << 19) + 4096)); // not the earlier part 2's size
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + "data.bin.002").size() == (1 << 19) + 4096,
                                     60000);
            QVERIFY(QFileInfo::exists(out + ".data.bin.001.splitting"));
        } else {
            start(child, split, {"stop", "data.bin", (5 << 19) + 1});
            awaitHeld(child);
        }
        child.kill();
        QVERIFY(child.waitForFinished(20000));
        for (const QString& name : entries(out))
            QVERIFY2(!name.endsWith(".txt") && !name.endsWith(".sfv") && !name.endsWith(".crc"),
                     qPrintable(name));
        QVERIFY(!QFileInfo::exists(out + "data.bin.001"));
        const Run join = run({"--join", "out/data.bin.002", "--force"});
        QVERIFY2(join.status != 0 && !QFileInfo::exists(out + "data.bin"), join.err.constData());

        QCOMPARE(run(split).status, 0);
        for (const QString& name : entries(out))
            QVERIFY2(!name.startsWith('.'), qPrintable(name)); // the hidden part 1 was taken over
        QCOMPARE(readFile(out + "data.bin.txt"),
                 QByteArray("data.bin.001\r\ndata.bin.002\r\ndata.bin.003\r\n"));
        QCOMPARE(concat({out + "data.bin.001", out + "data.bin.002", out + "data.bin.003"}), data);
    }

    // Two files of the same name split into one folder at once: the second
    // split is refused while the first runs (until its list, check files and
    // recovery data are written), and the first one's set is whole.
    void concurrentSplits_data() {
        QTest::addColumn<QString>("first"); // where the first split is held
        QTest::addColumn<int>("files");     // in the folder at the end
        QTest::newRow("writing its parts") << "parts" << 6;
        QTest::newRow("writing its recovery data") << "recovery" << 8;
        QTest::newRow("reading standard input") << "input" << 6;
    }
    void concurrentSplits() {
        QFETCH(QString, first);
        QFETCH(int, files);
        QVERIFY(QDir().mkpath(dir + "other"));
        makeFile(dir + "other/data.bin", 2 << 20, 9);
        QProcess held;
        if (first == "parts")
            start(held, {"--split", "data.bin", "--size", "1MB", "--into", "out"},
                  {"stop", "data.bin", (3 << 19) + 1});
        if (first == "recovery") // held at the first read of a written part
            start(held,
                  {"--split", "data.bin", "--size", "1MB", "--into", "out", "--recovery", "10%"},
                  {"stop", "out/data.bin.002", 0});
        if (first == "input") {
            start(held, {"--split", "-", "--name", "data.bin", "--size", "1MB", "--into", "out"});
            held.write(data.left(3 << 19));
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + "data.bin.002").size() == 1 << 19, 60000);
        } else
            awaitHeld(held);
        const Run second = run({"--split", "other/data.bin", "--size", "512KB", "--into", "out"});
        QCOMPARE(second.status, 2);
        QVERIFY2(second.err.contains("another split is writing"), second.err.constData());
        if (first == "input") {
            held.write(data.mid(3 << 19));
            held.closeWriteChannel();
        } else
            held.write("go");
        QCOMPARE(finish(held).status, 0);
        QCOMPARE(concat({out + "data.bin.001", out + "data.bin.002", out + "data.bin.003"}), data);
        QCOMPARE(readFile(out + "data.bin.txt"),
                 QByteArray("data.bin.001\r\ndata.bin.002\r\ndata.bin.003\r\n"));
        QCOMPARE(entries(out).size(), files);
    }

    // A link named like a part, the list or a check file is replaced, never
    // written through: the file it leads to stays as it was. A named pipe of
    // a part's name is refused at once, never waited on.
    void linksAndSpecialFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // "symlink", "hardlink", "fifo"
        QTest::newRow("symbolic link as part 2") << "data.bin.002"
                                                 << "symlink";
        QTest::newRow("symbolic link as part 1") << "data.bin.001"
                                                 << "symlink";
        QTest::newRow("hard link as part 3") << "data.bin.003"
                                             << "hardlink";
        QTest::newRow("hard link as part 1") << "data.bin.001"
                                             << "hardlink";
        QTest::newRow("named pipe as part 2") << "data.bin.002"
                                              << "fifo";
        QTest::newRow("symbolic link as the list") << "data.bin.txt"
                                                   << "symlink";
        QTest::newRow("hard link as the list") << "data.bin.txt"
                                               << "hardlink";
        QTest::newRow("symbolic link as the .sfv") << "data.bin.sfv"
                                                   << "symlink";
        QTest::newRow("hard link as the .sfv") << "data.bin.sfv"
                                               << "hardlink";
        QTest::newRow("symbolic link as the .crc") << "data.bin.crc"
                                                   << "symlink";
        QTest::newRow("hard link as the .crc") << "data.bin.crc"
                                               << "hardlink";
    }
    void linksAndSpecialFiles() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        // For the list and the check files: one of an earlier split of this
        // name elsewhere, which the split takes for its own.
        QByteArray victim = "the user's own file, outside the folder";
        if (name.endsWith(".txt")) victim = "data.bin.001\r\ndata.bin.002\r\n";
        if (name.endsWith(".sfv")) victim = "data.bin.001 0A5F2E11\r\ndata.bin.002 1C291CA3\r\n";
        if (name.endsWith(".crc")) victim = "filename=data.bin\r\nsize=5\r\ncrc32=0A5F2E11\r\n";
        writeFile(dir + "victim.txt", victim);
        if (kind == "symlink") QVERIFY(QFile::link(dir + "victim.txt", out + name));
        if (kind == "hardlink")
            QCOMPARE(::link(QFile::encodeName(dir + "victim.txt").constData(),
                            QFile::encodeName(out + name).constData()),
                     0);
        if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(out + name).constData(), 0600), 0);
        const Run r = run({"--split", "data.bin", "--size", "1MB", "--into", "out"});
        QCOMPARE(readFile(dir + "victim.txt"), victim);
        if (kind == "fifo") {
            QVERIFY2(r.status == 2 && r.err.contains("named pipe"), r.err.constData());
            QCOMPARE(entries(out), QStringList{name});
            return;
        }
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY(!QFileInfo(out + name).isSymLink());
        QCOMPARE(concat({out + "data.bin.001", out + "data.bin.002", out + "data.bin.003"}), data);
        QCOMPARE(readFile(out + "data.bin.sfv"),
                 "; Tarvello File Splitter\r\n" +
                     writeSet(dir, data).replace("set.bin", "data.bin"));
        QCOMPARE(readFile(out + "data.bin.txt"),
                 QByteArray("data.bin.001\r\ndata.bin.002\r\ndata.bin.003\r\n"));
    }

    // Lists and check files are read as streams with bounded lines, however
    // large; their bytes never reach the terminal raw; a check file that
    // gives one part two CRC-32s is damaged.
    void boundedInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file"); // written before: name=content kind
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("err"); // a part of standard output or error
        QTest::newRow("a 64 MiB sparse list")
            << QStringList{"--join", "set.bin.001", "--into", "out"} << "set.bin.txt=sparse" << 2
            << QByteArray("line 1 is too long");
        QTest::newRow("an escape sequence in a list")
            << QStringList{"--join", "set.bin.001", "--into", "out"} << "set.bin.txt=escape" << 1
            << QByteArray("set.bin.004\\x1b[2J");
        QTest::newRow("DEL and C1 controls in a list")
            << QStringList{"--join", "set.bin.001", "--into", "out"} << "set.bin.txt=controls" << 1
            << QByteArray("set.bin.00\\x7f4 set.bin.\\x9b2J set.bin.\\x85");
        QTest::newRow("DEL and C1 controls in a file's name")
            << QStringList{"--checksum", QString::fromUtf8("name\x7f\xc2\x9b"
                                                           "2J\xc2\x90")}
            << QString::fromUtf8("name\x7f\xc2\x9b"
                                 "2J\xc2\x90=plain")
            << 0 << QByteArray("name\\x7f\\x9b2J\\x90\n");
        QTest::newRow("a genuine list over 16 MiB")
            << QStringList{"--split", "data.bin", "--size", "1MB", "--into", "out"}
            << "out/data.bin.txt=long list" << 0 << QByteArray();
        QTest::newRow("an .sfv over 16 MiB") << QStringList{"--verify", "set.bin.sfv"}
                                             << "set.bin.sfv=long sfv" << 0 << QByteArray();
        QTest::newRow("an .sfv naming a part twice")
            << QStringList{"--verify", "set.bin.sfv"} << "set.bin.sfv=conflict" << 2
            << QByteArray("different CRC-32");
    }
    void boundedInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QByteArray, err);
        const QByteArray sfv = writeSet(dir, data);
        const QString path = dir + file.section('=', 0, 0);
        const QString kind = file.section('=', 1);
        if (kind == "sparse") QVERIFY(makeSparse(path, 64 << 20));
        if (kind == "escape") writeFile(path, "set.bin.001\r\nset.bin.004\x1b[2J\r\n");
        if (kind == "controls")
            writeFile(path, "set.bin.001\r\nset.bin.00\x7f"
                            "4\r\nset.bin.\xc2\x9b"
                            "2J\r\n"
                            "set.bin.\xc2\x85\r\n");
        if (kind == "plain") writeFile(path, "plain");
        if (kind == "long list") {
            QByteArray list;
            for (int i = 1; list.size() <= (17 << 20); ++i)
                list += "data.bin.00" + QByteArray::number(1 + i % 3) + "\r\n";
            writeFile(path, list);
        }
        if (kind == "long sfv") writeFile(path, QByteArray(";\r\n").repeated(6 << 20) + sfv);
        if (kind == "conflict") writeFile(path, sfv + "set.bin.002 00000000\r\n");
        const Run r = run(args);
        QVERIFY2(r.status == status, r.err.constData());
        // No control but the line feed reaches the terminal: C0, DEL, and C1
        // (U+0080-U+009F, which a terminal takes as ESC sequences too).
        static const QRegularExpression raw("[\\x00-\\x09\\x0b-\\x1f\\x7f\\x80-\\x9f]");
        const QString shown = QString::fromUtf8(r.out + r.err);
        QVERIFY2(shown.contains(QString::fromUtf8(err)) && !shown.contains(raw) &&
                     r.err.size() < 2000,
                 (r.out + r.err).left(2000).constData());
    }

    // A join beside a split that still runs (held in its recovery data,
    // part 1 under its own name and under the hidden one) leaves the hidden
    // part 1 and its lock alone: a second split of the same name into the
    // folder is still refused, and the first one completes.
    void joinBesideARunningSplit() {
        QProcess child;
        start(child, {"--split", "data.bin", "--size", "1MB", "--into", "out", "--recovery", "50%"},
              {"stop", "out/data.bin.003", 0});
        awaitHeld(child);
        QVERIFY(QFileInfo::exists(out + ".data.bin.001.splitting"));
        QVERIFY(QDir().mkpath(dir + "joined"));
        const Run join = run({"--join", "out/data.bin.001", "--into", "joined"});
        QVERIFY2(join.status == 0, join.err.constData());
        QVERIFY(QFileInfo::exists(out + ".data.bin.001.splitting"));
        const Run second = run({"--split", "data.bin", "--size", "512KB", "--into", "out"});
        QVERIFY2(second.status == 2 && second.err.contains("another split is writing"),
                 second.err.constData());
        child.write("go");
        const Run r = finish(child);
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(entries(out).filter(QRegularExpression("^\\.|\\.00[4-9]$")), QStringList());
        QCOMPARE(concat({out + "data.bin.001", out + "data.bin.002", out + "data.bin.003"}), data);
        QCOMPARE(readFile(dir + "joined/data.bin"), data);
    }

    // SIGINT, SIGTERM and SIGHUP end a run with 128 + the signal, unless the
    // caller ignored the signal (nohup, trap '', a script's background job):
    // then the run goes on to its end.
    void ignoredSignals_data() {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("sig");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGHUP") << QString() << int(SIGHUP) << 128 + SIGHUP;
        QTest::newRow("SIGHUP under nohup") << "trap '' HUP" << int(SIGHUP) << 0;
        QTest::newRow("SIGINT in a background job") << "trap '' INT" << int(SIGINT) << 0;
        QTest::newRow("SIGTERM, SIGHUP ignored") << "trap '' HUP" << int(SIGTERM) << 128 + SIGTERM;
    }
    void ignoredSignals() {
        QFETCH(QString, shell);
        QFETCH(int, sig);
        QFETCH(int, status);
        QProcess child;
        start(child, {"--checksum", "data.bin"}, {"stop", "data.bin", 1 << 20},
              shell.isEmpty() ? QString(":") : shell);
        awaitHeld(child);
        QCOMPARE(::kill(pid_t(child.processId()), sig), 0);
        child.write("go"); // the held read goes on; the signal was delivered before it
        const Run r = finish(child);
        QVERIFY2(r.status == status, r.err.constData());
        QCOMPARE(r.out.isEmpty(), status != 0);
    }

    // A signal ends a run that waits on a pipe (a writer that stalls, a
    // reader that takes nothing): the usual clean-up, 128 + the signal.
    void signalsEndWaits_data() {
        QTest::addColumn<QString>("stalled");
        QTest::addColumn<int>("sig");
        QTest::newRow("split of standard input, the writer stalls") << "input" << int(SIGTERM);
        QTest::newRow("join to standard output, the reader stalls") << "output" << int(SIGINT);
    }
    void signalsEndWaits() {
        QFETCH(QString, stalled);
        QFETCH(int, sig);
        writeSet(dir, data);
        QProcess child;
        int reader = -1;
        const auto closeReader = qScopeGuard([&] {
            if (reader >= 0) ::close(reader);
        });
        if (stalled == "input") {
            start(child, {"--split", "-", "--name", "data.bin", "--size", "1MB", "--into", "out"});
            child.write(data.left(1 << 19));
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out + ".data.bin.001.splitting").size() == 1 << 19,
                                     60000);
        } else { // standard output is a pipe that this test never reads: it fills
            const QByteArray fifo = QFile::encodeName(dir + "pipe");
            QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
            reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
            child.setStandardOutputFile(dir + "pipe");
            start(child, {"--join", "set.bin.001", "--into", "-"});
            const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
            int queued = 0;
            QTRY_VERIFY_WITH_TIMEOUT(::ioctl(reader, FIONREAD, &queued) == 0 && queued == capacity,
                                     60000);
        }
        QCOMPARE(::kill(pid_t(child.processId()), sig), 0);
        const Run r = finish(child);
        QVERIFY2(r.status == 128 + sig, r.err.constData());
        QCOMPARE(entries(out), QStringList());
    }

    // Names the program couldn't read back in its list or check files, or
    // couldn't hand to the file system byte for byte, are refused up front.
    void names_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fromInput"); // given to --name for standard input
        QTest::newRow("a line feed") << "two\nlines.bin" << false;
        QTest::newRow("a carriage return") << "two\rlines.bin" << false;
        QTest::newRow("a leading semicolon") << ";comment.bin" << false;
        QTest::newRow("standard input, a line feed") << "two\nlines.bin" << true;
        QTest::newRow("standard input, a carriage return") << "two\rlines.bin" << true;
        QTest::newRow("standard input, a leading semicolon") << ";comment.bin" << true;
    }
    void names() {
        QFETCH(QString, name);
        QFETCH(bool, fromInput);
        writeFile(dir + name, data.left(5000));
        const Run r = fromInput
                          ? run({"--split", "-", "--name", name, "--size", "1KB", "--into", "out"},
                                {}, data.left(5000))
                          : run({"--split", name, "--size", "1KB", "--into", "out"});
        QVERIFY2(r.status == 2 &&
                     r.err.contains(fromInput ? "choose another --name" : "rename the file first"),
                 r.err.constData());
        QCOMPARE(entries(out), QStringList());
    }
    void namesNotUtf8() {
        // The look-alike that a replacement character would name, and the
        // same bytes as the file compared with.
        writeFile(dir + QString::fromUtf8("lat\xef\xbf\xbd.bin"), data);
        QProcess p;
        start(p, {}, {}, "set -- --compare \"$(printf 'lat\\351.bin')\" data.bin");
        const Run r = finish(p);
        QVERIFY2(r.status == 2 && r.err.contains("lat\\xe9.bin"), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }

    // After any failed split nothing of the set remains: here the check files
    // find no inode left, after the parts, the list and the .sfv were written.
    // A join's sweep of its hidden leftovers leaves a user's file alone that
    // is merely named like one.
    void leftovers() {
        const QString mount = dir + "small";
        QVERIFY(QDir().mkpath(mount));
        // Room for the root, three parts, the list and the .sfv: not the .crc.
        if (!tool("mount", {"-t", "tmpfs", "-o", "size=512m,nr_inodes=6", "tmpfs", mount}))
            QSKIP("cannot mount a tmpfs (needs root)");
        const auto unmount = qScopeGuard([&] { tool("umount", {mount}); });
        const Run r = run({"--split", "data.bin", "--size", "1MB", "--into", "small"});
        QVERIFY2(r.status == 2, r.err.constData());
        QCOMPARE(entries(mount), QStringList());

        writeSet(dir, data);
        writeFile(out + ".set.bin.part-notes1-6e6f7465", "the user's notes");
        QCOMPARE(run({"--join", "set.bin.001", "--into", "out"}).status, 0);
        QCOMPARE(entries(out), (QStringList{".set.bin.part-notes1-6e6f7465", "set.bin"}));
    }
};

QTEST_GUILESS_MAIN(TestFaultsReliability)
#include "tst_faults_reliability.moc"
