// SPDX-License-Identifier: GPL-3.0-or-later
// The join page: made ready to show and to leave, loading a part, the
// destination folder, Cancel, Undo, "Run Joined and Exit", the output-folder
// picture, the two path fields, the button groups, the file-type icon, the
// page's step of the close request and its reset after "Abort". Its controls
// are built in JoinPageLayout.cpp, the Join button's command is in JoinCommand.cpp.
#include "gui/pages/JoinPage.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "gui/PathShortening.h"
#include "gui/Seams.h"
#include "gui/Widgets.h"
#include "join/JoinEngine.h"
#include "parts/Naming.h"

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

} // namespace

// The end of Cancel and Undo: the gauge runs down visibly to 0, the output's
// controls go, the hint comes back and the page's buttons are enabled.
void JoinPage::settleAfterStop() {
    joinGauge->stepDownToZero();
    joinGauge->setProgress(0);
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    outputIcon->setVisible(false);
    joinHint->setVisible(true);
    setJoinButtonsEnabled(true);
}

// ---------------------------------------------------------------- navigation

void JoinPage::prepareToShow() {
    setJoinCommandsEnabled(false);
    chosenPartField->clear();
    joinDestinationField->clear();
    joinGauge->setProgress(0);
    joinHint->setVisible(true);
    outputIcon->setVisible(false);
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    loadPartButton->setEnabled(true);
    joinCancelButton->setEnabled(false);
    joinUndoButton->setVisible(false);
    joinDestinationPicture->setEnabled(false);
}

void JoinPage::prepareToLeave() {
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
void JoinPage::stopForClose() {
    if (running()) cancelJoin();
}

void JoinPage::reportAcknowledged() {
    joinCancelButton->setEnabled(false);
    joinCancelButton->setVisible(true);
}

// Run by the report dialog's "Abort": the page back to its starting state.
void JoinPage::resetAfterAbort() {
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
    joinDestinationPicture->setEnabled(false);
}

// ---------------------------------------------------------------- source and destination

void JoinPage::choosePart() {
    setJoinCommandsEnabled(false);
    if (!partDialog_.exec(window())) return;
    const QString chosen = partDialog_.fileName();
    requireRegularFile(chosen); // a folder or a pipe named like a part is no part
    joinDestinationPicture->setEnabled(true);
    state_.JoinDestFolder = withTrailingSeparator(folderOf(chosen));
    JoinHooks hooks;
    hooks.yield = [] { QCoreApplication::processEvents(); };
    state_.JoinTotalSize = joinedSize(readPartSet(chosen), hooks);
    chosenPartField->setText(chosen);
    joinDestinationField->setText(state_.JoinDestFolder);
    setJoinCommandsEnabled(true);
}

void JoinPage::chooseJoinDestination() {
    if (!folderBrowser_.exec(window())) return;
    state_.JoinDestFolder = withTrailingSeparator(folderBrowser_.folder());
    joinDestinationField->setText(state_.JoinDestFolder);
}

void JoinPage::chosenPartChanged() { showShortenedPath(chosenPartField); }

void JoinPage::joinDestinationChanged() { showShortenedPath(joinDestinationField); }

// ---------------------------------------------------------------- Cancel and Undo

void JoinPage::cancelJoin() {
    setJoinButtonsEnabled(false);
    state_.JoinCancelFlag = 1;
    runJoinedButton->setVisible(false);
    runJoinedLabel->setVisible(false);
    joinCancelButton->setEnabled(false);
    outputIcon->setVisible(false);
    setJoinCommandsEnabled(true);
    settleAfterStop();
}

void JoinPage::undoJoin() {
    setJoinButtonsEnabled(false);
    QFile output(state_.JoinOutputPath);
    if (QFileInfo(output).isFile() && !output.remove()) {
        // The joined file is still there: Undo stays offered.
        setJoinButtonsEnabled(true);
        throw OperationError(QStringLiteral("Cannot delete %1: %2")
                                 .arg(state_.JoinOutputPath, output.errorString()));
    }
    joinUndoButton->setVisible(false);
    settleAfterStop();
}

// ---------------------------------------------------------------- the joined file

void JoinPage::runJoinedAndExit() {
    if (QFileInfo(state_.JoinOutputPath).isFile())
        seams().openUrl(QUrl::fromLocalFile(state_.JoinOutputPath));
    emit exitRequested();
}

// Before the first join the output path may be empty or the bare name of a
// name of a file: then there is no folder to open.
void JoinPage::openJoinDestination() {
    const QString folder = folderOf(state_.JoinOutputPath);
    if (folder.isEmpty()) return;
    openInShell(window(), folder);
}

void JoinPage::pressJoinDestinationPicture() {
    joinDestinationPicture->move(joinDestinationPicture->pos() + QPoint(1, 1));
}

void JoinPage::releaseJoinDestinationPicture() {
    joinDestinationPicture->move(joinDestinationPicture->pos() - QPoint(1, 1));
}

// Shows the icon of the output's type in outputIcon and on the run-joined button,
// each sized to the icon; both stay without a picture when the desktop has
// none for the type. The output itself may not exist yet.
void JoinPage::showOutputIcon() {
    const QIcon icon = fileTypeIcon(state_.JoinOutputPath);
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

void JoinPage::setJoinCommandsEnabled(bool enabled) {
    joinDestinationButton->setEnabled(enabled);
    joinButton->setEnabled(enabled);
}

void JoinPage::setJoinButtonsEnabled(bool enabled) {
    for (QPushButton* b : {loadPartButton, joinDestinationButton, joinButton, joinMainButton})
        b->setEnabled(enabled);
}
