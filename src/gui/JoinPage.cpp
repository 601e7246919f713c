// The join panel: opening and leaving it, loading a part, the destination
// folder, Cancel, Undo, "Run Joined and Exit", the output-folder picture, the
// two path fields, the button groups, the file-type icon, the panel's step of
// the close request and its reset after "Abort". The Join button itself is in
// JoinCommand.cpp.
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/PathShortening.h"
#include "gui/Widgets.h"
#include "join/JoinEngine.h"
#include "split/Naming.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>

using namespace tfs;

namespace {

// The size at which the file-type icon is drawn: the desktop's large icon.
constexpr int IconSide = 32;

// The icon of a file's type, found by its name (the file need not exist yet):
// the icon theme's picture for its MIME type, else the file icon provider's;
// a null icon when neither has one.
QIcon fileTypeIcon(const QString& path) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    const QFileIconProvider provider;
    if (icon.isNull()) icon = provider.icon(QFileInfo(path));
    if (icon.isNull()) icon = provider.icon(QAbstractFileIconProvider::File);
    return icon;
}

// The end of Cancel and Undo: the gauge runs down visibly to 0, the output's
// controls go, the hint comes back and the panel's buttons are enabled.
void settleAfterStop(MainWindow* f) {
    f->joinGauge->stepDownToZero();
    f->joinGauge->setProgress(0);
    f->runJoinedButton->setVisible(false);
    f->runJoinedLabel->setVisible(false);
    f->outputIcon->setVisible(false);
    f->joinHint->setVisible(true);
    f->setJoinButtonsEnabled(true);
}

} // namespace

// ---------------------------------------------------------------- navigation

void MainWindow::showJoinPage() {
    setJoinCommandsEnabled(false);
    chosenPartField->clear();
    joinDestinationField->clear();
    joinGauge->setProgress(0);
    joinHint->setVisible(true);
    showPage(joinPanel);
    outputIcon->setVisible(false);
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    loadPartButton->setEnabled(true);
    joinCancelButton->setEnabled(false);
    joinUndoButton->setVisible(false);
    joinDestinationPicture->setEnabled(false);
}

void MainWindow::leaveJoinPage() {
    showPage(startPanel);
    loadPartButton->setEnabled(true);
    setJoinCommandsEnabled(false);
    joinUndoButton->setVisible(false);
    joinCancelButton->setEnabled(true);
    joinGauge->setProgress(0);
    joinHint->setVisible(true);
    joinDestinationPicture->setEnabled(false);
}

// A close request while a join is under way cancels it first, so that no
// half-joined file stays behind. Whether one runs is asked of the join
// itself: its gauge shows 0 while the parts are counted and the first two
// percent are copied.
void MainWindow::joinPanelCloseStep() {
    if (joinRunning_) cancelJoin();
}

// Run by the report dialog's "Abort": the panel back to its starting state.
void MainWindow::joinAbortReset() {
    showPage(joinPanel);
    chosenPartField->clear();
    setJoinCommandsEnabled(true);
    joinUndoButton->setVisible(false);
    joinCancelButton->setEnabled(false);
    joinGauge->setProgress(0);
    joinHint->setVisible(true);
    joinDestinationButton->setEnabled(false);
    joinButton->setEnabled(false);
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    loadPartButton->setEnabled(true);
    outputIcon->setVisible(false);
    setCloseAllowed(true);
    joinDestinationPicture->setEnabled(false);
}

// ---------------------------------------------------------------- source and destination

void MainWindow::choosePart() {
    setJoinCommandsEnabled(false);
    if (!partDialog.Execute(this)) return;
    const QString chosen = partDialog.FileName;
    requireRegularFile(chosen); // a folder or a pipe named like a part is no part
    joinDestinationPicture->setEnabled(true);
    G.JoinDestFolder = withTrailingSeparator(folderOf(chosen));
    JoinHooks hooks;
    hooks.yield = [] { QCoreApplication::processEvents(); };
    G.JoinTotalSize = joinedSize(chosen, hooks);
    chosenPartField->setText(chosen);
    joinDestinationField->setText(G.JoinDestFolder);
    setJoinCommandsEnabled(true);
}

void MainWindow::chooseJoinDestination() {
    if (!folderBrowser.Execute(this)) return;
    G.JoinDestFolder = withTrailingSeparator(folderBrowser.Folder);
    joinDestinationField->setText(G.JoinDestFolder);
}

void MainWindow::chosenPartChanged() { showShortenedPath(chosenPartField); }

void MainWindow::joinDestinationChanged() { showShortenedPath(joinDestinationField); }

// ---------------------------------------------------------------- Cancel and Undo

void MainWindow::cancelJoin() {
    setJoinButtonsEnabled(false);
    G.JoinCancelFlag = 1;
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    joinCancelButton->setEnabled(false);
    outputIcon->setVisible(false);
    setJoinCommandsEnabled(true);
    settleAfterStop(this);
}

void MainWindow::undoJoin() {
    setJoinButtonsEnabled(false);
    QFile output(G.JoinOutputPath);
    if (QFileInfo(output).isFile() && !output.remove()) {
        // The joined file is still there: Undo stays offered.
        setJoinButtonsEnabled(true);
        throw OperationError(
            QStringLiteral("Cannot delete %1: %2").arg(G.JoinOutputPath, output.errorString()));
    }
    joinUndoButton->setVisible(false);
    settleAfterStop(this);
}

// ---------------------------------------------------------------- the joined file

void MainWindow::runJoinedAndExit() {
    if (QFileInfo(G.JoinOutputPath).isFile())
        seams().openUrl(QUrl::fromLocalFile(G.JoinOutputPath));
    closeByProgram();
}

// Before the first join the output path may be empty or the bare name of a
// file loaded on the split or presets panel: then there is no folder to open.
void MainWindow::openJoinDestination() {
    const QString folder = folderOf(G.JoinOutputPath);
    if (folder.isEmpty()) return;
    openInShell(folder);
}

void MainWindow::pressJoinDestinationPicture() {
    joinDestinationPicture->move(joinDestinationPicture->pos() + QPoint(1, 1));
}

void MainWindow::releaseJoinDestinationPicture() {
    joinDestinationPicture->move(joinDestinationPicture->pos() - QPoint(1, 1));
}

// Shows the icon of the output's type in outputIcon and on the run-joined button,
// each sized to the icon; both stay without a picture when the desktop has
// none for the type. The output itself may not exist yet.
void MainWindow::showOutputIcon() {
    const QIcon icon = fileTypeIcon(G.JoinOutputPath);
    const QPixmap picture = icon.isNull() ? QPixmap() : icon.pixmap(QSize(IconSide, IconSide));
    outputIcon->clear();
    if (picture.isNull()) {
        runJoinedButton->setPicture(QPixmap());
        return;
    }
    outputIcon->setPixmap(picture);
    const QSize size = picture.deviceIndependentSize().toSize();
    outputIcon->resize(size);
    runJoinedButton->resize(size);
    runJoinedButton->setPicture(picture);
}

// ---------------------------------------------------------------- button groups

void MainWindow::setJoinCommandsEnabled(bool enabled) {
    joinDestinationButton->setEnabled(enabled);
    joinButton->setEnabled(enabled);
}

void MainWindow::setJoinButtonsEnabled(bool enabled) {
    for (QPushButton* b : {loadPartButton, joinDestinationButton, joinButton, joinMainButton})
        b->setEnabled(enabled);
}
