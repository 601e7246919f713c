// Starts the window and writes a screenshot of each panel and of the report
// dialog in both modes (with ImageMagick's import) into $TFS_SCREENSHOTS.
#include "app/Application.h"
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QThread>

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
                      {QStringLiteral("-window"), QStringLiteral("root"),
                       QStringLiteral("-crop"), QStringLiteral("360x385+0+0"),
                       QDir(outDir).filePath(name + QStringLiteral(".png"))});
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    prepareApplication();
    outDir = qEnvironmentVariable("TFS_SCREENSHOTS", QStringLiteral("screenshots"));
    QDir().mkpath(outDir);
    TForm1 form1;
    TForm3 form3(&form1);
    form1.show();
    settle();
    form1.move(0, 0);
    shoot(QStringLiteral("1-start"));
    form1.suiImageButton3Click();
    shoot(QStringLiteral("2-split"));
    form1.suiImageButton1Click();
    shoot(QStringLiteral("3-join"));
    form1.suiImageButton2Click();
    shoot(QStringLiteral("4-compare"));
    form1.suiImageButton4Click();
    shoot(QStringLiteral("5-presets"));
    form1.suiImageButton9Click();
    shoot(QStringLiteral("6-about"));
    form1.Image4Click();

    seams().showModal = [](TForm3* d) {
        d->show();
        shoot(d->BitBtn1->isVisible() ? QStringLiteral("8-dialog-choice")
                                      : QStringLiteral("7-dialog-report"));
        d->done(0);
    };
    form3.Report({QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "),
                  QStringLiteral("There is Not enough Free Space on drive  /media/usb-stick  to "
                                 "complete operation")});
    form3.BitBtn1->show();
    form3.BitBtn2->show();
    form3.OKBtn->hide();
    form3.suiMemo1->addLine(QStringLiteral("        "));
    form3.suiMemo1->addLine(QStringLiteral("             Missing Files:"));
    form3.suiMemo1->addText(QStringLiteral("movie.avi.003 \r\n"));
    form3.suiMemo1->show();
    form3.ShowModal();
    return 0;
}
