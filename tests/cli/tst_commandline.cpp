// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as a script meets it: the real program in a child process
// with no display (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM), every
// mode and exit status, refusals on a full disk that leave nothing, Ctrl+C in
// the middle of a split, and the progress line on a terminal.
#include "common/FaultUtil.h"
#include "common/TestUtil.h"
#include "verify/CheckFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace tfs;

using namespace testutil;

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
    QByteArray bytes; // standard output as written
};

// The program's environment: no display.
QProcessEnvironment programEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

// Holds the program's first read of `file` that reaches `offset` (the read
// fault library's "stop"): it writes "reached" to standard error there and
// goes on at the first byte on its standard input.
void holdReadAt(QProcess& p, const QString& file, qint64 offset) {
    QProcessEnvironment env = programEnvironment();
    preloadReadFault(env, READ_FAULTS, "stop", file, offset);
    p.setProcessEnvironment(env);
}

// Runs the program in `folder` with the given arguments (through `wrapper`,
// a command that runs another, when one is given). With `started`, returns
// as soon as it has started there.
Result runProgram(const QString& folder, const QStringList& args, QProcess* started = nullptr,
                  const QStringList& wrapper = {}, const QByteArray& input = {}) {
    QProcess own;
    QProcess& p = started ? *started : own;
    if (p.processEnvironment().isEmpty()) p.setProcessEnvironment(programEnvironment());
    p.setWorkingDirectory(folder);
    if (wrapper.isEmpty())
        p.start(QStringLiteral(PROGRAM), args);
    else
        p.start(wrapper.first(), wrapper.mid(1) + QStringList{PROGRAM} + args);
    if (started) return {};
    p.write(input); // standard input: these bytes, then its end
    p.closeWriteChannel();
    Result r;
    if (!p.waitForFinished(120000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.bytes = p.readAllStandardOutput();
    r.out = QString::fromLocal8Bit(r.bytes);
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// A folder under `base` whose whole path is past the system's limit (PATH_MAX):
// 21 folders of 200 letters, each made from the one above it, with a part
// and an .sfv in the deepest. Its path relative to `base`, without a
// trailing separator; empty when it can't be made.
QString deepFolder(const QString& base) {
    const QString name(200, QLatin1Char('d'));
    int fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 21 && fd >= 0; ++i) {
        ::mkdirat(fd, QFile::encodeName(name).constData(), 0700);
        const int below = ::openat(fd, QFile::encodeName(name).constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = below;
    }
    if (fd < 0) return {};
    for (const char* file : {"x.001", "x.sfv"}) {
        const int made = ::openat(fd, file, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (made >= 0) ::close(made);
    }
    ::close(fd);
    return QStringList(21, name).join(QLatin1Char('/'));
}

// base.001 ... (sets of this test stay under 100 parts).
QStringList parts(const QString& base, int count) {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << base + QLatin1Char('.') + QString::number(i).rightJustified(3, QLatin1Char('0'));
    return names;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString dir; // ends with "/"

    QString at(const QString& name) const { return dir + name; }

    // A set of parts of 1,000 bytes with its list, as a split leaves it.
    void makeSet(const QString& base, int count, quint32 key) {
        QByteArray list;
        for (const QString& name : parts(base, count)) {
            makeFile(at(name), 1000, key++);
            list += name.toUtf8() + "\r\n";
        }
        writeFile(at(base + ".txt"), list);
    }

    // The .sfv of the named files as they are now.
    void writeSfv(const QString& base, const QStringList& names) {
        QList<SfvEntry> entries;
        for (const QString& name : names)
            entries.append({name, zlibCrc32(readFile(at(name)))});
        writeFile(at(base + ".sfv"), sfvBytes(entries));
    }

    // A set with the check files of its parts as they are now: the .sfv, and
    // the .crc of the whole (a wrong CRC-32 there with wrongCrc).
    void makeCheckedSet(const QString& base, int count, quint32 key, bool wrongCrc = false) {
        makeSet(base, count, key);
        writeSfv(base, parts(base, count));
        const QByteArray whole = concat(parts(dir + base, count));
        writeFile(at(base + ".crc"), crcFileBytes(base, whole.size(), zlibCrc32(whole) ^ wrongCrc));
    }

    void damage(const QString& name) {
        QByteArray bytes = readFile(at(name));
        bytes[500] = static_cast<char>(bytes[500] ^ 0x40);
        writeFile(at(name), bytes);
    }

private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        dir = tmp->path() + QLatin1Char('/');
        makeFile(at("movie.avi"), 2500000, 1);
        makeFile(at("floppy.img"), 3000000, 2);
        writeFile(at("digits.txt"), "123456789");
        writeFile(at("digits0.txt"), "123456780");
        writeFile(at("empty"), QByteArray());
        QByteArray changed = readFile(at("movie.avi"));
        changed[1000] = static_cast<char>(changed[1000] ^ 1);
        writeFile(at("changed.avi"), changed);
        makeSet("set.bin", 3, 10);
        makeSet("gap.bin", 3, 20);
        QFile::remove(at("gap.bin.002"));
        makeCheckedSet("chk.bin", 3, 30);
        makeCheckedSet("bad.bin", 3, 40);
        damage("bad.bin.002");
        makeCheckedSet("lost.bin", 3, 50);
        QFile::remove(at("lost.bin.002"));
        damage("lost.bin.003");
        makeCheckedSet("gone.bin", 3, 57);
        QFile::remove(at("gone.bin.003"));
        makeCheckedSet("whole.bin", 2, 60, true);
        makeSet("junk.bin", 2, 70);
        makeSet("headless.bin", 2, 75);
        makeSet("old.bin", 2, 77);
        makeFile(at("old.bin.003"), 1000, 79); // an older set's, beyond the list
        QFile::remove(at("headless.bin.001"));
        writeFile(at("junk.bin.sfv"), "not a check file\r\n");
        for (int ordinal : {1, 2, 30}) // a gap of 27 parts, no list
            makeFile(at("hole.bin." + digitsOf(ordinal)), 1000, 80 + ordinal);
        for (int ordinal : {1, 2, 30}) // the same gap, and an .sfv naming parts in it and past it
            makeFile(at("holey.bin." + digitsOf(ordinal)), 1000, 80 + ordinal);
        writeFile(at("holey.bin.sfv"), sfvBytes({{"holey.bin.005", 0}, {"holey.bin.031", 0}}));
        for (const char* name : {"far.bin.001", "far.bin.101"}) // another tool's numbering
            makeFile(at(name), 1000, 90);
        writeSfv("far.bin", {"far.bin.001", "far.bin.101"});
        QVERIFY(QDir().mkdir(at("out")));
        QVERIFY(::mkfifo(QFile::encodeName(at("pipe")).constData(), 0600) == 0);
    }

    // Every mode and its exit status: what goes to standard output (exactly),
    // what standard error says (empty where nothing went wrong: no progress
    // off a terminal), which files are there afterwards and which aren't.
    void modes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QStringList movieParts = parts("movie.avi", 3);
        const QStringList none;
        const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };

        row("split by size") << QStringList{"--split", "movie.avi", "--size", "1MB"} << 0 << ""
                             << ""
                             << movieParts +
                                    QStringList{"movie.avi.txt", "movie.avi.sfv", "movie.avi.crc"}
                             << QStringList{"movie.avi.004"};
        row("split by size, bytes, into a folder")
            << QStringList{"--split", "movie.avi", "--size", "1250000b", "--into", "out"} << 0 << ""
            << ""
            << QStringList{"out/movie.avi.001", "out/movie.avi.002", "out/movie.avi.txt",
                           "out/movie.avi.sfv"}
            << QStringList{"movie.avi.001", "out/movie.avi.003"};
        row("split by preset") << QStringList{"--split", "floppy.img", "--preset", "1.44mb"} << 0
                               << ""
                               << "" << parts("floppy.img", 3) + QStringList{"floppy.img.txt"}
                               << QStringList{"floppy.img.004"};
        row("split, source smaller than the preset")
            << QStringList{"--split", "movie.avi", "--preset", "700MB"} << 2 << ""
            << "File is smaller  then Standard 700 MB CD" << none
            << QStringList{"movie.avi.001", "movie.avi.txt"};
        row("split, part size of the whole file")
            << QStringList{"--split", "movie.avi", "--size", "2500000B"} << 2 << ""
            << "As a Result You will have identical file" << none << QStringList{"movie.avi.001"};
        row("split, part larger than the file")
            << QStringList{"--split", "movie.avi", "--size", "3MB"} << 2 << ""
            << "Part Size is bigger then File" << none << QStringList{"movie.avi.001"};
        row("split, empty file") << QStringList{"--split", "empty", "--size", "1KB"} << 2 << ""
                                 << "the file is empty" << none << QStringList{"empty.001"};
        row("split, a named pipe")
            << QStringList{"--split", "pipe", "--size", "1KB"} << 2 << ""
            << "it is a named pipe, not a file" << none << QStringList{"pipe.001"};
        row("split into N parts") << QStringList{"--split", "movie.avi", "--parts", "3"} << 0 << ""
                                  << ""
                                  << movieParts + QStringList{"movie.avi.txt", "movie.avi.sfv",
                                                              "movie.avi.crc"}
                                  << QStringList{"movie.avi.004"};
        row("split into 0 parts") << QStringList{"--split", "movie.avi", "--parts", "0"} << 2 << ""
                                  << "--parts takes a whole number of parts, at least 1" << none
                                  << QStringList{"movie.avi.001"};
        row("split into more parts than bytes")
            << QStringList{"--split", "digits.txt", "--parts", "10"} << 2 << ""
            << "Cannot split {dir}digits.txt into 10 parts: it has 9 bytes" << none
            << QStringList{"digits.txt.001"};
        row("parts and a size") << QStringList{"--split", "movie.avi", "--parts",
                                               "2",       "--size",    "1MB"}
                                << 2 << ""
                                << "--split takes one of --size, --preset or --parts" << none
                                << none;
        row("parts of standard input")
            << QStringList{"--split", "-", "--name", "movie.avi", "--parts", "2"} << 2 << ""
            << "--parts needs the file's size" << none << none;
        row("standard input without a name")
            << QStringList{"--split", "-", "--size", "1MB"} << 2 << ""
            << "--split - takes --name NAME" << none << none;
        row("a name with a folder")
            << QStringList{"--split", "-", "--name", "out/movie.avi", "--size", "1MB"} << 2 << ""
            << "--name takes a file name without a folder" << none << none;
        row("a name for a file") << QStringList{"--split",  "movie.avi", "--name",
                                                "film.avi", "--size",    "1MB"}
                                 << 2 << ""
                                 << "--name goes with --split - only" << none << none;
        row("split into no folder")
            << QStringList{"--split", "movie.avi", "--size", "1MB", "--into", "nowhere"} << 2 << ""
            << "Cannot write into nowhere: it does not exist" << none << QStringList{"nowhere"};
        row("split into a file") << QStringList{"--split", "movie.avi", "--size",
                                                "1MB",     "--into",    "digits.txt"}
                                 << 2 << ""
                                 << "Cannot write into digits.txt: it is not a folder" << none
                                 << QStringList{"movie.avi.001"};
        row("split standard input into no folder")
            << QStringList{"--split", "-",   "--name", "movie.avi",
                           "--size",  "1MB", "--into", "nowhere/deeper"}
            << 2 << ""
            << "Cannot write into nowhere/deeper: it does not exist" << none
            << QStringList{"nowhere"};
        row("join into no folder")
            << QStringList{"--join", "set.bin.001", "--into", "nowhere"} << 2 << ""
            << "Cannot write into nowhere: it does not exist" << none << QStringList{"nowhere"};
        row("join into a file") << QStringList{"--join", "set.bin.001", "--into", "digits.txt"} << 2
                                << ""
                                << "Cannot write into digits.txt: it is not a folder" << none
                                << QStringList{"set.bin"};

        row("join a complete set")
            << QStringList{"--join", "set.bin.002", "--into", "out"} << 0 << "{dir}out/set.bin\n"
            << "" << QStringList{"out/set.bin"} << none;
        row("join, no first part") << QStringList{"--join", "floppy.img"} << 1 << ""
                                   << "the first part of its set, {dir}floppy.001, is missing"
                                   << none << QStringList{"floppy"};
        row("join, a listed part missing")
            << QStringList{"--join", "gap.bin.001"} << 1 << ""
            << "Missing Files: gap.bin.002" << none << QStringList{"gap.bin"};
        row("join, a listed part missing, forced")
            << QStringList{"--join", "gap.bin.003", "--force"} << 1 << "{dir}gap.bin\n"
            << "Missing Files: gap.bin.002" << QStringList{"gap.bin"} << none;
        row("join a folder") << QStringList{"--join", "out"} << 2 << ""
                             << "it is a folder, not a file" << none << none;
        row("join, checked against .sfv and .crc")
            << QStringList{"--join", "chk.bin.002", "--into", "out"} << 0 << "{dir}out/chk.bin\n"
            << "CRC-32 checked: 3 of 3 parts" << QStringList{"out/chk.bin"} << none;
        row("join, a damaged part")
            << QStringList{"--join", "bad.bin.003", "--into", "out"} << 1 << ""
            << "bad.bin.002 is damaged: expected " << none << QStringList{"out/bad.bin"};
        row("join, a damaged part, forced")
            << QStringList{"--join", "bad.bin.001", "--into", "out", "--force"} << 1
            << "{dir}out/bad.bin\n"
            << "kept as --force asks" << QStringList{"out/bad.bin"} << none;
        row("join, the whole file's CRC-32 differs")
            << QStringList{"--join", "whole.bin.001"} << 1 << ""
            << "The joined file's CRC-32 differs: expected" << none << QStringList{"whole.bin"};
        row("join, an unreadable .sfv is told, the join goes on")
            << QStringList{"--join", "junk.bin.001"} << 0 << "{dir}junk.bin\n"
            << "junk.bin.sfv not checked: " << QStringList{"junk.bin"} << none;
        row("join, the first part missing, forced")
            << QStringList{"--join", "headless.bin.002", "--force"} << 1 << ""
            << "the first part of its set, {dir}headless.bin.001, is missing" << none
            << QStringList{"headless.bin"};
        row("join, a part beyond the list left out")
            << QStringList{"--join", "old.bin.001"} << 0 << "{dir}old.bin\n"
            << "Left out, not listed: old.bin.003" << QStringList{"old.bin"} << none;
        row("join, a gap without a list")
            << QStringList{"--join", "hole.bin.001"} << 1 << ""
            << "Missing Files: hole.bin.003 hole.bin.004" << none << QStringList{"hole.bin"};
        row("join, a gap without a list, the rest counted")
            << QStringList{"--join", "hole.bin.030"} << 1 << ""
            << "hole.bin.022 ... and 7 more\n"
            << none << QStringList{"hole.bin"};
        row("join, a gap and the .sfv's parts, each counted once")
            << QStringList{"--join", "holey.bin.001"} << 1 << ""
            << "holey.bin.022 ... and 8 more\n"
            << none << QStringList{"holey.bin"};
        row("join, a gap without a list, forced")
            << QStringList{"--join", "hole.bin.002", "--force"} << 1 << "{dir}hole.bin\n"
            << "Missing Files: hole.bin.003" << QStringList{"hole.bin"} << none;

        row("verify, every part OK") << QStringList{"--verify", "chk.bin.002"} << 0
                                     << "chk.bin.001 OK\nchk.bin.002 OK\nchk.bin.003 OK\n"
                                     << "" << none << none;
        row("verify, a part missing and one damaged")
            << QStringList{"--verify", "lost.bin.sfv"} << 1
            << "lost.bin.001 OK\nlost.bin.002 MISSING\nlost.bin.003 BAD\n"
            << "" << none << none;
        row("verify, a part missing, none damaged")
            << QStringList{"--verify", "gone.bin.001"} << 1
            << "gone.bin.001 OK\ngone.bin.002 OK\ngone.bin.003 MISSING\n"
            << "" << none << none;
        row("verify, another tool's numbering past 100")
            << QStringList{"--verify", "far.bin.101"} << 0 << "far.bin.001 OK\nfar.bin.101 OK\n"
            << "" << none << none;
        row("verify, no .sfv") << QStringList{"--verify", "set.bin.txt"} << 2 << ""
                               << "there is no set.bin.sfv beside it" << none << none;
        row("verify, an unreadable .sfv") << QStringList{"--verify", "junk.bin.001"} << 2 << ""
                                          << "Cannot read {dir}junk.bin.sfv" << none << none;
        row("verify a folder") << QStringList{"--verify", "out"} << 2 << ""
                               << "it is a folder, not a file" << none << none;

        row("checksum") << QStringList{"--checksum", "digits.txt"} << 0
                        << "CBF43926 3421780262 digits.txt\n"
                        << "" << none << none;
        row("checksum, empty file")
            << QStringList{"--checksum", "empty"} << 0 << "00000000 0 empty\n"
            << "" << none << none;
        row("checksum, missing file") << QStringList{"--checksum", "nothing"} << 2 << ""
                                      << "No such file or directory" << none << none;

        row("compare, identical") << QStringList{"--compare", "set.bin.001", "{dir}set.bin.001"}
                                  << 0 << "identical\n"
                                  << "" << none << none;
        row("compare, a byte differs") << QStringList{"--compare", "movie.avi", "changed.avi"} << 1
                                       << "different at byte 1001\n"
                                       << "" << none << none;
        row("compare, the last byte differs")
            << QStringList{"--compare", "digits.txt", "digits0.txt"} << 1 << "different at byte 9\n"
            << "" << none << none;
        row("compare, lengths differ")
            << QStringList{"--compare", "movie.avi", "floppy.img"} << 1 << "different length\n"
            << "" << none << none;

        row("no mode") << QStringList{"--into", "out"} << 2 << ""
                       << "Choose one of" << none << none;
        row("two modes") << QStringList{"--checksum", "empty", "--join", "set.bin.001"} << 2 << ""
                         << "Choose one of --join, --checksum" << none << none;
        row("unknown option") << QStringList{"--splt", "movie.avi"} << 2 << ""
                              << "Unknown option 'splt'" << none << none;
        row("split without a size") << QStringList{"--split", "movie.avi"} << 2 << ""
                                    << "one of --size, --preset or --parts" << none << none;
        row("size and preset") << QStringList{"--split", "movie.avi", "--size",
                                              "1MB",     "--preset",  "DVD"}
                               << 2 << ""
                               << "one of --size, --preset or --parts" << none << none;
        row("size of no unit") << QStringList{"--split", "movie.avi", "--size", "1TB"} << 2 << ""
                               << "--size takes" << none << QStringList{"movie.avi.001"};
        row("size 0") << QStringList{"--split", "movie.avi", "--size", "0KB"} << 2 << ""
                      << "--size takes" << none << QStringList{"movie.avi.001"};
        row("unknown preset") << QStringList{"--split", "movie.avi", "--preset", "Floppy"} << 2
                              << ""
                              << "Unknown preset Floppy; the presets are 1.2 MB, 1.44MB" << none
                              << none;
        row("force without join") << QStringList{"--split", "movie.avi", "--size", "1MB", "--force"}
                                  << 2 << ""
                                  << "--force does not go with --split" << none
                                  << QStringList{"movie.avi.001"};
        row("compare one file") << QStringList{"--compare", "movie.avi"} << 2 << ""
                                << "--compare takes two files" << none << none;
        row("a size given twice") << QStringList{"--split", "movie.avi", "--size",
                                                 "1KB",     "--size",    "2KB"}
                                  << 2 << ""
                                  << "--size is given more than once" << none
                                  << QStringList{"movie.avi.001"};
        row("a folder given twice")
            << QStringList{"--join", "set.bin.001", "--into", "out", "--into", "."} << 2 << ""
            << "--into is given more than once" << none << QStringList{"out/set.bin", "set.bin"};
        row("--force given twice")
            << QStringList{"--join", "gap.bin.001", "--force", "--force"} << 2 << ""
            << "--force is given more than once" << none << QStringList{"gap.bin"};
        // Paths past the system's limits: named whole, with the reason.
        row("verify past the path limit")
            << QStringList{"--verify", "{deep}/x.001"} << 2 << ""
            << "Cannot open {dir}{deep}/x.001: File name too long" << none << none;
        row("repair past the path limit")
            << QStringList{"--repair", "{deep}/x.001"} << 2 << ""
            << "Cannot open {dir}{deep}/x.001: File name too long" << none << none;
        row("split into a folder past the path limit")
            << QStringList{"--split", "movie.avi", "--size", "1MB", "--into", "{deep}"} << 2 << ""
            << "Cannot write into {dir}{deep}: File name too long" << none
            << QStringList{"movie.avi.001"};
        row("join into a name past the limit")
            << QStringList{"--join", "set.bin.001", "--into", "{long}"} << 2 << ""
            << "Cannot write into {dir}{long}: File name too long" << none
            << QStringList{"set.bin"};
        row("split standard input in a folder past the path limit")
            << QStringList{"{in deep}", "--split", "-", "--name", "movie.avi", "--size", "1MB"} << 2
            << ""
            << "Cannot write into {dir}{deep}: File name too long" << none << none;
        row("help") << QStringList{"--help"} << 0 << ""
                    << "" << none << none;
        row("help, Qt's options too") << QStringList{"--help-all"} << 0 << ""
                                      << "" << none << none;
        row("version") << QStringList{"--version"} << 0 << "tarvello-file-splitter 1.00\n"
                       << "" << none << none;
    }
    void modes() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QStringList wrapper;
        const QString deep = args.join(' ').contains("deep}") ? deepFolder(dir) : QString();
        const auto removeDeep = qScopeGuard([&] { // too deep for QTemporaryDir
            if (!deep.isEmpty()) QProcess::execute("rm", {"-rf", at(deep.section('/', 0, 0))});
        });
        if (args.first() == "{in deep}") { // run there, reached a folder at a time
            args.removeFirst();
            wrapper = QStringList{"sh", "-c",
                                  "cd -P " + deep.split('/').join(" && cd -P ") +
                                      " && exec \"$0\" \"$@\""};
        }
        for (QString* text : {&out, &err})
            text->replace("{deep}", deep).replace("{long}", QString(300, 'l'));
        for (QString& arg : args)
            arg.replace("{dir}", dir).replace("{deep}", deep).replace("{long}", QString(300, 'l'));
        out.replace("{dir}", dir);
        err.replace("{dir}", dir);
        const Result r = runProgram(dir, args, nullptr, wrapper);
        QVERIFY2(r.status == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        if (args.first().startsWith("--help"))
            QVERIFY2(r.out.startsWith("Usage: tarvello-file-splitter [FILE]\n") &&
                         r.out.contains("--split <FILE>") && r.out.contains("--compare <FILE1>"),
                     qPrintable(r.out));
        else
            QCOMPARE(r.out, out);
        if (err.isEmpty())
            QCOMPARE(r.err, QString());
        else
            QVERIFY2(r.err.startsWith("tarvello-file-splitter: ") && r.err.contains(err) &&
                         r.err.endsWith('\n'),
                     qPrintable(r.err));
        for (const QString& name : present)
            QVERIFY2(QFileInfo::exists(at(name)), qPrintable(name));
        for (const QString& name : absent)
            QVERIFY2(!QFileInfo::exists(at(name)), qPrintable(name));
        // What is there up to the gap, or up to the list's end.
        for (const QString& set : {QStringLiteral("hole.bin"), QStringLiteral("old.bin")})
            if (present.contains(set))
                QCOMPARE(readFile(at(set)), concat({at(set + ".001"), at(set + ".002")}));
        // Nothing half-done stays behind: no hidden file of a join.
        for (const QString& folder : {dir, at("out")})
            for (const QString& name : entries(folder))
                QVERIFY2(!name.startsWith('.'), qPrintable(name));
    }

    // The bytes: a split and a join back give the source; the list is the
    // window's; a second split with bigger parts replaces the first set whole
    // (its list and the parts beyond its own go); a join beside a file of the
    // joined name writes "Clone Of".
    void splitAndJoinBack() {
        const QByteArray source = readFile(at("movie.avi"));
        QCOMPARE(runProgram(dir, {"--split", "movie.avi", "--size", "500KB"}).status, 0);
        QCOMPARE(readFile(at("movie.avi.txt")),
                 parts("movie.avi", 5).join("\r\n").toUtf8() + "\r\n");
        QCOMPARE(runProgram(dir, {"--split", "movie.avi", "--size", "1MB"}).status, 0);
        QCOMPARE(readFile(at("movie.avi.txt")),
                 parts("movie.avi", 3).join("\r\n").toUtf8() + "\r\n");
        QVERIFY(!QFileInfo::exists(at("movie.avi.004")));
        QCOMPARE(concat(QStringList(parts(dir + "movie.avi", 3))), source);

        const Result r = runProgram(dir, {"--join", at("movie.avi.003")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, at("Clone Of movie.avi") + "\n");
        QCOMPARE(readFile(at("Clone Of movie.avi")), source);
    }

    // --parts N cuts the parts that GNU split -n N cuts, byte for byte.
    void partsAsSplitCutsThem_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("count");
        QTest::newRow("the rest in the last part") << "movie.avi" << 3;
        QTest::newRow("no rest") << "movie.avi" << 4;
        QTest::newRow("one byte each") << "digits.txt" << 9;
        QTest::newRow("one part") << "digits.txt" << 1;
        QTest::newRow("parts written two at a time") << "large" << 7;
    }
    void partsAsSplitCutsThem() {
        QFETCH(QString, file);
        QFETCH(int, count);
        if (file == "large") makeFile(at("large"), 40 << 20, 5);
        QVERIFY(QDir().mkdir(at("gnu")));
        QProcess gnu;
        gnu.setWorkingDirectory(at("gnu"));
        gnu.start("split", {"-n", QString::number(count), "-d", "-a", "3", at(file), "x"});
        QVERIFY(gnu.waitForFinished() && gnu.exitCode() == 0);
        const Result r =
            runProgram(dir, {"--split", file, "--parts", QString::number(count), "--into", "out"});
        QCOMPARE(r.status, 0);
        const QStringList theirs = entries(at("gnu"));
        QCOMPARE(theirs.size(), count);
        for (int i = 0; i < count; ++i)
            QVERIFY2(readFile(at("out/" + parts(file, count)[i])) ==
                         readFile(at("gnu/") + theirs[i]),
                     qPrintable(theirs[i]));
        QVERIFY(!QFileInfo::exists(at("out/" + file + "." + digitsOf(count + 1))));
    }

    // In pipes: a split of standard input writes what a split of the file of
    // that name writes (parts, list, check files), or refuses what that split
    // would refuse, leaving nothing; a join to standard output writes the
    // joined bytes there, checks what it can before, and stops after a part
    // that fails its .sfv check (the bytes before it are out).
    void pipes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("input"); // the file fed to standard input
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("out"); // standard output: these files' bytes
        const QStringList none;
        const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        const QStringList into{"--into", "out"};
        row("split standard input by size")
            << QStringList{"--split", "-", "--name", "movie.avi", "--size", "1MB"} + into
            << "movie.avi" << 0 << "" << none;
        row("split standard input by preset")
            << QStringList{"--split", "-", "--name", "floppy.img", "--preset", "1.44MB"} + into
            << "floppy.img" << 0 << "" << none;
        row("split standard input, parts of a byte")
            << QStringList{"--split", "-", "--name", "digits.txt", "--size", "1B"} + into
            << "digits.txt" << 0 << "" << none;
        row("standard input smaller than the preset")
            << QStringList{"--split", "-", "--name", "movie.avi", "--preset", "700MB"} + into
            << "movie.avi" << 2 << "Standard 700 MB CD" << none;
        row("standard input in one part")
            << QStringList{"--split", "-", "--name", "digits.txt", "--size", "1KB"} + into
            << "digits.txt" << 2 << "Part Size is bigger then File" << none;
        row("standard input of one part exactly")
            << QStringList{"--split", "-", "--name", "digits.txt", "--size", "9B"} + into
            << "digits.txt" << 2 << "As a Result You will have identical file" << none;
        row("empty standard input")
            << QStringList{"--split", "-", "--name", "empty", "--size", "1KB"} + into << "empty"
            << 2 << "Cannot split standard input: it is empty" << none;
        row("standard input from its own first part")
            << QStringList{"--split", "-", "--name", "set.bin", "--size", "100B"} << "<set.bin.002"
            << 2 << "writing that part would destroy it" << none;

        row("join to standard output")
            << QStringList{"--join", "chk.bin.002", "--into", "-"} << "" << 0
            << "CRC-32 checked: 3 of 3 parts" << parts("chk.bin", 3);
        row("join to standard output, a damaged part")
            << QStringList{"--join", "bad.bin.001", "--into", "-"} << "" << 1
            << "bad.bin.002 is damaged: expected " << parts("bad.bin", 2);
        row("join to standard output, a damaged part, forced")
            << QStringList{"--join", "bad.bin.001", "--into", "-", "--force"} << "" << 1
            << "joined all the same, as --force asks" << parts("bad.bin", 3);
        row("join to standard output, a part missing")
            << QStringList{"--join", "gap.bin.001", "--into", "-"} << "" << 1
            << "Missing Files: gap.bin.002" << none;
        row("join to standard output up to the list's end")
            << QStringList{"--join", "old.bin.003", "--into", "-"} << "" << 0
            << "Left out, not listed: old.bin.003" << parts("old.bin", 2);
    }
    void pipes() {
        QFETCH(QStringList, args);
        QFETCH(QString, input);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QStringList, out);
        QVERIFY(QDir().mkdir(at("file")));
        const QStringList before = entries(dir);
        // "<name": standard input is that file itself, not a pipe.
        const QStringList redirect{"sh", "-c", "exec \"$0\" \"$@\" " + input};
        const bool fromFile = input.startsWith('<');
        const Result r =
            runProgram(dir, args, nullptr, fromFile ? redirect : QStringList(),
                       input.isEmpty() || fromFile ? QByteArray() : readFile(at(input)));
        QVERIFY2(r.status == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        err.replace("{dir}", dir);
        if (err.isEmpty())
            QCOMPARE(r.err, QString());
        else
            QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QStringList joined;
        for (const QString& name : out)
            joined << at(name);
        QVERIFY(r.bytes == concat(joined));
        QCOMPARE(entries(dir), before); // nothing beside the parts, nothing hidden
        if (args.first() != "--split" || fromFile) return;
        if (status != 0) {
            QCOMPARE(entries(at("out")), QStringList());
            return;
        }
        // The same files, byte for byte, as a split of the file itself.
        QVERIFY(QFile::rename(at(input), at("file/" + input)));
        QStringList ofFile = args;
        ofFile[1] = "file/" + input;
        ofFile.removeAt(2); // --name NAME
        ofFile.removeAt(2);
        ofFile.last() = "file";
        QCOMPARE(runProgram(dir, ofFile).status, 0);
        QStringList written = entries(at("file"));
        written.removeOne(input);
        QCOMPARE(entries(at("out")), written);
        for (const QString& name : written) {
            QVERIFY2(readFile(at("out/" + name)) == readFile(at("file/" + name)), qPrintable(name));
            QCOMPARE(QFileInfo(at("out/" + name)).permissions(),
                     QFileInfo(at("file/" + name)).permissions());
        }
    }

    // Recovery data end to end: a split with --recovery, the set damaged,
    // then --verify (without the .sfv), --repair (naming a part or a volume)
    // or --join; the lines on standard output, the status, what standard
    // error says, and the parts or the joined file byte for byte afterwards.
    void recovery_data() {
        QTest::addColumn<QStringList>("lost"); // parts removed; "~name" damaged
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // {dir}: the folder
        QTest::addColumn<QString>("err");
        const auto lines = [](const QStringList& words) {
            QString text;
            for (int i = 0; i < words.size(); ++i)
                text += QStringLiteral("movie.avi.%1 %2\n")
                            .arg(i + 1, 3, 10, QLatin1Char('0'))
                            .arg(words[i]);
            return text;
        };
        QTest::newRow("verify, whole") << QStringList{} << QStringList{"--verify", "movie.avi.001"}
                                       << 0 << lines({"OK", "OK", "OK", "OK", "OK"}) << "";
        QTest::newRow("verify, one missing")
            << QStringList{"movie.avi.002"} << QStringList{"--verify", "movie.avi.001"} << 1
            << lines({"OK", "MISSING", "OK", "OK", "OK"}) << "can be repaired";
        QTest::newRow("verify, two missing")
            << QStringList{"movie.avi.002", "~movie.avi.004"}
            << QStringList{"--verify", "movie.avi.par2"} << 1
            << lines({"OK", "MISSING", "OK", "BAD", "OK"}) << "1 more recovery block is needed";
        QTest::newRow("repair, one missing")
            << QStringList{"movie.avi.002"} << QStringList{"--repair", "movie.avi.003"} << 0
            << lines({"OK", "REPAIRED", "OK", "OK", "OK"}) << "";
        QTest::newRow("repair the short last part, from a volume")
            << QStringList{"~movie.avi.005"} << QStringList{"--repair", "movie.avi.vol0+1.par2"}
            << 0 << lines({"OK", "OK", "OK", "OK", "REPAIRED"}) << "";
        QTest::newRow("repair, two damaged")
            << QStringList{"~movie.avi.001", "~movie.avi.003"}
            << QStringList{"--repair", "movie.avi.txt"} << 1
            << lines({"BAD", "OK", "BAD", "OK", "OK"}) << "1 more recovery block is needed";
        QTest::newRow("repair without the index, from the volume")
            << QStringList{"movie.avi.par2", "movie.avi.002"}
            << QStringList{"--repair", "movie.avi.001"} << 0
            << lines({"OK", "REPAIRED", "OK", "OK", "OK"}) << "";
        QTest::newRow("repair without recovery data")
            << QStringList{"movie.avi.par2", "movie.avi.vol0+1.par2"}
            << QStringList{"--repair", "movie.avi.001"} << 2 << ""
            << "There is no recovery data";
        QTest::newRow("join repairs first")
            << QStringList{"movie.avi.002"}
            << QStringList{"--join", "movie.avi.001", "--into", "out"} << 0
            << "{dir}out/movie.avi\n"
            << "Repaired movie.avi.002";
        QTest::newRow("join beyond repair")
            << QStringList{"movie.avi.002", "movie.avi.003"}
            << QStringList{"--join", "movie.avi.001", "--into", "out"} << 1 << ""
            << "1 more recovery block is needed";
    }
    void recovery() {
        QFETCH(QStringList, lost);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QByteArray source = readFile(at("movie.avi"));
        const Result split =
            runProgram(dir, {"--split", "movie.avi", "--size", "500KB", "--recovery", "20%"});
        QCOMPARE(split.status, 0);
        QCOMPARE(split.err, QString());
        QVERIFY(QFile::remove(at("movie.avi")));
        QVERIFY(QFile::remove(at("movie.avi.sfv")));
        for (const QString& name : lost)
            if (name.startsWith('~'))
                damage(name.mid(1));
            else
                QVERIFY(QFile::remove(at(name)));
        const Result r = runProgram(dir, args);
        QVERIFY2(r.status == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        QCOMPARE(r.out, QString(out).replace("{dir}", dir));
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
        if (status == 0 && args.first() == "--join")
            QCOMPARE(readFile(at("out/movie.avi")), source);
        if (status == 0 && args.first() == "--repair")
            QCOMPARE(concat(parts(dir + "movie.avi", 5)), source);
        for (const QString& name : entries(dir))
            QVERIFY2(!name.startsWith('.'), qPrintable(name));
    }

    // The recovery files are the split's: a second split replaces them with
    // its own (which par2 accepts), a file of their name that another tool
    // wrote stays as it is and no recovery data is written beside it, and a
    // percentage out of range is refused before anything is split.
    void recoveryFilesBelongToTheSplit() {
        QCOMPARE(runProgram(dir, {"--split", "movie.avi", "--size", "500KB", "--recovery", "20%"})
                     .status,
                 0);
        QCOMPARE(filesIn(dir).filter(".par2"),
                 (QStringList{"movie.avi.par2", "movie.avi.vol0+1.par2"}));
        QCOMPARE(
            runProgram(dir, {"--split", "movie.avi", "--size", "1MB", "--recovery", "100%"}).status,
            0);
        QCOMPARE(filesIn(dir).filter(".par2"),
                 (QStringList{"movie.avi.par2", "movie.avi.vol0+1.par2", "movie.avi.vol1+2.par2"}));
        QProcess par2;
        par2.setWorkingDirectory(dir);
        par2.start("par2", {"verify", "-q", "movie.avi.par2"});
        QVERIFY(par2.waitForFinished(60000));
        QCOMPARE(par2.exitCode(), 0);

        writeFile(at("floppy.img.par2"), "my own notes");
        const Result r =
            runProgram(dir, {"--split", "floppy.img", "--size", "1MB", "--recovery", "10%"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains("floppy.img.par2 is not recovery data of this split"),
                 qPrintable(r.err));
        QCOMPARE(readFile(at("floppy.img.par2")), QByteArray("my own notes"));
        QCOMPARE(filesIn(dir).filter("floppy.img.vol"), QStringList{});

        for (const char* percent : {"0%", "101%", "ten"}) {
            const Result refused =
                runProgram(dir, {"--split", "digits.txt", "--size", "2B", "--recovery", percent});
            QCOMPARE(refused.status, 2);
            QVERIFY(!QFileInfo::exists(at("digits.txt.001")));
        }
    }

    // Recovery files that are not only the set's own: par2's over the parts
    // and a user's notes (the notes are left alone), another set's beside a
    // set without any, names that can't be files of the folder, damage
    // beyond what the data covers without a .sfv, and data over some of the
    // listed parts only. On the listed sets clip.avi and clip (three parts of
    // 1,000 bytes each, no check files) the steps run in a shell, then the
    // program: its status, standard output, what standard error says, and
    // every file as it was but those changed ("=name": as it was before the
    // steps; "name": anything).
    void foreignRecoveryFiles_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("changed");
        const QString parts = "clip.avi.001 clip.avi.002 clip.avi.003";
        const QString cafe = "\"$(printf 'caf\\351.bin')\"";
        const QString create = "par2 create -q -q ";
        const QStringList withNotes{"echo mine >notes.txt",
                                    create + "-r50 clip.avi.par2 " + parts + " notes.txt",
                                    "echo edited >notes.txt", "rm clip.avi.002"};
        const QString repaired = "clip.avi.001 OK\nclip.avi.002 REPAIRED\nclip.avi.003 OK\n";
        QTest::newRow("a user's file described too: --repair")
            << withNotes << QStringList{"--repair", "clip.avi.001"} << 0 << repaired
            << "Left alone, no part of clip.avi though its recovery data describes it: notes.txt"
            << QStringList{"=clip.avi.002"};
        QTest::newRow("a user's file described too: --join")
            << withNotes << QStringList{"--join", "clip.avi.001", "--into", "out"} << 0
            << "{dir}out/clip.avi\n"
            << "Repaired clip.avi.002" << QStringList{"=clip.avi.002", "=out/clip.avi"};
        const QStringList otherSet{create + "-s64 -r40 clip.avi.par2 " + parts, "rm clip.002",
                                   "echo XX | dd of=clip.avi.003 bs=1 seek=10 conv=notrunc"};
        QTest::newRow("another set's beside: --verify")
            << otherSet << QStringList{"--verify", "clip.001"} << 2 << ""
            << "there is no clip.sfv beside it" << QStringList{};
        QTest::newRow("another set's beside: --repair")
            << otherSet << QStringList{"--repair", "clip.001"} << 2 << ""
            << "There is no recovery data (.par2) beside clip.001" << QStringList{};
        QTest::newRow("another set's beside: --join")
            << otherSet << QStringList{"--join", "clip.001", "--into", "out"} << 1 << ""
            << "Missing Files: clip.002" << QStringList{};
        QTest::newRow("another set's under the set's name")
            << QStringList{create + "-r40 clip.par2 " + parts, "rm clip.002"}
            << QStringList{"--repair", "clip.001"} << 2 << ""
            << "clip.par2 is not the recovery data of clip: it describes none of its parts"
            << QStringList{};
        QTest::newRow("a name that is not UTF-8")
            << QStringList{"echo mine >" + cafe,
                           create + "-r60 clip.avi.par2 " + parts + " " + cafe,
                           "rm clip.avi.002 " + cafe}
            << QStringList{"--repair", "clip.avi.001"} << 2 << ""
            << "it has a file name that is not UTF-8 text (caf\\xe9.bin)" << QStringList{};
        QTest::newRow("a file in a subfolder")
            << QStringList{"mkdir sub", "echo mine >sub/x.txt",
                           create + "-r20 -R clip.avi.par2 " + parts + " sub"}
            << QStringList{"--verify", "clip.avi.001"} << 2 << ""
            << "it has a file in a subfolder (sub/x.txt)" << QStringList{};
        QTest::newRow("a newline in a name")
            << QStringList{"echo mine >\"$(printf 'new\\nline')\"",
                           create + "-r20 clip.avi.par2 " + parts + " new*line"}
            << QStringList{"--verify", "clip.avi.001"} << 2 << ""
            << "it has a file name with a control character (new\\x0aline)" << QStringList{};
        // Four damaged slices of 100 bytes, three recovery slices.
        QStringList beyond{create + "-s100 -c3 clip.avi.par2 " + parts};
        for (const char* at : {"clip.avi.001 bs=1 seek=10", "clip.avi.001 bs=1 seek=510",
                               "clip.avi.002 bs=1 seek=10", "clip.avi.003 bs=1 seek=10"})
            beyond << QStringLiteral("echo XX | dd of=%1 conv=notrunc").arg(at);
        const QString damaged = "clip.avi.001 is damaged: the recovery data cannot rebuild it";
        QTest::newRow("damage beyond it, no .sfv: --join")
            << beyond << QStringList{"--join", "clip.avi.001", "--into", "out"} << 1 << ""
            << damaged << QStringList{};
        QTest::newRow("damage beyond it, no .sfv: --join --force")
            << beyond << QStringList{"--join", "clip.avi.001", "--into", "out", "--force"} << 1
            << "{dir}out/clip.avi\n"
            << "Recovery data check failed: the joined file is kept" << QStringList{"out/clip.avi"};
        const QStringList someParts{create + "-r20 clip.avi.par2 clip.avi.001 clip.avi.002",
                                    "rm clip.avi.003"};
        const QString third = "clip.avi.001 OK\nclip.avi.002 OK\nclip.avi.003 %1\n";
        QTest::newRow("over some listed parts: --verify")
            << someParts << QStringList{"--verify", "clip.avi.par2"} << 1 << third.arg("MISSING")
            << "does not describe" << QStringList{};
        QTest::newRow("over some listed parts: --repair")
            << someParts << QStringList{"--repair", "clip.avi.001"} << 1 << third.arg("MISSING")
            << "does not describe" << QStringList{};
        QTest::newRow("over some parts, the .sfv over all")
            << QStringList{someParts[0], "cksfv -q " + parts + " >clip.avi.sfv",
                           "echo XX | dd of=clip.avi.003 bs=1 seek=10 conv=notrunc"}
            << QStringList{"--verify", "clip.avi.par2"} << 1 << third.arg("BAD")
            << "does not describe" << QStringList{};
    }
    void foreignRecoveryFiles() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, changed);
        makeSet("clip.avi", 3, 300);
        makeSet("clip", 3, 400);
        // Every regular file below the folder: its bytes (none where the name
        // is no UTF-8: read as text, it would name another file).
        const auto files = [&] {
            QList<QPair<QString, QByteArray>> found;
            QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (!it.fileInfo().isFile()) continue;
                const bool text = !path.contains(QChar::ReplacementCharacter);
                found.append({path.mid(dir.size()), text ? readFile(path) : QByteArray()});
            }
            std::sort(found.begin(), found.end());
            return found;
        };
        QHash<QString, QByteArray> original;
        for (const auto& [name, bytes] : files())
            original.insert(name, bytes);
        original.insert("out/clip.avi", concat(parts(dir + "clip.avi", 3)));
        for (const QString& step : steps) {
            QProcess shell;
            shell.setWorkingDirectory(dir);
            shell.start("sh", {"-c", step});
            QVERIFY2(shell.waitForFinished(60000) && shell.exitCode() == 0, qPrintable(step));
        }
        const auto before = files();
        const Result r = runProgram(dir, args);
        QVERIFY2(r.status == status,
                 qPrintable(QStringLiteral("status %1: %2").arg(r.status).arg(r.err)));
        QCOMPARE(r.out, out.replace("{dir}", dir));
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QStringList restored = changed.filter(QRegularExpression("^="));
        QList<QPair<QString, QByteArray>> after, expected;
        for (const auto& file : files()) {
            if (changed.contains(file.first)) continue;
            if (restored.removeAll("=" + file.first) > 0)
                QVERIFY2(file.second == original.value(file.first), qPrintable(file.first));
            else
                after.append(file);
        }
        QCOMPARE(restored, QStringList{}); // each of them there
        for (const auto& file : before)
            if (!changed.contains(file.first) && !changed.contains("=" + file.first))
                expected.append(file);
        QStringList names, expectedNames;
        for (const auto& file : after)
            names << file.first;
        for (const auto& file : expected)
            expectedNames << file.first;
        QCOMPARE(names, expectedNames);
        QVERIFY(after == expected); // their bytes
    }

    // A refusal leaves nothing on the destination: on a full disk a split
    // (the source and the 200 MiB margin don't fit), a join (the set
    // doesn't fit) and a split of standard input (whose size isn't known
    // before: the write that fails); on a FAT volume a split into parts over
    // 4 GiB and a join into a file over 4 GiB (sparse sources of 4.6 GB).
    void refusalLeavesNothing_data() {
        QTest::addColumn<bool>("fat");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("split, full disk")
            << false << QStringList{"--split", "movie.avi", "--size", "1MB", "--into"}
            << "There is Not enough Free Space on drive  %1  to complete operation";
        QTest::newRow("join, full disk")
            << false << QStringList{"--join", "floppy.img.001", "--into"}
            << "Not Enough Disk Space on Drive %1";
        QTest::newRow("split of standard input, the disk fills")
            << false
            << QStringList{"--split", "-", "--name", "movie.avi", "--size", "100KB", "--into"}
            << "%1/movie.avi.0";
        QTest::newRow("split, parts too large for FAT")
            << true << QStringList{"--split", "huge", "--size", "4295MB", "--into"}
            << "Parts of this size can not be stored on drive %1 (largest file 4294967295 bytes)";
        QTest::newRow("join, file too large for FAT")
            << true << QStringList{"--join", "huge.001", "--into"}
            << "The joined file can not be stored on drive %1 (largest file 4294967295 bytes)";
    }
    void refusalLeavesNothing() {
        QFETCH(bool, fat);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        std::unique_ptr<Tmpfs> disk;
        std::unique_ptr<faults::FatVolume> volume;
        QString into;
        if (fat) {
            volume = std::make_unique<faults::FatVolume>(Q_INT64_C(5000000000));
            if (!volume->ok()) QSKIP(qPrintable(volume->reason()));
            into = volume->path() + '/';
            QVERIFY(makeSparse(at("huge"), Q_INT64_C(4600000000)));
            QVERIFY(QFile::link(at("huge"), at("huge.001")));
        } else {
            disk = std::make_unique<Tmpfs>(1 << 20);
            if (!disk->ok()) QSKIP(qPrintable(disk->reason()));
            into = disk->path();
            QVERIFY(QFile::copy(at("floppy.img"), at("floppy.img.001")));
        }
        const QByteArray input = args.contains("-") ? readFile(at("movie.avi")) : QByteArray();
        const Result r = runProgram(dir, args << into, nullptr, {}, input);
        QCOMPARE(r.status, 2);
        const QString root = QDir(into).absolutePath();
        QVERIFY2(r.err.contains(message.arg(root)), qPrintable(r.err));
        QCOMPARE(entries(into), QStringList());
    }

    // The free space asked of a join is what it will write: the parts after
    // the end of the list (an older, longer set's) need no room.
    void joinFitsWithoutThePartsAfterTheList() {
        Tmpfs disk(1 << 20);
        if (!disk.ok()) QSKIP(qPrintable(disk.reason()));
        makeFile(at("long.bin.001"), 500000, 1);
        makeFile(at("long.bin.002"), 400000, 2);
        makeFile(at("long.bin.003"), 3000000, 3);
        writeFile(at("long.bin.txt"), "long.bin.001\r\nlong.bin.002\r\n");
        const Result r = runProgram(dir, {"--join", "long.bin.001", "--into", disk.path()});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(readFile(disk.path() + "long.bin"),
                 concat({at("long.bin.001"), at("long.bin.002")}));
    }

    // Ctrl+C in the middle of a split, a join or a verify: status 130, and
    // nothing in the destination (the window's Cancel: no part, no list, no
    // hidden file of the join), the source as it was; SIGTERM and SIGHUP
    // alike, with 128 + their number. The child is held at a read in the
    // middle of its work (a split of standard input: waits for more),
    // signalled there, then let go on.
    void interruptLeavesNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("held");  // the file whose read is held
        QTest::addColumn<qint64>("offset"); // at this offset
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("volumesBegun"); // hidden recovery files are there when held
        QTest::newRow("split") << QStringList{"--split", "movie.avi", "--size",
                                              "50B",     "--into",    "out"}
                               << "movie.avi" << qint64(5000) << int(SIGINT) << false;
        QTest::newRow("split standard input")
            << QStringList{"--split", "-", "--name", "movie.avi", "--size", "50B", "--into", "out"}
            << QString() << qint64(0) << int(SIGINT) << false;
        QTest::newRow("join") << QStringList{"--join", "set/big.bin.001", "--into", "out"}
                              << "set/big.bin.001" << (qint64(1) << 20) << int(SIGINT) << false;
        QTest::newRow("verify") << QStringList{"--verify", "set/big.bin.sfv"} << "set/big.bin.001"
                                << (qint64(1) << 20) << int(SIGINT) << false;
        QTest::newRow("split's recovery data") // at its first read of a written part
            << QStringList{"--split", "movie.avi", "--size",     "2KB",
                           "--into",  "out",       "--recovery", "100%"}
            << "out/movie.avi.002" << qint64(0) << int(SIGINT) << false;
        // Past the first 16 KiB of a part, which name it in the set: the
        // volumes are being filled under their hidden names.
        const QStringList withVolumes{"--split", "movie.avi", "--size",     "1MB",
                                      "--into",  "out",       "--recovery", "10%"};
        const std::pair<const char*, int> stops[] = {
            {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};
        for (const auto& [name, sig] : stops)
            QTest::addRow("split's recovery volumes being written, %s", name)
                << withVolumes << "out/movie.avi.002" << qint64(100000) << sig << true;
    }
    void interruptLeavesNothing() {
        QFETCH(QStringList, args);
        QFETCH(QString, held);
        QFETCH(qint64, offset);
        QFETCH(int, sig);
        QFETCH(bool, volumesBegun);
        const QByteArray source = readFile(at("movie.avi"));
        if (args.first() != "--split") { // a sparse first part of 1 GiB: a long join
            QVERIFY(QDir().mkdir(at("set")));
            QFile first(at("set/big.bin.001"));
            QVERIFY(first.open(QIODevice::WriteOnly) && first.resize(Q_INT64_C(1) << 30));
            writeFile(at("set/big.bin.002"), "the end");
            writeFile(at("set/big.bin.sfv"), "big.bin.001 00000000\r\n");
        }
        QProcess child;
        if (!held.isEmpty()) holdReadAt(child, at(held), offset);
        runProgram(dir, args, &child);
        QVERIFY(child.waitForStarted());
        if (held.isEmpty()) { // standard input that stays open: the split waits for more
            child.write(source.left(60000)); // less than a pipe holds
            QVERIFY(child.waitForBytesWritten());
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(at("out/movie.avi.002")), 60000);
        } else {
            child.setReadChannel(QProcess::StandardError);
            while (!child.readAllStandardError().contains("reached"))
                QVERIFY2(child.waitForReadyRead(60000), "the held read was never reached");
        }
        if (volumesBegun)
            QVERIFY2(!QDir(at("out"))
                          .entryList({".*.par2.partial"}, QDir::Files | QDir::Hidden)
                          .isEmpty(),
                     qPrintable(entries(at("out")).join(' ')));
        QVERIFY(::kill(static_cast<pid_t>(child.processId()), sig) == 0);
        if (!held.isEmpty()) child.write("go");
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 128 + sig);
        QCOMPARE(child.readAllStandardOutput(), QByteArray()); // no verdict on a part not read
        QCOMPARE(entries(at("out")), QStringList());
        QCOMPARE(readFile(at("movie.avi")), source);
    }

    // A split that fails at a part it can't create (a read-only file of that
    // name) removes the parts it wrote and leaves that file as it was, also
    // a split of standard input, whose first part waits under a hidden name.
    // Root could write it, so the program then runs as nobody.
    void failedSplitKeepsWhatItDidNotWrite_data() {
        QTest::addColumn<bool>("fromInput");
        QTest::addColumn<QString>("readOnly");
        QTest::newRow("a later part") << false << "movie.avi.002";
        QTest::newRow("standard input, the first part") << true << "movie.avi.001";
        QTest::newRow("standard input, a later part") << true << "movie.avi.002";
    }
    void failedSplitKeepsWhatItDidNotWrite() {
        QFETCH(bool, fromInput);
        QFETCH(QString, readOnly);
        QStringList wrapper;
        if (::geteuid() == 0) {
            if (QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("root writes a read-only file, and there is no setpriv to run as nobody");
            wrapper = QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
            QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x7777)));
        }
        writeFile(at(readOnly), "not a part");
        QVERIFY(
            QFile::setPermissions(at(readOnly), QFileDevice::ReadOther | QFileDevice::ReadOwner));
        const QStringList args =
            fromInput ? QStringList{"--split", "-", "--name", "movie.avi", "--size", "1MB"}
                      : QStringList{"--split", "movie.avi", "--size", "1MB"};
        const Result r = runProgram(dir, args, nullptr, wrapper,
                                    fromInput ? readFile(at("movie.avi")) : QByteArray());
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("Cannot create " + at(readOnly)), qPrintable(r.err));
        for (const QString& name : parts("movie.avi", 3))
            QCOMPARE(QFileInfo::exists(at(name)), name == readOnly);
        QCOMPARE(readFile(at(readOnly)), QByteArray("not a part"));
        QCOMPARE(entries(dir).filter(QRegularExpression("^\\.")), QStringList());
    }

    // On a terminal (standard input, output and error): standard error
    // carries the progress line, redrawn in place up to 100% and cleared
    // before the result; the joined bytes are not written there, nor is the
    // typing taken for a file to split.
    void terminal_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown"); // a pattern of what the terminal shows
        QTest::newRow("progress line")
            << QStringList{"--checksum", "large"} << 0
            << "\\r100%  20\\.0 MB of 20\\.0 MB  [0-9.]+ [KMG]?B/s  0:00 left\\x1b\\[K\\r\\x1b\\[K"
               "[0-9A-F]{8} [0-9]+ large\\r\\n$";
        QTest::newRow("joined bytes to the terminal")
            << QStringList{"--join", "chk.bin.001", "--into", "-"} << 2
            << "^tarvello-file-splitter: Not writing the joined bytes to a terminal: .*\\r\\n$";
        QTest::newRow("a split of the terminal's typing")
            << QStringList{"--split", "-", "--name", "typed.bin", "--size", "1KB"} << 2
            << "^tarvello-file-splitter: Not reading the file to split from a terminal: "
               ".*\\r\\n$";
    }
    void terminal() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, shown);
        if (args.contains("large")) makeFile(at("large"), 20 << 20, 3);
        std::vector<QByteArray> argv{QByteArray(PROGRAM)};
        for (const QString& arg : args)
            argv.push_back(arg.toUtf8());
        std::vector<char*> pointers;
        for (QByteArray& arg : argv)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        QVERIFY(pid >= 0);
        if (pid == 0) {
            unsetenv("DISPLAY");
            unsetenv("QT_QPA_PLATFORM");
            if (::chdir(QFile::encodeName(dir).constData()) == 0) execv(PROGRAM, pointers.data());
            _exit(127);
        }
        // What the terminal shows until the program ends; one that waits for
        // typing is ended after 20 s.
        QByteArray output;
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            pollfd ready{terminal, POLLIN, 0};
            if (::poll(&ready, 1, 200) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(terminal, buffer, sizeof buffer);
                if (n <= 0) break;
                output.append(buffer, n);
            } else if (waited.elapsed() > 20000) {
                ::kill(pid, SIGKILL);
                break;
            }
        }
        ::close(terminal);
        int result = 0;
        QCOMPARE(::waitpid(pid, &result, 0), pid);
        QVERIFY2(WIFEXITED(result) && WEXITSTATUS(result) == status, output.constData());
        QVERIFY2(QRegularExpression(shown).match(QString::fromLatin1(output)).hasMatch(),
                 output.constData());
        if (status == 0) QVERIFY(output.count('\r') > 3);
        QCOMPARE(entries(dir).filter("typed.bin"), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
