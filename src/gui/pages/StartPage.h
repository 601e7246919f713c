// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

class ClickLabel;
class PictureButton;
class QPushButton;

// The start page: four picture buttons that open the work pages, the small
// "About" button and a decorative picture. The window connects the buttons.
class StartPage : public QGroupBox {
    Q_OBJECT
public:
    explicit StartPage(QWidget* parent);

    PictureButton* splitPageButton;
    PictureButton* joinPageButton;
    PictureButton* comparePageButton;
    PictureButton* presetsPageButton;
    QPushButton* aboutPageButton; // "About"
    ClickLabel* productPicture;
};
