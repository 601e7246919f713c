// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile recovery files beside a set made by Debian's par2, met by the real
// program's --verify, --repair and --join: a named pipe behind a link named as
// a volume, sizes no set can hold, a packet as long as a huge sparse volume,
// a volume of bogus headers; and sets at the limit of what one repair
// rebuilds. Every run is watched: it must end by itself, or on the SIGTERM it
// is sent, else the watchdog kills it and the row fails; its peak resident
// size (from wait4) stays bounded.
#include "common/TestUtil.h"
#include "recovery/Packets.h"
#include "recovery/RecoverySet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tfs;
using namespace testutil;

namespace {

struct Watched {
    bool ended = false; // by itself or on the SIGTERM; false: the watchdog killed it
    int status = -1;    // its exit status
    qint64 peakKiB = 0; // its largest resident size
    QString out, err;   // what it wrote on standard output and error
};

// Runs the program in `folder` with no display and nothing on its standard
// input. With `termAfter` >= 0 it is sent SIGTERM that many milliseconds
// after its start. Still running `patience` milliseconds after its start (or
// after the SIGTERM), it is killed: it hangs.
Watched runWatched(const QString& folder, const QStringList& args, int termAfter,
                   int patience = 60000) {
    std::vector<QByteArray> words{QByteArray(PROGRAM)};
    for (const QString& a : args)
        words.push_back(QFile::encodeName(a));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    std::vector<QByteArray> vars;
    for (const QString& v : env.toStringList())
        vars.push_back(v.toLocal8Bit());
    std::vector<char*> argv, envp;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    for (QByteArray& v : vars)
        envp.push_back(v.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const QByteArray where = QFile::encodeName(folder);
    const QByteArray errPath = QFile::encodeName(folder + "../stderr.txt");
    const QByteArray outPath = QFile::encodeName(folder + "../stdout.txt");

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int none = ::open("/dev/null", O_RDONLY);
        if (::chdir(where.constData()) != 0 || err < 0 || out < 0 || none < 0) ::_exit(126);
        ::dup2(none, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    Watched w;
    QElapsedTimer clock;
    clock.start();
    qint64 deadline = patience;
    bool termSent = false;
    for (;;) {
        int st = 0;
        struct rusage usage {};
        if (::wait4(pid, &st, WNOHANG, &usage) == pid) {
            w.ended = true;
            w.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            w.peakKiB = usage.ru_maxrss;
            break;
        }
        if (termAfter >= 0 && !termSent && clock.elapsed() >= termAfter) {
            ::kill(pid, SIGTERM);
            termSent = true;
            deadline = clock.elapsed() + patience;
        }
        if (clock.elapsed() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &st, 0);
            break;
        }
        ::usleep(10000);
    }
    w.err = QString::fromLocal8Bit(readFile(QFile::decodeName(errPath)));
    w.out = QString::fromLocal8Bit(readFile(QFile::decodeName(outPath)));
    return w;
}

// The set's ID, from the first packet of a recovery file.
Digest setIdOf(const QString& par2File) {
    Digest id{};
    const QByteArray bytes = readFile(par2File).left(64);
    if (bytes.size() == 64) std::memcpy(id.data(), bytes.constData() + 32, 16);
    return id;
}

// A recovery slice's header claiming `length` bytes, with a wrong packet MD5.
QByteArray sliceHeader(const Digest& setId, qint64 length) {
    return par2::header(length, Digest{}, setId, par2::Type::Recovery);
}

// The set's index replaced by one that claims slices of `sliceSize` bytes
// over the same files (one checksum each), its volumes removed.
void claimSliceSize(const QString& dir, quint64 sliceSize) {
    const RecoverySet set = readRecoverySet(recoveryFilesFor(dir + "movie.avi.par2"));
    std::vector<Digest> ids;
    QByteArray descriptions;
    for (const par2::FileEntry& f : set.files)
        ids.push_back(f.id);
    const QByteArray body = par2::mainBody(sliceSize, ids);
    const Digest setId = Md5::of(body);
    QByteArray index = par2::packet(setId, par2::Type::Main, body);
    for (par2::FileEntry f : set.files) {
        f.slices = {par2::SliceCheck{}};
        index += par2::packet(setId, par2::Type::FileDesc, par2::fileDescBody(f)) +
                 par2::packet(setId, par2::Type::Ifsc, par2::ifscBody(f));
    }
    for (const QString& name : QDir(dir).entryList({"*.par2"}))
        QFile::remove(dir + name);
    writeFile(dir + "movie.avi.par2", index);
}

// An index and a volume of `recovery` slices over the parts in `dir`, in
// slices of 4 bytes: thousands of slices from a few small parts. The
// recovery slices hold no computed data (only their count matters here).
void writeSmallSlices(const QString& dir, const QStringList& names, quint32 recovery) {
    constexpr qint64 S = 4;
    std::vector<par2::FileEntry> files;
    for (const QString& name : names) {
        const QByteArray bytes = readFile(dir + name);
        par2::FileEntry f;
        f.name = name.toUtf8();
        f.length = quint64(bytes.size());
        f.md5 = Md5::of(bytes);
        f.md5Head = Md5::of(bytes.left(16384));
        f.id = par2::fileIdOf(f.md5Head, f.length, f.name);
        for (qint64 at = 0; at < bytes.size(); at += S) {
            const QByteArray slice = bytes.mid(at, S).leftJustified(S, '\0');
            f.slices.push_back({Md5::of(slice), zlibCrc32(slice)});
        }
        files.push_back(f);
    }
    std::sort(files.begin(), files.end(), [](const par2::FileEntry& a, const par2::FileEntry& b) {
        return par2::idLess(a.id, b.id);
    });
    std::vector<Digest> ids;
    for (const par2::FileEntry& f : files)
        ids.push_back(f.id);
    const QByteArray main = par2::mainBody(S, ids);
    const Digest setId = Md5::of(main);
    QByteArray index = par2::packet(setId, par2::Type::Main, main);
    for (const par2::FileEntry& f : files)
        index += par2::packet(setId, par2::Type::FileDesc, par2::fileDescBody(f)) +
                 par2::packet(setId, par2::Type::Ifsc, par2::ifscBody(f));
    writeFile(dir + "movie.avi.par2", index);
    QByteArray volume;
    for (quint32 e = 0; e < recovery; ++e) {
        QByteArray body;
        par2::appendU32(body, e);
        volume += par2::packet(setId, par2::Type::Recovery, body + "data");
    }
    writeFile(dir + QStringLiteral("movie.avi.vol0+%1.par2").arg(recovery), volume);
}

} // namespace

class TestHostileRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("par2")).isEmpty())
            QSKIP("Debian's par2 is not installed (tools/install-deps)");
    }

    // Each hostile file beside a whole set of three parts with par2's own
    // recovery data; the run ends by itself (or on its SIGTERM) with the
    // status and the words expected.
    void hostileFiles_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("termAfter");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told");
        QTest::addColumn<qint64>("mostKiB"); // of its peak resident size; 0: not measured
        for (const char* mode : {"--verify", "--repair", "--join"}) {
            const bool join = QByteArray(mode) == "--join";
            QTest::addRow("a pipe behind a link named as a volume, %s", mode)
                << "pipe" << mode << -1 << 0 << (join ? "" : "not a regular file") << 0LL;
            // Today's files say no more than that; SIGTERM ends it if not.
            QTest::addRow("a slice size of 2^62 bytes, %s", mode)
                << "slice" << mode << 1000 << (join ? 0 : 2) << "slice size of" << 0LL;
            QTest::addRow("a packet as long as a sparse 64 GiB volume, %s", mode)
                << "sparse" << mode << 1000 << 128 + SIGTERM << "" << 0LL;
        }
        QTest::addRow("a 256 MiB volume of bogus slice headers, --verify")
            << "bogus"
            << "--verify" << -1 << 0 << "no valid packet" << (128LL << 10);
    }
    void hostileFiles() {
        QFETCH(QString, how);
        QFETCH(QString, mode);
        QFETCH(int, termAfter);
        QFETCH(int, status);
        QFETCH(QString, told);
        QFETCH(qint64, mostKiB);
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        QStringList names;
        for (int i = 1; i <= 3; ++i) {
            names << QStringLiteral("movie.avi.00%1").arg(i);
            makeFile(dir + names.last(), i == 3 ? 12345 : 50000, quint32(i));
        }
        QProcess par2;
        par2.setWorkingDirectory(dir);
        par2.start("par2", QStringList{"create", "-q", "-c2", "movie.avi.par2"} + names);
        QVERIFY(par2.waitForFinished(120000) && par2.exitCode() == 0);

        if (how == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(dir + "../pipe").constData(), 0600), 0);
            QVERIFY(QFile::link("../pipe", dir + "movie.avi.vol7+1.par2"));
        } else if (how == "slice") {
            claimSliceSize(dir, quint64(1) << 62);
        } else if (how == "sparse") {
            QFile volume(dir + "movie.avi.vol7+1.par2");
            QVERIFY(volume.open(QIODevice::WriteOnly));
            const qint64 size = 64LL << 30;
            volume.write(sliceHeader(setIdOf(dir + "movie.avi.par2"), size));
            QVERIFY(volume.resize(size));
        } else if (how == "bogus") {
            // The smallest slice packets a header can claim, one after another.
            QFile volume(dir + "movie.avi.vol7+1.par2");
            QVERIFY(volume.open(QIODevice::WriteOnly));
            const QByteArray packet = sliceHeader(setIdOf(dir + "movie.avi.par2"), 72) + "12345678";
            const QByteArray chunk = packet.repeated((1 << 20) / packet.size());
            for (qint64 written = 0; written < (256LL << 20); written += chunk.size())
                QCOMPARE(volume.write(chunk), chunk.size());
        }
        const Watched run = runWatched(dir, {mode, "movie.avi.001"}, termAfter);
        QVERIFY2(run.ended, "it hung: the watchdog killed it");
        QVERIFY2(run.status == status, qPrintable(QString::number(run.status) + ": " + run.err));
        QVERIFY2(run.err.contains(told), qPrintable(run.err));
        if (mostKiB > 0)
            QVERIFY2(run.peakKiB <= mostKiB,
                     qPrintable(QStringLiteral("%1 KiB at its peak").arg(run.peakKiB)));
    }

    // A repair of 4,000 damaged slices solves a system of 4,000 equations (a
    // while): SIGTERM meanwhile ends it, and nothing is written.
    void repairStoppedWhileSolving() {
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        QStringList names;
        for (int i = 1; i <= 6; ++i) {
            names << QStringLiteral("movie.avi.00%1").arg(i);
            makeFile(dir + names.last(), 4000, quint32(i));
        }
        writeSmallSlices(dir, names, 5000);
        for (const QString& name : names.mid(0, 4))
            makeFile(dir + name, 4000, 99);
        const QStringList before = entries(dir);
        const QByteArray damaged = readFile(dir + names[0]);
        const Watched run = runWatched(dir, {"--repair", "movie.avi.006"}, 1500);
        QVERIFY2(run.ended, "it hung: the watchdog killed it");
        QVERIFY2(run.status == 128 + SIGTERM, qPrintable(run.err));
        QCOMPARE(entries(dir), before);
        for (const QString& name : names.mid(0, 4))
            QCOMPARE(readFile(dir + name), damaged);
    }

    // Recovery slices whose data is not what their checksums promise (their
    // packets intact): the parts rebuilt from them don't match and are left
    // as they were, named in one sentence that agrees with their number.
    void rebuiltPartsThatDontMatch_data() {
        QTest::addColumn<int>("damaged");
        QTest::addColumn<QString>("told");
        QTest::newRow("one part") << 1
                                  << "Rebuilt movie.avi.001 does not match its recorded MD5: left "
                                     "as it was";
        QTest::newRow("two parts") << 2
                                   << "Rebuilt movie.avi.001, movie.avi.002 do not match their "
                                      "recorded MD5s: left as they were";
    }
    void rebuiltPartsThatDontMatch() {
        QFETCH(int, damaged);
        QFETCH(QString, told);
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        QStringList names;
        for (int i = 1; i <= 3; ++i) {
            names << QStringLiteral("movie.avi.00%1").arg(i);
            makeFile(dir + names.last(), 400, quint32(i));
        }
        writeSmallSlices(dir, names, 10);
        QMap<QString, QByteArray> before;
        for (const QString& name : names.mid(0, damaged)) {
            QFile part(dir + name);
            QVERIFY(part.open(QIODevice::ReadWrite) && part.seek(100) && part.write("XYZ") == 3);
            part.close();
            before.insert(name, readFile(dir + name));
        }
        const QStringList entriesBefore = entries(dir);
        const Watched run = runWatched(dir, {"--repair", "movie.avi.003"}, -1);
        QVERIFY2(run.ended, "it hung: the watchdog killed it");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(told), qPrintable(run.err));
        QCOMPARE(entries(dir), entriesBefore);
        for (const QString& name : before.keys())
            QCOMPARE(readFile(dir + name), before[name]);
    }

    // More slices missing or damaged than one repair rebuilds, with recovery
    // slices enough for them: --verify never says they can be repaired,
    // --repair and the join say so, before reading the parts when whole
    // parts are missing (no part told), and nothing is written.
    void beyondOneRepair_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("partsTold");
        for (const char* how : {"missing", "overwritten"}) {
            const bool missing = QByteArray(how) == "missing";
            QTest::addRow("5 parts %s, --verify", how) << how << "--verify" << true;
            QTest::addRow("5 parts %s, --repair", how) << how << "--repair" << !missing;
            QTest::addRow("5 parts %s, --join", how) << how << "--join" << false;
        }
    }
    void beyondOneRepair() {
        QFETCH(QString, how);
        QFETCH(QString, mode);
        QFETCH(bool, partsTold);
        std::unique_ptr<QTemporaryDir> tmp;
        const QString dir = freshPartsFolder(tmp);
        QStringList names;
        for (int i = 1; i <= 6; ++i) {
            names << QStringLiteral("movie.avi.00%1").arg(i);
            makeFile(dir + names.last(), 4000, quint32(i));
        }
        writeSmallSlices(dir, names, 5000); // 6000 slices, 5000 recovery slices
        for (const QString& name : names.mid(0, 5))
            if (how == "missing")
                QVERIFY(QFile::remove(dir + name));
            else
                makeFile(dir + name, 4000, 99);
        const QMap<QString, QByteArray> before = [&] {
            QMap<QString, QByteArray> files;
            for (const QString& name : filesIn(dir))
                files.insert(name, readFile(dir + name));
            return files;
        }();
        const Watched run = runWatched(dir, {mode, "movie.avi.006"}, -1);
        QVERIFY2(run.ended, "it hung: the watchdog killed it");
        QVERIFY2(run.err.contains("The recovery data cannot repair the set: 5000 blocks are "
                                  "missing, more than the 4096 that one repair rebuilds"),
                 qPrintable(run.err));
        QVERIFY2(!run.err.contains("can be repaired"), qPrintable(run.err));
        QCOMPARE(run.out.contains("movie.avi.006 OK"), partsTold);
        if (mode != "--join") {
            QCOMPARE(run.status, 1);
            for (const QString& name : filesIn(dir))
                QCOMPARE(readFile(dir + name), before.value(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileRecovery)
#include "tst_hostilerecovery.moc"
