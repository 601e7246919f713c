// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile recovery files beside a set made by Debian's par2, met by the real
// program's --verify, --repair and --join: a named pipe behind a link named as
// a volume. Every run is watched: it must end by itself, or on the SIGTERM it
// is sent, else the watchdog kills it and the row fails.
#include "common/TestUtil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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
                   int patience = 30000) {
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
        for (const char* mode : {"--verify", "--repair", "--join"}) {
            const bool join = QByteArray(mode) == "--join";
            QTest::addRow("a pipe behind a link named as a volume, %s", mode)
                << "pipe" << mode << -1 << 0 << (join ? "" : "not a regular file");
        }
    }
    void hostileFiles() {
        QFETCH(QString, how);
        QFETCH(QString, mode);
        QFETCH(int, termAfter);
        QFETCH(int, status);
        QFETCH(QString, told);
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
        }
        const Watched run = runWatched(dir, {mode, "movie.avi.001"}, termAfter);
        QVERIFY2(run.ended, "it hung: the watchdog killed it");
        QVERIFY2(run.status == status, qPrintable(QString::number(run.status) + ": " + run.err));
        QVERIFY2(run.err.contains(told), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestHostileRecovery)
#include "tst_hostilerecovery.moc"
