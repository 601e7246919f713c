// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the window and writes a screenshot of each panel and of the report
// dialog in both modes (with ImageMagick's import) into $TFS_SCREENSHOTS.
// Under Wayland (a headless Weston started with --debug) it writes two, taken
// with weston-screenshooter: a file loaded on the Split panel with a report
// over it, and the join panel's file dialog.
#include "gui/Application.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"
#include "gui/pages/JoinPage.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

namespace {

QString outDir;

void settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(15);
    }
}

void shoot(const QString& name) {
    settle();
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                       QStringLiteral("360x385+0+0"),
                       QDir(outDir).filePath(name + QStringLiteral(".png"))});
}

// Weston's screenshooter writes into the current folder under a name of its own.
void shootWayland(const QString& name) {
    settle();
    QTemporaryDir work;
    QProcess shooter;
    shooter.setWorkingDirectory(work.path());
    shooter.start(QStringLiteral("weston-screenshooter"), {});
    shooter.waitForFinished(10000);
    const QStringList taken = QDir(work.path()).entryList({QStringLiteral("*.png")});
    if (taken.isEmpty()) return;
    const QString target = QDir(outDir).filePath(name + QStringLiteral(".png"));
    QFile::remove(target);
    QFile::copy(QDir(work.path()).filePath(taken.constFirst()), target);
}

int wayland(MainWindow& window, ReportDialog& reportDialog) {
    seams().showModal = [](ReportDialog* d) {
        d->show();
        shootWayland(QStringLiteral("9-wayland"));
        d->done(0);
    };
    window.openGiven({QCoreApplication::applicationFilePath()});
    settle();
    reportDialog.report(
        {QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
         QStringLiteral("There is Not enough Free Space on drive  /media/usb-stick  to "
                        "complete operation")});
    // The join panel's file dialog, shot and closed while it is up.
    QTimer::singleShot(1000, [] {
        shootWayland(QStringLiteral("10-wayland-file-dialog"));
        if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    window.showJoinPage();
    window.joinPanel->choosePart();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    prepareApplication();
    outDir = qEnvironmentVariable("TFS_SCREENSHOTS", QStringLiteral("screenshots"));
    QDir().mkpath(outDir);
    MainWindow window;
    ReportDialog& reportDialog = *window.reportDialog();
    window.show();
    settle();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return wayland(window, reportDialog);
    window.move(0, 0);
    shoot(QStringLiteral("1-start"));
    window.showSplitPage();
    shoot(QStringLiteral("2-split"));
    window.showJoinPage();
    shoot(QStringLiteral("3-join"));
    window.showComparePage();
    shoot(QStringLiteral("4-compare"));
    window.showPresetsPage();
    shoot(QStringLiteral("5-presets"));
    window.showAboutPage();
    shoot(QStringLiteral("6-about"));
    window.leaveAboutPage();

    seams().showModal = [](ReportDialog* d) {
        d->show();
        shoot(d->joinAnywayButton->isVisible() ? QStringLiteral("8-dialog-choice")
                                               : QStringLiteral("7-dialog-report"));
        d->done(0);
    };
    reportDialog.report(
        {QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
         QStringLiteral("There is Not enough Free Space on drive  /media/usb-stick  to "
                        "complete operation")});
    reportDialog.joinAnywayButton->show();
    reportDialog.abortButton->show();
    reportDialog.okButton->hide();
    reportDialog.reportArea->addLine(QStringLiteral("        "));
    reportDialog.reportArea->addLine(QStringLiteral("             Missing Files:"));
    reportDialog.reportArea->addText(QStringLiteral("movie.avi.003 \r\n"));
    reportDialog.reportArea->show();
    reportDialog.showModal();
    return 0;
}
