#pragma once

#include "core/OperationState.h"

#include <QGroupBox>

class FileOpenDialog;
class Gauge;
class Memo;
class QLabel;
class QPushButton;
class ReportDialog;

// The compare page: the CRC-32 of one file (upper half), the byte comparison
// of two files (lower half) and their Cancel buttons. It owns what the two
// commands share (the comparison's streams and buffers, the cancel flags)
// and knows whether one of them runs; the files come from the window's
// file dialog, which it shares with the split page.
class ComparePage : public QGroupBox {
    Q_OBJECT
public:
    ComparePage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& fileDialog);

    QPushButton* checksumButton; // "CheckSum"
    Gauge* checksumGauge;
    QLabel* checksumHint;
    Memo* checksumResults;
    QPushButton* compareButton; // "Compare Files"
    Gauge* compareGauge;
    QLabel* compareHint;
    Memo* compareResults;
    QPushButton* compareMainButton;
    QPushButton* checksumCancelButton;
    QPushButton* compareCancelButton;

    // The page as the start page's button opens it, and as "Main" leaves it.
    void prepareToShow();
    void prepareToLeave();

    void startChecksum();
    void cancelChecksum();
    void startCompare();
    void cancelCompare();

    bool running() const { return running_; }
    // A close request while a checksum or a comparison runs stops it: the
    // running one sees its flag after this event-loop turn and returns.
    void stopForClose();
    const VerifyState& state() const { return state_; }

signals:
    void startPageRequested(); // "Main"
    void operationStarted();   // a checksum or a comparison starts
    void operationFinished();  // it has ended, however it ended

private:
    void computeChecksum();
    bool runCompare(const QString& first, const QString& second);
    void checksumResultsChanged();
    void compareResultsChanged();
    void setCommandsEnabled(bool enable); // CheckSum and Compare Files

    ReportDialog& reportDialog_;
    FileOpenDialog& fileDialog_;
    VerifyState state_;
    bool running_ = false;
};
