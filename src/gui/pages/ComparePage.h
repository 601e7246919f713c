// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/OperationState.h"
#include "gui/pages/OperationPage.h"

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
class ComparePage : public OperationPage {
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

    // A close request while a checksum or a comparison runs stops it: the
    // running one sees its flag after this event-loop turn and returns.
    void stopForClose() override;
    const VerifyState& state() const { return state_; }

private:
    void computeChecksum();
    bool runCompare(const QString& first, const QString& second);
    void checksumResultsChanged();
    void compareResultsChanged();
    QList<QWidget*> commands() const; // CheckSum and Compare Files

    ReportDialog& reportDialog_;
    FileOpenDialog& fileDialog_;
    VerifyState state_;
};
