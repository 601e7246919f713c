// Files that reach the window from the desktop: the program's argument (a file
// manager's "Open With") and files dropped on a panel. Each is loaded exactly
// as the panel's own file dialog would have chosen it, through that panel's
// handler, so that the checks, texts and refusals are the panel's.
#include "app/OpenedFile.h"
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

namespace {

// A file manager may hand over a file:// URL (%u) where a path was asked for.
QString localPath(const QString& argument) {
    const QUrl url(argument);
    return url.isLocalFile() ? url.toLocalFile() : argument;
}

} // namespace

void TForm1::openGiven(const QStringList& files) {
    if (files.isEmpty()) return;
    QTimer::singleShot(0, this, [this, files] {
        guarded([this, &files] {
            if (files.size() > 1)
                refuseOpening(refusalReport(QLatin1String(refusal::OneFile)));
            else
                openInFittingPanel(localPath(files.constFirst()));
        });
    });
}

// The fields take no drops: a path dropped on the part size would bypass its
// digit filter, and the window's drop zones lie beneath them.
void TForm1::prepareDrops() {
    setAcceptDrops(true);
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->setAcceptDrops(false);
}

bool TForm1::operationRunning() const {
    return splitEngineRunning_ || presetSplitRunning_ || joinRunning_ || verifyRunning_ ||
           (G.Form3 && G.Form3->isVisible());
}

TForm1::DropZone TForm1::dropZoneAt(const QPoint& pos) const {
    // The topmost visible panel is the one seen.
    if (GroupBox6->isVisible() || GroupBox5->isVisible()) return DropZone::None;
    if (GroupBox4->isVisible()) {
        // The checksum's half ends between its memo and Compare Files.
        const int border = (suiMemo1->geometry().bottom() + BitBtn4->geometry().top()) / 2;
        return GroupBox4->mapFrom(this, pos).y() <= border ? DropZone::Checksum : DropZone::Compare;
    }
    if (GroupBox3->isVisible()) return DropZone::Join;
    if (GroupBox2->isVisible()) return DropZone::Split;
    return GroupBox1->isVisible() ? DropZone::Start : DropZone::None;
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && !operationRunning() &&
        dropZoneAt(e->position().toPoint()) != DropZone::None)
        e->acceptProposedAction();
    else
        e->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* e) {
    if (!operationRunning() && dropZoneAt(e->position().toPoint()) != DropZone::None)
        e->acceptProposedAction();
    else
        e->ignore();
}

void TForm1::dropEvent(QDropEvent* e) {
    const DropZone zone = dropZoneAt(e->position().toPoint());
    if (!e->mimeData()->hasUrls() || operationRunning() || zone == DropZone::None) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // The source's drag ends before anything modal is shown.
    const QList<QUrl> urls = e->mimeData()->urls();
    QTimer::singleShot(0, this, [this, zone, urls] {
        if (!operationRunning()) guarded([&] { takeDrop(zone, urls); });
    });
}

void TForm1::takeDrop(DropZone zone, const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return refuseOpening(refusalReport(QLatin1String(refusal::NotLocal)));
        paths << url.toLocalFile();
    }
    const int wanted = zone == DropZone::Compare ? 2 : 1;
    if (paths.size() != wanted)
        return refuseOpening(
            refusalReport(QLatin1String(wanted == 2 ? refusal::TwoFiles : refusal::OneFile)));
    for (const QString& path : paths) {
        const QStringList unusable = unusableFileReport(path);
        if (!unusable.isEmpty()) return refuseOpening(unusable);
    }
    switch (zone) {
    case DropZone::Start:
        return openInFittingPanel(paths.constFirst());
    case DropZone::Split:
        return loadGiven(OpenDialog1, paths, &TForm1::BitBtn1Click);
    case DropZone::Join: {
        // A part list or check file stands for its set's first part.
        const OpenedFile opened = classifyOpened(paths.constFirst());
        return loadGiven(OpenDialog2,
                         {opened.panel == OpenedFile::Join ? opened.path : paths.constFirst()},
                         &TForm1::suiImageButton10Click);
    }
    case DropZone::Checksum:
        return loadGiven(OpenDialog1, paths, &TForm1::BitBtn3Click);
    case DropZone::Compare:
        return loadGiven(OpenDialog1, paths, &TForm1::BitBtn4Click);
    case DropZone::None:
        return;
    }
}

void TForm1::openInFittingPanel(const QString& path) {
    const OpenedFile opened = classifyOpened(path);
    if (opened.panel == OpenedFile::Refused) return refuseOpening(opened.report);
    const bool join = opened.panel == OpenedFile::Join;
    join ? suiImageButton1Click() : suiImageButton3Click();
    try {
        if (join)
            loadGiven(OpenDialog2, {opened.path}, &TForm1::suiImageButton10Click);
        else
            loadGiven(OpenDialog1, {opened.path}, &TForm1::BitBtn1Click);
    } catch (...) {
        // A file that can't be loaded puts the start panel back; the error
        // goes on to the message box.
        join ? BitBtn11Click() : BitBtn10Click();
        throw;
    }
}

void TForm1::loadGiven(FileOpenDialog& dialog, const QStringList& paths,
                       void (TForm1::*handler)()) {
    dialog.Given = paths;
    try {
        (this->*handler)();
    } catch (...) {
        dialog.Given.clear();
        throw;
    }
    dialog.Given.clear();
}

void TForm1::refuseOpening(const QStringList& report) {
    if (G.Form3) G.Form3->Report(report);
}
