// The compare panel's controls at their places, with their events bound.
#include "gui/Accessibility.h"
#include "gui/MainWindow.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void MainWindow::buildComparePanel() {
    comparePanel = skin::panel(this, "comparePanel", QStringLiteral("Compare"));
    QGroupBox* p = comparePanel;
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

    bind(checksumButton, &QPushButton::clicked, &MainWindow::startChecksum);
    bind(checksumResults, &Memo::linesChanged, &MainWindow::checksumResultsChanged);
    bind(compareButton, &QPushButton::clicked, &MainWindow::startCompare);
    bind(compareResults, &Memo::linesChanged, &MainWindow::compareResultsChanged);
    bind(compareMainButton, &QPushButton::clicked, &MainWindow::leaveComparePage);
    bind(checksumCancelButton, &QPushButton::clicked, &MainWindow::cancelChecksum);
    bind(compareCancelButton, &QPushButton::clicked, &MainWindow::cancelCompare);

    setTabOrder({compareButton, checksumCancelButton, compareCancelButton, compareMainButton,
                 checksumButton});
}
