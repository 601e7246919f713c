// SPDX-License-Identifier: GPL-3.0-or-later
// The join page's controls at their places, with their events bound.
#include "gui/Accessibility.h"
#include "gui/Guarded.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "gui/pages/JoinPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

JoinPage::JoinPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& partDialog,
                   FolderBrowser& folderBrowser)
    : OperationPage(QStringLiteral("Join Files"), parent), reportDialog_(reportDialog),
      partDialog_(partDialog), folderBrowser_(folderBrowser) {
    setObjectName(QStringLiteral("joinPanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    loadPartButton = skin::button(p, "loadPartButton", QStringLiteral("Load File"), 4, 21, 92, 33);
    chosenPartLabel = skin::label(p, "chosenPartLabel", QStringLiteral("Source"), 134, 43, true);
    chosenPartField = skin::field(p, "chosenPartField", 5, 70, 312, 21, true);
    joinDestinationButton =
        skin::button(p, "joinDestinationButton", QStringLiteral("Destination"), 6, 108, 92, 33);
    joinDestinationLabel =
        skin::label(p, "joinDestinationLabel", QStringLiteral("Destination"), 130, 119, true);
    joinDestinationPicture =
        skin::picture(p, "joinDestinationPicture", ":/art/folder.svg", 258, 108, 37, 35);
    joinDestinationPicture->setCursor(Qt::PointingHandCursor);
    joinDestinationField = skin::field(p, "joinDestinationField", 5, 153, 312, 21, true);
    outputIcon = skin::picture(p, "outputIcon", QString(), 22, 195, 50, 50);
    outputIcon->setScaledContents(false);
    outputIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    outputIcon->setEnabled(false);
    joinButton = skin::button(p, "joinButton", QStringLiteral("Join"), 116, 200, 92, 31);
    runJoinedButton = skin::pictureButton(p, "runJoinedButton", QString(), 250, 195, 50, 50);
    runJoinedLabel =
        skin::label(p, "runJoinedLabel", QStringLiteral("Run Joined and Exit"), 220, 231);
    joinGauge = skin::gauge(p, "joinGauge", 3, 249, 313, 25, QColor(255, 0, 0));
    joinHint = skin::hintLabel(
        p, "joinHint", QStringLiteral("    Choose anyone of files with ascending extensions"), 4,
        254, 310, 14);
    joinMainButton = skin::button(p, "joinMainButton", QStringLiteral("Main"), 8, 288, 83, 26);
    joinCancelButton =
        skin::button(p, "joinCancelButton", QStringLiteral("Cancel"), 224, 288, 85, 25);
    joinUndoButton = skin::button(p, "joinUndoButton", QStringLiteral("Undo"), 224, 288, 85, 25);

    setAccessibleNames({{chosenPartField, "Source"},
                        {joinDestinationField, "Destination"},
                        {joinDestinationPicture, "Destination"},
                        {runJoinedButton, "Run Joined and Exit"},
                        {joinGauge, "Join Files"}});

    bindGuarded(loadPartButton, &QPushButton::clicked, this, &JoinPage::choosePart);
    bindGuarded(chosenPartField, &QLineEdit::textChanged, this, &JoinPage::chosenPartChanged);
    bindGuarded(joinDestinationButton, &QPushButton::clicked, this,
                &JoinPage::chooseJoinDestination);
    bindGuarded(joinDestinationPicture, &ClickLabel::clicked, this, &JoinPage::openJoinDestination);
    bindGuarded(joinDestinationPicture, &ClickLabel::pressed, this,
                &JoinPage::pressJoinDestinationPicture);
    bindGuarded(joinDestinationPicture, &ClickLabel::released, this,
                &JoinPage::releaseJoinDestinationPicture);
    bindGuarded(joinDestinationField, &QLineEdit::textChanged, this,
                &JoinPage::joinDestinationChanged);
    bindGuarded(joinButton, &QPushButton::clicked, this, &JoinPage::startJoin);
    bindGuarded(runJoinedButton, &QAbstractButton::clicked, this, &JoinPage::runJoinedAndExit);
    connect(joinMainButton, &QPushButton::clicked, this, &JoinPage::startPageRequested);
    bindGuarded(joinCancelButton, &QPushButton::clicked, this, &JoinPage::cancelJoin);
    bindGuarded(joinUndoButton, &QPushButton::clicked, this, &JoinPage::undoJoin);

    const QList<QWidget*> order{chosenPartField, joinDestinationField,  joinButton,
                                joinMainButton,  joinCancelButton,      joinUndoButton,
                                loadPartButton,  joinDestinationButton, runJoinedButton};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
