// The compare panel: the CRC-32 of one file (upper half), the byte comparison
// of two files (lower half), their Cancel buttons, and the panel's steps in
// the window's navigation.
#include "core/FileCopy.h"
#include "core/ProgramState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Widgets.h"
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
    ReportDialog* d = G.reportDialog;
    for (int i = 0; i < spacers; ++i)
        d->reportArea->addLine(TenBlanks);
    d->reportArea->addLine(AbortedByUser);
    d->okButton->setVisible(true);
    d->reportArea->setVisible(true);
    d->showModal();
}

// One turn of the event loop for a running checksum or comparison. When the
// window was closed during that turn the operation stops quietly: nobody is
// left to see its result, and the program ends only once it has returned.
void serveWindow(MainWindow* window, bool windowWasShown, quint8& cancelFlag) {
    QCoreApplication::processEvents();
    if (windowWasShown && !window->isVisible()) cancelFlag = 1;
}

} // namespace

// ---------------------------------------------------------------- navigation

void MainWindow::showComparePage() {
    checksumResults->clearLines();
    compareResults->clearLines();
    checksumGauge->setProgress(0);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    compareHint->setVisible(true);
    showPage(comparePanel);
    compareCancelButton->setVisible(true);
    checksumCancelButton->setVisible(true);
    compareCancelButton->setEnabled(false);
    checksumCancelButton->setEnabled(false);
}

void MainWindow::leaveComparePage() {
    showPage(startPanel);
    compareHint->setVisible(true);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    checksumGauge->setProgress(0);
}

// A close request while a checksum or a comparison runs stops it: the
// running one sees its flag after this event-loop turn and returns, and the
// program ends. There is nothing of it to remove, and nobody is left to
// acknowledge an "Aborted by user" report.
void MainWindow::comparePanelCloseStep() {
    if (!verifyRunning_) return;
    G.ChecksumCancelFlag = 1;
    G.CompareCancelFlag = 1;
}

// ---------------------------------------------------------------- checksum

// CheckSum and Compare Files share the CRC's byte count and the comparison's
// streams and buffers: neither may start inside the other's (or its own)
// event-loop turn, so both stay disabled until the running command returns,
// however it returns.
void MainWindow::enableVerifyCommands(bool enable) {
    checksumButton->setEnabled(enable);
    compareButton->setEnabled(enable);
}

void MainWindow::startChecksum() {
    if (verifyRunning_) return;
    const QScopedValueRollback<bool> running(verifyRunning_, true);
    enableVerifyCommands(false);
    const auto idle = qScopeGuard([this] {
        checksumHint->setVisible(true);
        compareGauge->setProgress(0);
        compareHint->setVisible(true);
        compareMainButton->setEnabled(true);
        enableVerifyCommands(true);
    });

    checksumHint->setVisible(false);
    compareCancelButton->setVisible(false);
    checksumCancelButton->setVisible(true);
    checksumCancelButton->setEnabled(true);
    compareMainButton->setEnabled(false);
    checksumResults->clearLines();
    checksumResults->addLine(QStringLiteral("  "));
    computeChecksum();
}

void MainWindow::computeChecksum() {
    G.ChecksumCancelFlag = 0;
    if (!sourceDialog.Execute(this)) return;
    const QString path = sourceDialog.FileName;
    requireRegularFile(path); // a named pipe would wait for a writer
    checksumHint->setVisible(false);
    compareHint->setVisible(true);
    compareGauge->setProgress(0);

    const bool shown = isVisible();
    CrcHooks hooks;
    hooks.progress = [this](int percent) { checksumGauge->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(this, shown, G.ChecksumCancelFlag); };
    const GaugeRun run({checksumGauge}, QFileInfo(path).size());
    const quint32 crc = FileCrc32(G, path, hooks);

    if (G.ChecksumCancelFlag != 0) {
        checksumGauge->stepDownToZero();
        return;
    }
    checksumResults->addLine(QStringLiteral("CheckSum for ") + path);
    checksumResults->addLine(QString());
    checksumResults->addLine(QString::asprintf("CRC32 is: $%.8X", static_cast<unsigned>(crc)));
    checksumResults->addLine(QString::number(crc));
}

void MainWindow::cancelChecksum() {
    G.ChecksumCancelFlag = 1;
    checksumResults->clearLines();
    reportAborted(3);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    compareHint->setVisible(true);
    checksumCancelButton->setEnabled(false);
}

// Cancel stays usable while only the "  " line is there; the first result
// line ends the run it belongs to.
void MainWindow::checksumResultsChanged() {
    if (checksumResults->lineCount() > 1) checksumCancelButton->setEnabled(false);
}

// ---------------------------------------------------------------- comparison

void MainWindow::startCompare() {
    if (verifyRunning_) return;
    const QScopedValueRollback<bool> running(verifyRunning_, true);
    enableVerifyCommands(false);
    // The idle state of a finished, abandoned or failed comparison.
    const auto idle = qScopeGuard([this] {
        compareHint->setVisible(true);
        compareMainButton->setEnabled(true);
        compareCancelButton->setEnabled(false);
        enableVerifyCommands(true);
    });

    compareCancelButton->setVisible(true);
    checksumCancelButton->setVisible(false);
    compareResults->clearLines();
    compareResults->addLine(QStringLiteral("  "));
    compareMainButton->setEnabled(true);
    compareGauge->setProgress(0);

    if (!sourceDialog.Execute(this)) return;
    const QString first = sourceDialog.FileName;
    if (!sourceDialog.Execute(this)) return;
    const QString second = sourceDialog.FileName;
    requireRegularFile(first); // a named pipe would wait for a writer
    requireRegularFile(second);

    checksumHint->setVisible(true);
    compareHint->setVisible(false);
    checksumGauge->setProgress(0);
    compareResults->addLine(QStringLiteral("                     Comparing"));
    compareResults->addLine(first);
    compareResults->addLine(QStringLiteral("                     and"));
    compareResults->addLine(second);

    const bool identical = runCompare(first, second);
    if (identical)
        compareResults->addLine(QStringLiteral("Files ") + first + QStringLiteral("    and ") +
                                second + QStringLiteral(" are Identical"));
    else
        compareResults->addLine(QStringLiteral("Files ") + first + QStringLiteral("        and ") +
                                second + QStringLiteral(" are Not Identical"));
    compareHint->setVisible(true);
    if (G.CompareCancelFlag != 0) compareResults->clearLines();
}

bool MainWindow::runCompare(const QString& first, const QString& second) {
    const bool shown = isVisible();
    CompareHooks hooks;
    hooks.started = [this] {
        compareMainButton->setEnabled(false);
        compareCancelButton->setEnabled(true);
    };
    hooks.differentLength = [this] {
        compareResults->clearLines();
        compareResults->addLine(QStringLiteral("Files Have different length, so  "));
    };
    hooks.progress = [this](int percent) { compareGauge->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(this, shown, G.CompareCancelFlag); };
    hooks.finished = [this] { compareResults->clearLines(); };
    const GaugeRun run({compareGauge}, QFileInfo(first).size());
    return tfs::compareFiles(G, first, second, hooks);
}

void MainWindow::cancelCompare() {
    G.CompareCancelFlag = 1;
    checksumGauge->setProgress(0);
    checksumHint->setVisible(true);
    checksumResults->clearLines();
    reportAborted(2);
    compareHint->setVisible(true);
    compareCancelButton->setEnabled(false);
    compareGauge->stepDownToZero();
    compareResults->clearLines();
}

// The fourth line of a comparison's header disables Cancel; the comparison
// itself enables it again when it starts.
void MainWindow::compareResultsChanged() {
    if (compareResults->lineCount() > 3) compareCancelButton->setEnabled(false);
}
