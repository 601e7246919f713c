// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/pages/AboutPage.h"

#include "gui/Accessibility.h"
#include "gui/Guarded.h"
#include "gui/Seams.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QUrl>

namespace {

const char* const HomePage = "https://tarvello.example.org";
const char* const PurchasePage = "https://tarvello.example.org/support";

// The start panel's four picture buttons in miniature.
QPixmap startPanelMiniature(const QSize& size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const int w = size.width() / 2 - 2;
    const int h = size.height() / 2 - 2;
    const char* const pictures[] = {":/art/start-split.svg", ":/art/start-join.svg",
                                    ":/art/start-compare.svg", ":/art/start-presets.svg"};
    for (int i = 0; i < 4; ++i)
        p.drawPixmap((i % 2) * (w + 4), (i / 2) * (h + 4), svgPixmap(pictures[i], QSize(w, h)));
    return pm;
}

} // namespace

AboutPage::AboutPage(QWidget* parent) : QGroupBox(QStringLiteral("About"), parent) {
    setObjectName(QStringLiteral("aboutPanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    programIcon = skin::picture(p, "programIcon", ":/art/program-icon.svg", 7, 17, 98, 71);
    productNameLabel = skin::label(p, "productNameLabel",
                                   QStringLiteral("Product Name: Tarvello FileSplitter"), 110, 13);
    versionLabel = skin::label(p, "versionLabel", QStringLiteral("Version: 1.00"), 110, 41);
    creditLabel =
        skin::label(p, "creditLabel", QStringLiteral("Made by the Tarvello developers"), 10, 95);
    homePageCaption = skin::label(p, "homePageCaption", QStringLiteral("Homepage:"), 14, 120);

    homePageLink = new LinkLabel(p);
    homePageLink->setObjectName(QStringLiteral("homePageLink"));
    homePageLink->setText(QStringLiteral("tarvello.example.org"));
    homePageLink->Hint = QString::fromLatin1(HomePage);
    homePageLink->setStyleSheet(
        QStringLiteral("color: rgb(80,140,255); text-decoration: underline;"));
    homePageLink->setCursor(Qt::PointingHandCursor);
    homePageLink->adjustSize();
    homePageLink->move(96, 120);

    startMiniature = skin::picture(p, "startMiniature", QString(), 200, 40, 110, 102);
    startMiniature->setPixmap(startPanelMiniature(QSize(110, 102)));
    startMiniature->setCursor(Qt::PointingHandCursor);
    cardsPicture = skin::picture(p, "cardsPicture", ":/art/cards.svg", 264, 290, 46, 21);
    cardsPicture->setCursor(Qt::PointingHandCursor);
    purchaseLink = new LinkLabel(p);
    purchaseLink->setObjectName(QStringLiteral("purchaseLink"));
    purchaseLink->setGeometry(184, 296, 3, 13);
    purchaseLink->Hint = QString::fromLatin1(PurchasePage);
    // Left of the purchase link and the card logos, the room the window has.
    licenseLabel =
        skin::label(p, "licenseLabel", QStringLiteral("License: GNU GPL 3 or later"), 10, 296);

    commentsBox = new QGroupBox(QStringLiteral("Comments"), p);
    commentsBox->setObjectName(QStringLiteral("commentsBox"));
    commentsBox->setGeometry(8, 142, 303, 142);
    commentsText = skin::memo(commentsBox, "commentsText", 7, 14, 289, 123);
    for (const char* line :
         {"    - Tarvello File Splitter is absolutely free, easy to use",
          "application,  which allows splitting  files, of any type and ",
          "size in smaller pieces,  so  they can be transfered by ",
          "e-mail , uploaded on file-sharing sites, or to be copying on",
          "different media type, and  afterwards they can be ", "merged again.",
          "Software is fully compatible with other similar ",
          "applications, so there is no need for same software", "on  another PC.", "   ", ""})
        commentsText->addLine(QString::fromLatin1(line));
    commentsText->setEnabled(false);
    commentsText->setStyleSheet(QStringLiteral("QPlainTextEdit:disabled { color: black; }"));
    commentsText->setLineWrapMode(QPlainTextEdit::NoWrap);
    commentsText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The miniature leads back as "Main" does; the card logos and the empty
    // label open the purchase page that purchaseLink holds.
    setAccessibleNames({{startMiniature, "Main"}});
    cardsPicture->setAccessibleName(purchaseLink->Hint);
    purchaseLink->setAccessibleName(purchaseLink->Hint);

    bindGuarded(homePageLink, &ClickLabel::clicked, this, &AboutPage::openHomePage);
    bindGuarded(purchaseLink, &ClickLabel::clicked, this, &AboutPage::openPurchasePage);
    bindGuarded(cardsPicture, &ClickLabel::clicked, this, &AboutPage::openPurchasePage);
    connect(startMiniature, &ClickLabel::clicked, this, &AboutPage::startPageRequested);
    bindGuarded(startMiniature, &ClickLabel::pressed, this, &AboutPage::pressMiniature);
    bindGuarded(startMiniature, &ClickLabel::released, this, &AboutPage::releaseMiniature);
    bindGuarded(cardsPicture, &ClickLabel::pressed, this, &AboutPage::pressCardsPicture);
    bindGuarded(cardsPicture, &ClickLabel::released, this, &AboutPage::releaseCardsPicture);
}

void AboutPage::openLink(QObject* control) {
    auto* label = qobject_cast<LinkLabel*>(control);
    if (!label) return;
    seams().openUrl(QUrl(label->Hint));
}

void AboutPage::openHomePage() { openLink(homePageLink); }
void AboutPage::openPurchasePage() { openLink(purchaseLink); }

// A picture that acts as a button moves by a pixel while it is held down.
void AboutPage::pressMiniature() { startMiniature->move(startMiniature->pos() + QPoint(1, 1)); }
void AboutPage::releaseMiniature() { startMiniature->move(startMiniature->pos() - QPoint(1, 1)); }
void AboutPage::pressCardsPicture() { cardsPicture->move(cardsPicture->pos() + QPoint(1, 1)); }
void AboutPage::releaseCardsPicture() { cardsPicture->move(cardsPicture->pos() - QPoint(1, 1)); }
