// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Application.h"

#include "gui/Accessibility.h"
#include "gui/MainWindow.h"
#include "gui/Skin.h"

#include <QProxyStyle>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Tooltips (the full paths of the path fields) appear 5 ms after the pointer rests.
class WindowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return 5;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        MainWindow::showError(QString::fromStdString(e.what()));
    } catch (...) {
        MainWindow::showError(QStringLiteral("Unknown error"));
    }
    return false;
}

// The artwork is compiled into the window library; a static library's
// resources are registered explicitly.
static void registerArtwork() { Q_INIT_RESOURCE(art); }

void prepareApplication() {
    registerArtwork();
    QApplication::setApplicationName(QStringLiteral("Tarvello File Splitter"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvello File Splitter"));
    QApplication::setDesktopFileName(QStringLiteral("tarvello-file-splitter"));
    QApplication::setStyle(new WindowStyle);
    installAccessibility();
    skin::installFonts();
    QApplication::setFont(skin::windowFont());
}

#ifdef Q_OS_UNIX
namespace {

// The signal handler only writes the signal's number into this pipe; the
// event loop reads it.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int sig) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    errno = saved;
}

} // namespace

void closeOnTerminationSignals(MainWindow* window) {
    if (signalPipe[0] < 0) {
        if (::pipe(signalPipe) != 0) return;
        for (int fd : signalPipe)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        unsigned char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1) return;
        // One is enough: the program is ending.
        notifier->setEnabled(false);
        window->closeByProgram();
        QCoreApplication::exit(128 + number);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        // One that was ignored when the program started (nohup) stays ignored.
        struct sigaction before {};
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
}
#else
void closeOnTerminationSignals(MainWindow*) {}
#endif
