// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/pages/ComparePage.h"

#include "core/FileCopy.h"
#include "gui/Accessibility.h"
#include "gui/Guarded.h"
#include "gui/ReportDialog.h"
#include "gui/RunMeter.h"
#include "gui/Seams.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "jobs/ChecksumJob.h"
#include "jobs/CompareJob.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <optional>

using namespace tfs;

namespace {

const QString TenBlanks = QStringLiteral("          ");
const QString AbortedByUser = QStringLiteral("                  Aborted by user");

// The cancel report of both commands: `spacers` lines of ten blanks, then the
// message, acknowledged with OK. The running operation waits inside it.
void reportAborted(ReportDialog& d, int spacers) {
    for (int i = 0; i < spacers; ++i)
        d.reportArea->addLine(TenBlanks);
    d.reportArea->addLine(AbortedByUser);
    d.okButton->setVisible(true);
    d.reportArea->setVisible(true);
    d.showModal();
}

// One turn of the event loop for a running checksum or comparison. When the
// window was closed during that turn the operation stops quietly: nobody is
// left to see its result, and the program ends only once it has returned.
void serveWindow(QWidget* window, bool windowWasShown, CancelToken& cancel) {
    QCoreApplication::processEvents();
    if (windowWasShown && !window->isVisible()) cancel.cancel();
}

} // namespace

ComparePage::ComparePage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& fileDialog)
    : OperationPage(QStringLiteral("Compare"), parent), reportDialog_(reportDialog),
      fileDialog_(fileDialog) {
    setObjectName(QStringLiteral("comparePanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    checksumButton = skin::button(p, "checksumButton", QStringLiteral("CheckSum"), 9, 19, 82, 25);
    checksumGauge = skin::gauge(p, "checksumGauge", 96, 19, 220, 25, QColor(0, 0, 128));
    checksumHint = skin::hintLabel(
        p, "checksumHint", QStringLiteral("       Calculates checksum of a file"), 97, 25, 217, 14);
    checksumResults = skin::memo(p, "checksumResults", 4, 48, 312, 97);
    compareButton =
        skin::button(p, "compareButton", QStringLiteral("Compare Files"), 7, 152, 85, 25);
    compareGauge = skin::gauge(p, "compareGauge", 96, 153, 220, 25, QColor(0, 0, 255));
    compareHint = skin::hintLabel(
        p, "compareHint", QStringLiteral("                Compares two files"), 97, 158, 217, 14);
    compareResults = skin::memo(p, "compareResults", 3, 184, 313, 97);
    compareMainButton =
        skin::button(p, "compareMainButton", QStringLiteral("Main"), 6, 288, 85, 25);
    checksumCancelButton =
        skin::button(p, "checksumCancelButton", QStringLiteral("Cancel"), 229, 288, 85, 25);
    compareCancelButton =
        skin::button(p, "compareCancelButton", QStringLiteral("Cancel"), 229, 288, 85, 25);

    setAccessibleNames({{checksumGauge, "CheckSum"}, {compareGauge, "Compare Files"}});

    bindGuarded(checksumButton, &QPushButton::clicked, this, &ComparePage::startChecksum);
    bindGuarded(checksumResults, &Memo::linesChanged, this, &ComparePage::checksumResultsChanged);
    bindGuarded(compareButton, &QPushButton::clicked, this, &ComparePage::startCompare);
    bindGuarded(compareResults, &Memo::linesChanged, this, &ComparePage::compareResultsChanged);
    connect(compareMainButton, &QPushButton::clicked, this, &ComparePage::startPageRequested);
    bindGuarded(checksumCancelButton, &QPushButton::clicked, this, &ComparePage::cancelChecksum);
    bindGuarded(compareCancelButton, &QPushButton::clicked, this, &ComparePage::cancelCompare);

    QWidget::setTabOrder(compareButton, checksumCancelButton);
    QWidget::setTabOrder(checksumCancelButton, compareCancelButton);
    QWidget::setTabOrder(compareCancelButton, compareMainButton);
    QWidget::setTabOrder(compareMainButton, checksumButton);
}

// ---------------------------------------------------------------- showing and leaving

void ComparePage::prepareToShow() {
    checksumResults->clearLines();
    compareResults->clearLines();
    checksumGauge->setProgress(0);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    compareHint->setVisible(true);
    compareCancelButton->setVisible(true);
    checksumCancelButton->setVisible(true);
    compareCancelButton->setEnabled(false);
    checksumCancelButton->setEnabled(false);
}

void ComparePage::prepareToLeave() {
    compareHint->setVisible(true);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    checksumGauge->setProgress(0);
}

// A close request while a checksum or a comparison runs stops it: the
// running one sees its flag after this event-loop turn and returns, and the
// program ends. There is nothing of it to remove, and nobody is left to
// acknowledge an "Aborted by user" report.
void ComparePage::stopForClose() {
    if (!running()) return;
    checksumCancel_.cancel();
    compareCancel_.cancel();
}

// ---------------------------------------------------------------- checksum

// CheckSum and Compare Files share the page's gauges and result lines:
// neither may start inside the other's (or its own) event-loop turn, so both
// stay disabled until the running command returns, however it returns.
QList<QWidget*> ComparePage::commands() const { return {checksumButton, compareButton}; }

void ComparePage::startChecksum() {
    if (running()) return;
    const OperationScope operation(this, commands());
    const auto idle = qScopeGuard([this] {
        checksumHint->setVisible(true);
        compareGauge->setProgress(0);
        compareHint->setVisible(true);
        compareMainButton->setEnabled(true);
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

void ComparePage::computeChecksum() {
    checksumCancel_.reset();
    if (!fileDialog_.exec(window())) return;
    const QString path = fileDialog_.fileName();

    const bool shown = window()->isVisible();
    std::optional<GaugeRun> run;
    JobHooks hooks;
    hooks.started = [&](qint64 totalBytes) {
        checksumHint->setVisible(false);
        compareHint->setVisible(true);
        compareGauge->setProgress(0);
        run.emplace({checksumGauge}, totalBytes);
    };
    hooks.progress = [this](int percent) { checksumGauge->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(window(), shown, checksumCancel_); };
    const ChecksumResult result = runChecksum({path}, hooks, checksumCancel_);
    run.reset();
    checksumBytesRead_ = result.bytesRead;

    if (result.cancelled) {
        checksumGauge->stepDownToZero();
        return;
    }
    checksumResults->addLine(QStringLiteral("CheckSum for ") + path);
    checksumResults->addLine(QString());
    checksumResults->addLine(
        QString::asprintf("CRC32 is: $%.8X", static_cast<unsigned>(result.crc)));
    checksumResults->addLine(QString::number(result.crc));
}

void ComparePage::cancelChecksum() {
    checksumCancel_.cancel();
    checksumResults->clearLines();
    reportAborted(reportDialog_, 3);
    checksumHint->setVisible(true);
    compareGauge->setProgress(0);
    compareHint->setVisible(true);
    checksumCancelButton->setEnabled(false);
}

// Cancel stays usable while only the "  " line is there; the first result
// line ends the run it belongs to.
void ComparePage::checksumResultsChanged() {
    if (checksumResults->lineCount() > 1) checksumCancelButton->setEnabled(false);
}

// ---------------------------------------------------------------- comparison

void ComparePage::startCompare() {
    if (running()) return;
    const OperationScope operation(this, commands());
    // The idle state of a finished, abandoned or failed comparison.
    const auto idle = qScopeGuard([this] {
        compareHint->setVisible(true);
        compareMainButton->setEnabled(true);
        compareCancelButton->setEnabled(false);
    });

    compareCancelButton->setVisible(true);
    checksumCancelButton->setVisible(false);
    compareResults->clearLines();
    compareResults->addLine(QStringLiteral("  "));
    compareMainButton->setEnabled(true);
    compareGauge->setProgress(0);

    if (!fileDialog_.exec(window())) return;
    const QString first = fileDialog_.fileName();
    if (!fileDialog_.exec(window())) return;
    const QString second = fileDialog_.fileName();

    const CompareJobResult result = runCompare(first, second);
    if (result.found.identical)
        compareResults->addLine(QStringLiteral("Files ") + first + QStringLiteral("    and ") +
                                second + QStringLiteral(" are Identical"));
    else
        compareResults->addLine(QStringLiteral("Files ") + first + QStringLiteral("        and ") +
                                second + QStringLiteral(" are Not Identical"));
    compareHint->setVisible(true);
    if (result.cancelled) compareResults->clearLines();
}

// The comparison's job with the page's header, gauge and cancel. The header
// comes once both files are known to be files; a difference in length is told
// on the line before the verdict.
CompareJobResult ComparePage::runCompare(const QString& first, const QString& second) {
    const bool shown = window()->isVisible();
    std::optional<GaugeRun> run;
    JobHooks hooks;
    hooks.started = [&](qint64 totalBytes) {
        checksumHint->setVisible(true);
        compareHint->setVisible(false);
        checksumGauge->setProgress(0);
        compareResults->addLine(QStringLiteral("                     Comparing"));
        compareResults->addLine(first);
        compareResults->addLine(QStringLiteral("                     and"));
        compareResults->addLine(second);
        compareMainButton->setEnabled(false);
        compareCancelButton->setEnabled(true);
        run.emplace({compareGauge}, totalBytes);
    };
    hooks.progress = [this](int percent) { compareGauge->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(window(), shown, compareCancel_); };
    const CompareJobResult result = tfs::runCompare({first, second}, hooks, compareCancel_);
    compareResults->clearLines();
    if (result.found.differentLength)
        compareResults->addLine(QStringLiteral("Files Have different length, so  "));
    return result;
}

void ComparePage::cancelCompare() {
    compareCancel_.cancel();
    checksumGauge->setProgress(0);
    checksumHint->setVisible(true);
    checksumResults->clearLines();
    reportAborted(reportDialog_, 2);
    compareHint->setVisible(true);
    compareCancelButton->setEnabled(false);
    compareGauge->stepDownToZero();
    compareResults->clearLines();
}

// The fourth line of a comparison's header disables Cancel; the comparison
// itself enables it again when it starts.
void ComparePage::compareResultsChanged() {
    if (compareResults->lineCount() > 3) compareCancelButton->setEnabled(false);
}
