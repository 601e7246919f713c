// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

class ClickLabel;
class LinkLabel;
class Memo;
class QLabel;

// The about page: product name, version, a description, two links and the
// license. It is left by a click on the miniature of the start page
// (startPageRequested) or, through the window, by a character key.
class AboutPage : public QGroupBox {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent);

    ClickLabel* programIcon;
    QLabel* productNameLabel;
    QLabel* versionLabel;
    QLabel* creditLabel;
    QLabel* homePageCaption; // "Homepage:"
    LinkLabel* homePageLink;
    ClickLabel* startMiniature; // the start page in miniature: leads back to it
    ClickLabel* cardsPicture;   // card logos: open the purchase page
    LinkLabel* purchaseLink;    // empty; holds the purchase page's address
    QLabel* licenseLabel;       // the program's license, below the comments
    QGroupBox* commentsBox;
    Memo* commentsText;

    // Opens the address a link label holds; any other control opens nothing.
    void openLink(QObject* control);
    void openHomePage();
    void openPurchasePage();

signals:
    void startPageRequested();

private:
    void pressMiniature();
    void releaseMiniature();
    void pressCardsPicture();
    void releaseCardsPicture();
};
