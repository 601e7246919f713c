// SPDX-License-Identifier: GPL-3.0-or-later
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

bool DesktopDialog::exec(QWidget* parent) {
    QString answer = ask(parent);
    // A name that would reach the file system as other bytes is told, and
    // the choice taken as cancelled.
    if (mayNameLookAlike(answer))
        seams().showError(parent, lookAlikeRefusal(std::exchange(answer, QString())));
    if (!answer.isEmpty()) chosen_ = answer;
    if (onClose) onClose();
    return !answer.isEmpty();
}

QString FileOpenDialog::ask(QWidget* parent) {
    return given_.isEmpty() ? seams().openFile(parent, title(), filter_) : given_.takeFirst();
}

QString FolderBrowser::ask(QWidget* parent) {
    return seams().browseFolder(parent, title(), okCaption_);
}

void openInShell(QWidget* window, const QString& path) {
    seams().openUrl(QUrl::fromLocalFile(path));
    window->raise();
    window->activateWindow();
    window->repaint();
}
