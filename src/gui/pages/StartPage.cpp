// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/pages/StartPage.h"

#include "gui/Accessibility.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"

#include <QPushButton>

StartPage::StartPage(QWidget* parent) : QGroupBox(QString(), parent) {
    setObjectName(QStringLiteral("startPanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    splitPageButton =
        skin::pictureButton(p, "splitPageButton", ":/art/start-split.svg", 27, 32, 128, 128);
    joinPageButton =
        skin::pictureButton(p, "joinPageButton", ":/art/start-join.svg", 163, 32, 128, 128);
    comparePageButton =
        skin::pictureButton(p, "comparePageButton", ":/art/start-compare.svg", 28, 168, 128, 128);
    presetsPageButton =
        skin::pictureButton(p, "presetsPageButton", ":/art/start-presets.svg", 163, 168, 128, 128);
    aboutPageButton = skin::button(p, "aboutPageButton", QStringLiteral("About"), 285, -3, 30, 15);
    aboutPageButton->setStyleSheet(QStringLiteral("font-size: 9px;"));
    productPicture = skin::picture(p, "productPicture", ":/art/product.svg", 289, 245, 32, 64);

    // The words are part of the pictures.
    setAccessibleNames({{splitPageButton, "Split"},
                        {joinPageButton, "Join"},
                        {comparePageButton, "Compare"},
                        {presetsPageButton, "Presets"}});

    QWidget::setTabOrder(joinPageButton, splitPageButton);
    QWidget::setTabOrder(splitPageButton, comparePageButton);
    QWidget::setTabOrder(comparePageButton, presetsPageButton);
    QWidget::setTabOrder(presetsPageButton, aboutPageButton);
}
