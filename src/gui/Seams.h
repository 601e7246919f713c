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

// What the window's two dialogs share: a title, and a handler that runs
// whenever the dialog closes, chosen or cancelled.
class DesktopDialog {
public:
    QString Title;
    std::function<void()> onClose;

protected:
    explicit DesktopDialog(const QString& title) : Title(title) {}
    // Takes a seam's answer: keeps it in `kept` when something was chosen
    // (a cancel leaves the last choice), runs onClose, and tells whether. A
    // name that may be a look-alike (mayNameLookAlike) is refused in a
    // message box and taken as a cancel.
    bool close(QWidget* parent, QString chosen, QString& kept);
};

// A file-open dialog that remembers the file last chosen.
class FileOpenDialog : public DesktopDialog {
public:
    FileOpenDialog(const QString& title, const QString& filter)
        : DesktopDialog(title), Filter(filter) {}
    // Shows the dialog; true when a file was chosen (then in FileName).
    // A file handed over beforehand (opened with the program or dropped on
    // the window) is taken from Given instead of showing the dialog.
    bool Execute(QWidget* parent);
    QString Filter;
    QString FileName;
    QStringList Given;
};

// The folder browser of the destination folders.
class FolderBrowser : public DesktopDialog {
public:
    FolderBrowser(const QString& title, const QString& okCaption)
        : DesktopDialog(title), OkCaption(okCaption) {}
    // Shows the browser; true when a folder was chosen (then in Folder).
    bool Execute(QWidget* parent);
    QString OkCaption;
    QString Folder;
};
