#include "common/UiHarness.h"

#include "app/Application.h"
#include "core/ProgramState.h"
#include "app/Seams.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/FreeSpace.h"

#include <QPushButton>
#include <QTimer>
#include <QTest>

namespace testutil {

Ui::Ui() {
    static bool prepared = false;
    if (!prepared) {
        prepareApplication();
        prepared = true;
    }
    resetSeams();
    setFreeSpaceQuery({});
    G = ProgramState();
    Seams& s = seams();
    s.openFile = [this](QWidget*, const QString& title, const QString&) {
        fileDialogTitles << title;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    };
    s.browseFolder = [this](QWidget*, const QString& title, const QString&) {
        folderDialogTitles << title;
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    };
    s.openUrl = [this](const QUrl& url) { opened << url; };
    s.showError = [this](QWidget*, const QString& text) { errors << text; };
    s.showModal = [this](TForm3* d) {
        d->show();
        reports << d->suiMemo1->lines();
        if (answer)
            answer(d);
        else if (d->OKBtn->isVisible())
            press(d, "OKBtn");
        if (d->isVisible())
            d->done(0); // an answer that left it open: closed by the window system
    };
    form = std::make_unique<TForm1>();
    dialog = std::make_unique<TForm3>(form.get());
    form->show();
}

Ui::~Ui() {
    dialog.reset();
    form.reset();
    resetSeams();
    setFreeSpaceQuery({});
}

void Ui::press(TForm3* dialog, const char* buttonName) {
    auto* button = dialog->findChild<QPushButton*>(QString::fromLatin1(buttonName));
    QTest::mouseClick(button, Qt::LeftButton);
}

void click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }

void during(QObject* owner, std::function<bool()> when, std::function<void()> action) {
    auto* timer = new QTimer(owner);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, when, action] {
        if (!when())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

} // namespace testutil
