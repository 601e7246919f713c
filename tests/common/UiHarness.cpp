// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/UiHarness.h"

#include "core/FreeSpace.h"
#include "gui/Application.h"
#include "gui/MainWindow.h"
#include "gui/RecoverySetting.h"
#include "gui/ReportDialog.h"
#include "gui/Seams.h"
#include "gui/Widgets.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace testutil {

Ui::Ui() {
    static bool prepared = false;
    if (!prepared) {
        prepareApplication();
        // The window's settings live in a folder of this test process.
        static QTemporaryDir settingsFolder;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
        prepared = true;
    }
    programSettings().clear(); // every window starts from the settings of a first run
    resetSeams();
    setFreeSpaceQuery({});
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
    s.showModal = [this](ReportDialog* d) {
        d->show();
        reports << d->reportArea->lines();
        if (answer)
            answer(d);
        else if (d->okButton->isVisible())
            press(d, "okButton");
        if (d->isVisible()) d->done(0); // an answer that left it open: closed by the window system
    };
    form = std::make_unique<MainWindow>();
    dialog = form->reportDialog();
    form->show();
}

Ui::~Ui() {
    form.reset();
    resetSeams();
    setFreeSpaceQuery({});
}

void Ui::press(ReportDialog* dialog, const char* buttonName) {
    auto* button = dialog->findChild<QPushButton*>(QString::fromLatin1(buttonName));
    QTest::mouseClick(button, Qt::LeftButton);
}

void click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }

bool drop(MainWindow* form, QWidget* at, const QList<QUrl>& urls) {
    const QPoint pos = at->mapTo(form, at->rect().center());
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form, &dropped);
    QCoreApplication::processEvents(); // the load runs once the drag has ended
    return dropped.isAccepted();
}

bool drop(MainWindow* form, QWidget* at, const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    return drop(form, at, urls);
}

void during(QObject* owner, std::function<bool()> when, std::function<void()> action) {
    auto* timer = new QTimer(owner);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, when, action] {
        if (!when()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

} // namespace testutil
