// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile recovery files beside a set made by Debian's par2, met by the real
// program's --verify, --repair and --join: a named pipe behind a link named as
// a volume, sizes no set can hold, a packet as long as a huge sparse volume,
// a volume of bogus headers. Every run is watched: it must end by itself, or
// on the SIGTERM it is sent, else the watchdog kills it and the row fails; its
// peak resident size (from wait4) stays bounded.
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
    QString err;        // what it wrote on standard error
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

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int none = ::open("/dev/null", O_RDWR);
        if (::chdir(where.constData()) != 0 || err < 0 || none < 0) ::_exit(126);
        ::dup2(none, 0);
        ::dup2(none, 1);
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
};

QTEST_GUILESS_MAIN(TestHostileRecovery)
#include "tst_hostilerecovery.moc"
