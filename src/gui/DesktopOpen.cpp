// SPDX-License-Identifier: GPL-3.0-or-later
// Files that reach the window from the desktop: the program's argument (a file
// manager's "Open With") and files dropped on a panel. Each is loaded exactly
// as the panel's own file dialog would have chosen it, through that panel's
// handler, so that the checks, texts and refusals are the panel's.
#include "gui/MainWindow.h"
#include "gui/OpenedFile.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"

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

void MainWindow::openGiven(const QStringList& files) {
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
void MainWindow::prepareDrops() {
    setAcceptDrops(true);
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->setAcceptDrops(false);
}

// The pages tell when their operations start and end; the report dialog is
// up during one, or over a refusal.
bool MainWindow::operationRunning() const {
    return operationsRunning_ > 0 || reportDialog_->isVisible();
}

MainWindow::DropZone MainWindow::dropZoneAt(const QPoint& pos) const {
    // The topmost visible panel is the one seen.
    if (aboutPanel->isVisible() || presetsPanel->isVisible()) return DropZone::None;
    if (comparePanel->isVisible()) {
        // The checksum's half ends between its memo and Compare Files.
        const int border = (comparePanel->checksumResults->geometry().bottom() +
                            comparePanel->compareButton->geometry().top()) /
                           2;
        return comparePanel->mapFrom(this, pos).y() <= border ? DropZone::Checksum
                                                              : DropZone::Compare;
    }
    if (joinPanel->isVisible()) return DropZone::Join;
    if (splitPanel->isVisible()) return DropZone::Split;
    return startPanel->isVisible() ? DropZone::Start : DropZone::None;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && !operationRunning() &&
        dropZoneAt(e->position().toPoint()) != DropZone::None)
        e->acceptProposedAction();
    else
        e->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* e) {
    if (!operationRunning() && dropZoneAt(e->position().toPoint()) != DropZone::None)
        e->acceptProposedAction();
    else
        e->ignore();
}

void MainWindow::dropEvent(QDropEvent* e) {
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

void MainWindow::takeDrop(DropZone zone, const QList<QUrl>& urls) {
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
        return loadGiven(sourceDialog, paths, [this] { splitPanel->chooseSource(); });
    case DropZone::Join: {
        // A part list or check file stands for its set's first part.
        const OpenedFile opened = classifyOpened(paths.constFirst());
        return loadGiven(partDialog,
                         {opened.panel == OpenedFile::Join ? opened.path : paths.constFirst()},
                         [this] { joinPanel->choosePart(); });
    }
    case DropZone::Checksum:
        return loadGiven(sourceDialog, paths, [this] { comparePanel->startChecksum(); });
    case DropZone::Compare:
        return loadGiven(sourceDialog, paths, [this] { comparePanel->startCompare(); });
    case DropZone::None:
        return;
    }
}

void MainWindow::openInFittingPanel(const QString& path) {
    const OpenedFile opened = classifyOpened(path);
    if (opened.panel == OpenedFile::Refused) return refuseOpening(opened.report);
    const bool join = opened.panel == OpenedFile::Join;
    join ? showJoinPage() : showSplitPage();
    try {
        if (join)
            loadGiven(partDialog, {opened.path}, [this] { joinPanel->choosePart(); });
        else
            loadGiven(sourceDialog, {opened.path}, [this] { splitPanel->chooseSource(); });
    } catch (...) {
        // A file that can't be loaded puts the start panel back; the error
        // goes on to the message box.
        join ? leaveJoinPage() : leaveSplitPage();
        throw;
    }
}

void MainWindow::loadGiven(FileOpenDialog& dialog, const QStringList& paths,
                           const std::function<void()>& handler) {
    dialog.setGivenFiles(paths);
    try {
        handler();
    } catch (...) {
        dialog.setGivenFiles({});
        throw;
    }
    dialog.setGivenFiles({});
}

void MainWindow::refuseOpening(const QStringList& report) { reportDialog_->report(report); }
