// The join panel: opening and leaving it, loading a part, the destination
// folder, Cancel, Undo, "Run Joined and Exit", the output-folder picture, the
// two path fields, the button groups, the file-type icon, the panel's step of
// the close request and its reset after "Abort". The Join button itself is in
// JoinCommand.cpp.
#include "app/PathShortening.h"
#include "app/TForm1.h"
#include "app/Widgets.h"
#include "core/FileCopy.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"
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
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    const QFileIconProvider provider;
    if (icon.isNull())
        icon = provider.icon(QFileInfo(path));
    if (icon.isNull())
        icon = provider.icon(QAbstractFileIconProvider::File);
    return icon;
}

// The end of Cancel and Undo: the gauge runs down visibly to 0, the output's
// controls go, the hint comes back and the panel's buttons are enabled.
void settleAfterStop(TForm1* f) {
    f->Gauge2->stepDownToZero();
    f->Gauge2->setProgress(0);
    f->suiImageButton5->setVisible(false);
    f->Label12->setVisible(false);
    f->Image1->setVisible(false);
    f->gEdit2->setVisible(true);
    f->joinenabled();
}

} // namespace

// ---------------------------------------------------------------- navigation

void TForm1::suiImageButton1Click() {
    sakrigrupe();
    joindisable();
    Edit5->clear();
    Edit6->clear();
    Gauge2->setProgress(0);
    gEdit2->setVisible(true);
    GroupBox3->setVisible(true);
    Image1->setVisible(false);
    suiImageButton5->setVisible(false);
    Label12->setVisible(false);
    suiImageButton10->setEnabled(true);
    BitBtn12->setEnabled(false);
    BitBtn22->setVisible(false);
    Image6->setEnabled(false);
}

void TForm1::BitBtn11Click() {
    sakrigrupe();
    GroupBox1->setVisible(true);
    suiImageButton10->setEnabled(true);
    joindisable();
    BitBtn22->setVisible(false);
    BitBtn12->setEnabled(true);
    Gauge2->setProgress(0);
    gEdit2->setVisible(true);
    Image6->setEnabled(false);
}

// A close request while a join is under way cancels it first, so that no
// half-joined file stays behind. Whether one runs is asked of the join
// itself: its gauge shows 0 while the parts are counted and the first two
// percent are copied.
void TForm1::joinPanelCloseStep() {
    if (joinRunning_) BitBtn12Click();
}

// Run by the report dialog's "Abort": the panel back to its starting state.
void TForm1::joinAbortReset() {
    sakrigrupe();
    GroupBox3->setVisible(true);
    Edit5->clear();
    joinenable();
    BitBtn22->setVisible(false);
    BitBtn12->setEnabled(false);
    Gauge2->setProgress(0);
    gEdit2->setVisible(true);
    suiImageButton12->setEnabled(false);
    BitBtn2->setEnabled(false);
    suiImageButton5->setVisible(false);
    Label12->setVisible(false);
    suiImageButton10->setEnabled(true);
    Image1->setVisible(false);
    omogucix();
    Image6->setEnabled(false);
}

// ---------------------------------------------------------------- source and destination

void TForm1::suiImageButton10Click() {
    joindisable();
    if (!OpenDialog2.Execute(this))
        return;
    const QString chosen = OpenDialog2.FileName;
    requireRegularFile(chosen); // a folder or a pipe named like a part is no part
    Image6->setEnabled(true);
    G.JoinDestFolder = withTrailingSeparator(folderOf(chosen));
    JoinHooks hooks;
    hooks.yield = [] { QCoreApplication::processEvents(); };
    G.JoinTotalSize = joinedSize(chosen, hooks);
    Edit5->setText(chosen);
    Edit6->setText(G.JoinDestFolder);
    joinenable();
}

void TForm1::suiImageButton12Click() {
    if (!JamBfF1.Execute(this))
        return;
    G.JoinDestFolder = withTrailingSeparator(JamBfF1.Folder);
    Edit6->setText(G.JoinDestFolder);
}

void TForm1::Edit5Change() {
    showShortenedPath(Edit5);
}

void TForm1::Edit6Change() {
    showShortenedPath(Edit6);
}

// ---------------------------------------------------------------- Cancel and Undo

void TForm1::BitBtn12Click() {
    joindisabled();
    G.JoinCancelFlag = 1;
    suiImageButton5->setVisible(false);
    Label12->setVisible(false);
    BitBtn12->setEnabled(false);
    Image1->setVisible(false);
    joinenable();
    settleAfterStop(this);
}

void TForm1::BitBtn22Click() {
    joindisabled();
    QFile output(G.JoinOutputPath);
    if (QFileInfo(output).isFile() && !output.remove()) {
        // The joined file is still there: Undo stays offered.
        joinenabled();
        throw OperationError(
            QStringLiteral("Cannot delete %1: %2").arg(G.JoinOutputPath, output.errorString()));
    }
    BitBtn22->setVisible(false);
    settleAfterStop(this);
}

// ---------------------------------------------------------------- the joined file

void TForm1::suiImageButton5Click() {
    if (QFileInfo(G.JoinOutputPath).isFile())
        seams().openUrl(QUrl::fromLocalFile(G.JoinOutputPath));
    closeByProgram();
}

// Before the first join the output path may be empty or the bare name of a
// file loaded on the split or presets panel: then there is no folder to open.
void TForm1::Image6Click() {
    const QString folder = folderOf(G.JoinOutputPath);
    if (folder.isEmpty())
        return;
    openInShell(folder);
}

void TForm1::Image6MouseDown() { Image6->move(Image6->pos() + QPoint(1, 1)); }

void TForm1::Image6MouseUp() { Image6->move(Image6->pos() - QPoint(1, 1)); }

// Shows the icon of the output's type in Image1 and on the run-joined button,
// each sized to the icon; both stay without a picture when the desktop has
// none for the type. The output itself may not exist yet.
void TForm1::Exticon() {
    const QIcon icon = fileTypeIcon(G.JoinOutputPath);
    const QPixmap picture = icon.isNull() ? QPixmap() : icon.pixmap(QSize(IconSide, IconSide));
    Image1->clear();
    if (picture.isNull()) {
        suiImageButton5->setPicture(QPixmap());
        return;
    }
    Image1->setPixmap(picture);
    const QSize size = picture.deviceIndependentSize().toSize();
    Image1->resize(size);
    suiImageButton5->resize(size);
    suiImageButton5->setPicture(picture);
}

// ---------------------------------------------------------------- button groups

void TForm1::joindisable() {
    suiImageButton12->setEnabled(false);
    BitBtn2->setEnabled(false);
}

void TForm1::joinenable() {
    suiImageButton12->setEnabled(true);
    BitBtn2->setEnabled(true);
}

void TForm1::joindisabled() {
    for (QPushButton* b : {suiImageButton10, suiImageButton12, BitBtn2, BitBtn11})
        b->setEnabled(false);
}

void TForm1::joinenabled() {
    for (QPushButton* b : {suiImageButton10, suiImageButton12, BitBtn2, BitBtn11})
        b->setEnabled(true);
}
