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
#include "verify/CompareEngine.h"
#include "verify/Crc32.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

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
void serveWindow(QWidget* window, bool windowWasShown, quint8& cancelFlag) {
    QCoreApplication::processEvents();
    if (windowWasShown && !window->isVisible()) cancelFlag = 1;
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
    state_.ChecksumCancelFlag = 1;
    state_.CompareCancelFlag = 1;
}

// ---------------------------------------------------------------- checksum

// CheckSum and Compare Files share the CRC's byte count and the comparison's
// streams and buffers: neither may start inside the other's (or its own)
// event-loop turn, so both stay disabled until the running command returns,
// however it returns.
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
    state_.ChecksumCancelFlag = 0;
    if (!fileDialog_.exec(window())) return;
    const QString path = fileDialog_.fileName();
    requireRegularFile(path); // a named pipe would wait for a writer
    checksumHint->setVisible(false);
    compareHint->setVisible(true);
    compareGauge->setProgress(0);

    const bool shown = window()->isVisible();
    CrcHooks hooks;
    hooks.progress = [this](int percent) { checksumGauge->setProgress(percent); };
    hooks.yield = [this, shown] { serveWindow(window(), shown, state_.ChecksumCancelFlag); };
    const GaugeRun run({checksumGauge}, QFileInfo(path).size());
    const quint32 crc = FileCrc32(state_, path, hooks);

    if (state_.ChecksumCancelFlag != 0) {
        checksumGauge->stepDownToZero();
        return;
    }
    checksumResults->addLine(QStringLiteral("CheckSum for ") + path);
    checksumResults->addLine(QString());
    checksumResults->addLine(QString::asprintf("CRC32 is: $%.8X", static_cast<unsigned>(crc)));
    checksumResults->addLine(QString::number(crc));
}

void ComparePage::cancelChecksum() {
    state_.ChecksumCancelFlag = 1;
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
    if (state_.CompareCancelFlag != 0) compareResults->clearLines();
}

bool ComparePage::runCompare(const QString& first, const QString& second) {
    const bool shown = window()->isVisible();
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
    hooks.yield = [this, shown] { serveWindow(window(), shown, state_.CompareCancelFlag); };
    hooks.finished = [this] { compareResults->clearLines(); };
    const GaugeRun run({compareGauge}, QFileInfo(first).size());
    return tfs::compareFiles(state_, first, second, hooks);
}

void ComparePage::cancelCompare() {
    state_.CompareCancelFlag = 1;
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
