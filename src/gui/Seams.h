// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;
class ReportDialog;

// The few places where the program hands over to the desktop: the file and
// folder dialogs, the shell's "open", the modal showing of the report dialog
// and the message box of the top-level error handler. Production uses the real
// dialogs; tests replace these functions to script the answers.
struct Seams {
    // Returns the chosen file's full path, or an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& filter)> openFile;
    // Returns the chosen folder (no trailing separator but for the root), or
    // an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& okCaption)>
        browseFolder;
    // Opens a file, folder or web address with its associated program.
    std::function<void(const QUrl& url)> openUrl;
    // Shows the report dialog modally and returns when it has closed.
    std::function<void(ReportDialog* dialog)> showModal;
    // Shows an error text in a message box.
    std::function<void(QWidget* parent, const QString& text)> showError;
};

// The seams in force; starts with the production functions.
Seams& seams();
// Puts the production functions back.
void resetSeams();

// Shows a folder or file with the desktop's program for it, then brings
// `window` back to the front.
void openInShell(QWidget* window, const QString& path);

// What the window's two dialogs share: a title, the path last chosen, and a
// handler that runs whenever the dialog closes, chosen or cancelled.
class DesktopDialog {
public:
    virtual ~DesktopDialog() = default;
    // Shows the dialog; true when something was chosen, which is then the
    // path it keeps (a cancel leaves the last choice). Runs onClose either
    // way. A name that may be a look-alike (mayNameLookAlike) is refused in a
    // message box and taken as a cancel.
    bool exec(QWidget* parent);
    QString title() const { return title_; }
    std::function<void()> onClose;

protected:
    explicit DesktopDialog(const QString& title) : title_(title) {}
    // The seam's answer: the chosen path, or an empty text when cancelled.
    virtual QString ask(QWidget* parent) = 0;
    QString chosen() const { return chosen_; }

private:
    QString title_;
    QString chosen_;
};

// A file-open dialog that remembers the file last chosen.
class FileOpenDialog : public DesktopDialog {
public:
    FileOpenDialog(const QString& title, const QString& filter)
        : DesktopDialog(title), filter_(filter) {}
    QString fileName() const { return chosen(); } // the file last chosen
    QString filter() const { return filter_; }
    // Files handed over beforehand (opened with the program or dropped on
    // the window): exec() takes them one at a time instead of showing the
    // dialog.
    void setGivenFiles(const QStringList& files) { given_ = files; }
    QStringList givenFiles() const { return given_; }

protected:
    QString ask(QWidget* parent) override;

private:
    QString filter_;
    QStringList given_;
};

// The folder browser of the destination folders.
class FolderBrowser : public DesktopDialog {
public:
    FolderBrowser(const QString& title, const QString& okCaption)
        : DesktopDialog(title), okCaption_(okCaption) {}
    QString folder() const { return chosen(); } // the folder last chosen
    QString okCaption() const { return okCaption_; }

protected:
    QString ask(QWidget* parent) override;

private:
    QString okCaption_;
};
