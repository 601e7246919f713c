// Starts the window and writes a screenshot of each panel and of the report
// dialog in both modes (with ImageMagick's import) into $TFS_SCREENSHOTS.
// Under Wayland (a headless Weston started with --debug) it writes two, taken
// with weston-screenshooter: a file loaded on the Split panel with a report
// over it, and the join panel's file dialog.
#include "core/ProgramState.h"
#include "gui/Application.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"

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

int wayland(MainWindow& form1, ReportDialog& form3) {
    seams().showModal = [](ReportDialog* d) {
        d->show();
        shootWayland(QStringLiteral("9-wayland"));
        d->done(0);
    };
    form1.openGiven({QCoreApplication::applicationFilePath()});
    settle();
    form3.report({QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
                  QStringLiteral("There is Not enough Free Space on drive  /media/usb-stick  to "
                                 "complete operation")});
    // The join panel's file dialog, shot and closed while it is up.
    QTimer::singleShot(1000, [] {
        shootWayland(QStringLiteral("10-wayland-file-dialog"));
        if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    form1.showJoinPage();
    form1.choosePart();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    prepareApplication();
    outDir = qEnvironmentVariable("TFS_SCREENSHOTS", QStringLiteral("screenshots"));
    QDir().mkpath(outDir);
    MainWindow form1;
    ReportDialog form3(&form1);
    form1.show();
    settle();
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return wayland(form1, form3);
    form1.move(0, 0);
    shoot(QStringLiteral("1-start"));
    form1.showSplitPage();
    shoot(QStringLiteral("2-split"));
    form1.showJoinPage();
    shoot(QStringLiteral("3-join"));
    form1.showComparePage();
    shoot(QStringLiteral("4-compare"));
    form1.showPresetsPage();
    shoot(QStringLiteral("5-presets"));
    form1.showAboutPage();
    shoot(QStringLiteral("6-about"));
    form1.leaveAboutPage();

    seams().showModal = [](ReportDialog* d) {
        d->show();
        shoot(d->joinAnywayButton->isVisible() ? QStringLiteral("8-dialog-choice")
                                               : QStringLiteral("7-dialog-report"));
        d->done(0);
    };
    form3.report({QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
                  QStringLiteral("There is Not enough Free Space on drive  /media/usb-stick  to "
                                 "complete operation")});
    form3.loadSourceButton->show();
    form3.joinButton->show();
    form3.OKBtn->hide();
    form3.checksumResults->addLine(QStringLiteral("        "));
    form3.checksumResults->addLine(QStringLiteral("             Missing Files:"));
    form3.checksumResults->addText(QStringLiteral("movie.avi.003 \r\n"));
    form3.checksumResults->show();
    form3.showModal();
    return 0;
}
