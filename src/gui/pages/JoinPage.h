// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/OperationState.h"
#include "gui/pages/OperationPage.h"

#include <QMap>

class ClickLabel;
class FileOpenDialog;
class FolderBrowser;
class Gauge;
class PictureButton;
class QLabel;
class QLineEdit;
class QPushButton;
class ReportDialog;
namespace tfs {
struct JoinChecks;
struct PartSet;
} // namespace tfs

// The join page: a part of a set chosen (its total size measured), the
// destination folder, the Join command with its questions and report,
// Cancel, Undo and "Run Joined and Exit". It owns the join's state and knows
// whether a join runs; the part and folder dialogs and the report dialog are
// the window's, shared with the other pages.
class JoinPage : public OperationPage {
    Q_OBJECT
public:
    JoinPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& partDialog,
             FolderBrowser& folderBrowser);

    QPushButton* loadPartButton; // "Load File"
    QLabel* chosenPartLabel;
    QLineEdit* chosenPartField;
    QPushButton* joinDestinationButton; // "Destination"
    QLabel* joinDestinationLabel;
    ClickLabel* joinDestinationPicture;
    QLineEdit* joinDestinationField;
    ClickLabel* outputIcon;
    QPushButton* joinButton;        // "Join"
    PictureButton* runJoinedButton; // run joined and exit
    QLabel* runJoinedLabel;
    Gauge* joinGauge;
    QLabel* joinHint;
    QPushButton* joinMainButton;   // "Main"
    QPushButton* joinCancelButton; // "Cancel"
    QPushButton* joinUndoButton;   // "Undo"

    // The page as the start page's button opens it, and as "Main" leaves it.
    void prepareToShow();
    void prepareToLeave();

    void choosePart();
    void chooseJoinDestination();
    void startJoin();
    void cancelJoin();
    void undoJoin();
    void runJoinedAndExit();
    void openJoinDestination();
    void setJoinCommandsEnabled(bool enabled); // Destination and Join
    void setJoinButtonsEnabled(bool enabled);  // Load File, Destination, Join and Main
    void showOutputIcon();

    // A close request while a join runs cancels it first, so that no
    // half-joined file stays behind.
    void stopForClose() override;
    // The report dialog's OK leaves Cancel shown and disabled.
    void reportAcknowledged() override;

    JoinState& state() { return state_; }
    const JoinState& state() const { return state_; }

signals:
    void exitRequested(); // "Run Joined and Exit"
    void joinCompleted(); // a join has put its output in place

private:
    void pressJoinDestinationPicture();
    void releaseJoinDestinationPicture();
    void chosenPartChanged();
    void joinDestinationChanged();
    void settleAfterStop();
    void resetAfterAbort(); // the reset after "Abort" in the report dialog

    // The steps of the Join command (startJoin), in their order.
    void runJoinCommand();
    enum class MissingAnswer { NoneMissing, JoinAnyway, Abort };
    bool prepareJoin(const QString& chosen);
    bool refusedBeforeWriting(const tfs::PartSet& set);
    void refuse(const QStringList& lines);
    MissingAnswer askAboutMissingParts(const tfs::PartSet& set, const tfs::JoinChecks& checks);
    void chooseOutputName(const tfs::PartSet& set);
    // What the check files beside the parts said of a join.
    struct CheckVerdict {
        bool decided = false; // a check failed and the user chose in the report
        QStringList lines;    // the completion report's lines about the check files
        // The parts the recovery data found damaged or missing and could not
        // rebuild (ordinal -> name): they fail the check as a wrong CRC-32 does.
        QMap<qint64, QString> unrepaired;
    };
    // Recovery data beside the set (its .par2 files) repairs the missing and
    // damaged parts it covers before anything else; the rebuilt parts go
    // into the completion report. When it can't, recoveryNote_ says how many
    // more recovery blocks were needed. False when cancelled meanwhile.
    bool repairFromRecoveryData(const QString& chosen, CheckVerdict& verdict);
    QStringList takeRecoveryNote();
    bool runEngine(const tfs::PartSet& set, qint64 lastOrdinal, const tfs::JoinChecks& checks,
                   CheckVerdict& verdict);
    void showResult(bool completed, const tfs::PartSet& set, const QStringList& leftOut,
                    const CheckVerdict& verdict);

    ReportDialog& reportDialog_;
    FileOpenDialog& partDialog_;
    FolderBrowser& folderBrowser_;
    JoinState state_;
    QString recoveryNote_; // for the first question or report of this join
};
