// The compare panel: the CRC-32 of one file (upper half), the byte comparison
// of two files (lower half), their Cancel buttons, and the panel's steps in
// the window's navigation.
#include "core/ProgramState.h"
#include "app/RunMeter.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "core/FileCopy.h"
#include "verify/CompareEngine.h"
#include "verify/Crc32.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>

using namespace tfs;

namespace {

const QString TenBlanks = QStringLiteral("          ");
const QString AbortedByUser = QStringLiteral("                  Aborted by user");

// The cancel report of both commands: `spacers` lines of ten blanks, then the
// message, acknowledged with OK. The running operation waits inside it.
void reportAborted(int spacers) {
    TForm3* d = G.Form3;
    for (int i = 0; i < spacers; ++i)
        d->suiMemo1->addLine(TenBlanks);
    d->suiMemo1->addLine(AbortedByUser);
    d->OKBtn->setVisible(true);
    d->suiMemo1->setVisible(true);
    d->ShowModal();
}

// One turn of the event loop for a running checksum or comparison. When the
// window was closed during that turn the operation stops quietly: nobody is
// left to see its result, and the program ends only once it has returned.
void serveWindow(TForm1* window, bool windowWasShown, quint8& cancelFlag) {
    QCoreApplication::processEvents();
    if (windowWasShown && !window->isVisible())
        cancelFlag = 1;
}

} // namespace

// ---------------------------------------------------------------- navigation

void TForm1::suiImageButton2Click() {
    sakrigrupe();
    suiMemo1->clearLines();
    suiMemo2->clearLines();
    Gauge3->setProgress(0);
    gEdit3->setVisible(true);
    Gauge4->setProgress(0);
    gEdit4->setVisible(true);
    GroupBox4->setVisible(true);
    BitBtn14->setVisible(true);
    BitBtn21->setVisible(true);
    BitBtn14->setEnabled(false);
    BitBtn21->setEnabled(false);
}

void TForm1::BitBtn13Click() {
    sakrigrupe();
    GroupBox1->setVisible(true);
    gEdit4->setVisible(true);
    gEdit3->setVisible(true);
    Gauge4->setProgress(0);
    Gauge3->setProgress(0);
}

// A close request while a checksum or a comparison runs stops it: the
// running one sees its flag after this event-loop turn and returns, and the
// program ends. There is nothing of it to remove, and nobody is left to
// acknowledge an "Aborted by user" report.
void TForm1::comparePanelCloseStep() {
    if (!verifyRunning_) return;
    G.ChecksumCancelFlag = 1;
    G.CompareCancelFlag = 1;
}

// ---------------------------------------------------------------- checksum

// CheckSum and Compare Files share the CRC's byte count and the comparison's
// streams and buffers: neither may start inside the other's (or its own)
// event-loop turn, so both stay disabled until the running command returns,
// however it returns.
void TForm1::enableVerifyCommands(bool enable) {
    BitBtn3->setEnabled(enable);
    BitBtn4->setEnabled(enable);
}

void TForm1::BitBtn3Click() {
    if (verifyRunning_)
        return;
    const QScopedValueRollback<bool> running(verifyRunning_, true);
    enableVerifyCommands(false);
    const auto idle = qScopeGuard([this] {
        gEdit3->setVisible(true);
        Gauge4->setProgress(0);
        gEdit4->setVisible(true);
        BitBtn13->setEnabled(true);
        enableVerifyCommands(true);
    });

    gEdit3->setVisible(false);
    BitBtn14->setVisible(false);
    BitBtn21->setVisible(true);
    BitBtn21->setEnabled(true);
    BitBtn13->setEnabled(false);
    suiMemo1->clearLines();
    suiMemo1->addLine(QStringLiteral("  "));
    GetCheckSum1();
}

void TForm1::GetCheckSum1() {
    G.ChecksumCancelFlag = 0;
    if (!OpenDialog1.Execute(this))
        return;
    const QString path = OpenDialog1.FileName;
    requireRegularFile(path); // a named pipe would wait for a writer
    gEdit3->setVisible(false);
    gEdit4->setVisible(true);
    Gauge4->setProgress(0);

    const bool shown = isVisible();
    CrcHooks hooks;
    hooks.progress = [this](int percent) { Gauge3->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(this, shown, G.ChecksumCancelFlag); };
    const GaugeRun run({Gauge3}, QFileInfo(path).size());
    const quint32 crc = FileCrc32(G, path, hooks);

    if (G.ChecksumCancelFlag != 0) {
        Gauge3->stepDownToZero();
        return;
    }
    suiMemo1->addLine(QStringLiteral("CheckSum for ") + path);
    suiMemo1->addLine(QString());
    suiMemo1->addLine(QString::asprintf("CRC32 is: $%.8X", static_cast<unsigned>(crc)));
    suiMemo1->addLine(QString::number(crc));
}

void TForm1::BitBtn21Click() {
    G.ChecksumCancelFlag = 1;
    suiMemo1->clearLines();
    reportAborted(3);
    gEdit3->setVisible(true);
    Gauge4->setProgress(0);
    gEdit4->setVisible(true);
    BitBtn21->setEnabled(false);
}

// Cancel stays usable while only the "  " line is there; the first result
// line ends the run it belongs to.
void TForm1::suiMemo1Change() {
    if (suiMemo1->lineCount() > 1)
        BitBtn21->setEnabled(false);
}

// ---------------------------------------------------------------- comparison

void TForm1::BitBtn4Click() {
    if (verifyRunning_)
        return;
    const QScopedValueRollback<bool> running(verifyRunning_, true);
    enableVerifyCommands(false);
    // The idle state of a finished, abandoned or failed comparison.
    const auto idle = qScopeGuard([this] {
        gEdit4->setVisible(true);
        BitBtn13->setEnabled(true);
        BitBtn14->setEnabled(false);
        enableVerifyCommands(true);
    });

    BitBtn14->setVisible(true);
    BitBtn21->setVisible(false);
    suiMemo2->clearLines();
    suiMemo2->addLine(QStringLiteral("  "));
    BitBtn13->setEnabled(true);
    Gauge4->setProgress(0);

    if (!OpenDialog1.Execute(this))
        return;
    const QString first = OpenDialog1.FileName;
    if (!OpenDialog1.Execute(this))
        return;
    const QString second = OpenDialog1.FileName;
    requireRegularFile(first); // a named pipe would wait for a writer
    requireRegularFile(second);

    gEdit3->setVisible(true);
    gEdit4->setVisible(false);
    Gauge3->setProgress(0);
    suiMemo2->addLine(QStringLiteral("                     Comparing"));
    suiMemo2->addLine(first);
    suiMemo2->addLine(QStringLiteral("                     and"));
    suiMemo2->addLine(second);

    const bool identical = comparefiles(first, second);
    if (identical)
        suiMemo2->addLine(QStringLiteral("Files ") + first + QStringLiteral("    and ") + second +
                          QStringLiteral(" are Identical"));
    else
        suiMemo2->addLine(QStringLiteral("Files ") + first + QStringLiteral("        and ") + second +
                          QStringLiteral(" are Not Identical"));
    gEdit4->setVisible(true);
    if (G.CompareCancelFlag != 0)
        suiMemo2->clearLines();
}

bool TForm1::comparefiles(const QString& first, const QString& second) {
    const bool shown = isVisible();
    CompareHooks hooks;
    hooks.started = [this] {
        BitBtn13->setEnabled(false);
        BitBtn14->setEnabled(true);
    };
    hooks.differentLength = [this] {
        suiMemo2->clearLines();
        suiMemo2->addLine(QStringLiteral("Files Have different length, so  "));
    };
    hooks.progress = [this](int percent) { Gauge4->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(this, shown, G.CompareCancelFlag); };
    hooks.finished = [this] { suiMemo2->clearLines(); };
    const GaugeRun run({Gauge4}, QFileInfo(first).size());
    return tfs::comparefiles(G, first, second, hooks);
}

void TForm1::BitBtn14Click() {
    G.CompareCancelFlag = 1;
    Gauge3->setProgress(0);
    gEdit3->setVisible(true);
    suiMemo1->clearLines();
    reportAborted(2);
    gEdit4->setVisible(true);
    BitBtn14->setEnabled(false);
    Gauge4->stepDownToZero();
    suiMemo2->clearLines();
}

// The fourth line of a comparison's header disables Cancel; the comparison
// itself enables it again when it starts.
void TForm1::suiMemo2Change() {
    if (suiMemo2->lineCount() > 3)
        BitBtn14->setEnabled(false);
}
