#include "gui/Seams.h"

#include "gui/OpenedFile.h"
#include "gui/ReportDialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <utility>

namespace {

QString realOpenFile(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString realBrowseFolder(QWidget* parent, const QString& title, const QString& okCaption) {
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, false); // files are shown as well
    dialog.setLabelText(QFileDialog::Accept, okCaption);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return QDir::cleanPath(dialog.selectedFiles().constFirst());
}

Seams productionSeams() {
    Seams s;
    s.openFile = realOpenFile;
    s.browseFolder = realBrowseFolder;
    s.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    s.showModal = [](ReportDialog* dialog) { dialog->exec(); };
    s.showError = [](QWidget* parent, const QString& text) {
        QMessageBox::critical(parent, QStringLiteral("Tarvello File Splitter"), text);
    };
    return s;
}

} // namespace

Seams& seams() {
    static Seams s = productionSeams();
    return s;
}

void resetSeams() { seams() = productionSeams(); }

bool DesktopDialog::close(QWidget* parent, QString chosen, QString& kept) {
    // A name that would reach the file system as other bytes is told, and
    // the choice taken as cancelled.
    if (mayNameLookAlike(chosen))
        seams().showError(parent, lookAlikeRefusal(std::exchange(chosen, QString())));
    if (!chosen.isEmpty()) kept = chosen;
    if (onClose) onClose();
    return !chosen.isEmpty();
}

bool FileOpenDialog::Execute(QWidget* parent) {
    return close(parent,
                 Given.isEmpty() ? seams().openFile(parent, Title, Filter) : Given.takeFirst(),
                 FileName);
}

bool FolderBrowser::Execute(QWidget* parent) {
    return close(parent, seams().browseFolder(parent, Title, OkCaption), Folder);
}

void openInShell(QWidget* window, const QString& path) {
    seams().openUrl(QUrl::fromLocalFile(path));
    window->raise();
    window->activateWindow();
    window->repaint();
}
