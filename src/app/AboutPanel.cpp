// The about panel: product name, version, a description and two links. It is
// left by a click on the miniature of the start panel or by a character key.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QGroupBox>
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

void TForm1::buildAboutPanel() {
    GroupBox6 = skin::panel(this, "GroupBox6", QStringLiteral("About"));
    QGroupBox* p = GroupBox6;
    ProgramIcon = skin::picture(p, "ProgramIcon", ":/art/program-icon.svg", 7, 17, 98, 71);
    ProductName = skin::label(p, "ProductName", QStringLiteral("Product Name: Tarvello FileSplitter"), 110, 13);
    Version = skin::label(p, "Version", QStringLiteral("Version: 1.00"), 110, 41);
    CreditLabel = skin::label(p, "CreditLabel", QStringLiteral("Made by the Tarvello developers"), 10, 95);
    Comments = skin::label(p, "Comments", QStringLiteral("Homepage:"), 14, 120);

    Label11 = new LinkLabel(p);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label11->setText(QStringLiteral("tarvello.example.org"));
    Label11->Hint = QString::fromLatin1(HomePage);
    Label11->setStyleSheet(QStringLiteral("color: rgb(80,140,255); text-decoration: underline;"));
    Label11->setCursor(Qt::PointingHandCursor);
    Label11->adjustSize();
    Label11->move(96, 120);

    Image4 = skin::picture(p, "Image4", QString(), 200, 40, 110, 102);
    Image4->setPixmap(startPanelMiniature(QSize(110, 102)));
    Image4->setCursor(Qt::PointingHandCursor);
    Image8 = skin::picture(p, "Image8", ":/art/cards.svg", 264, 290, 46, 21);
    Image8->setCursor(Qt::PointingHandCursor);
    Label13 = new LinkLabel(p);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(184, 296, 3, 13);
    Label13->Hint = QString::fromLatin1(PurchasePage);

    GroupBox7 = new QGroupBox(QStringLiteral("Comments"), p);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    GroupBox7->setGeometry(8, 142, 303, 142);
    suiMemo4 = skin::memo(GroupBox7, "suiMemo4", 7, 14, 289, 123);
    for (const char* line : {"    - Tarvello File Splitter is absolutely free, easy to use",
                             "application,  which allows splitting  files, of any type and ",
                             "size in smaller pieces,  so  they can be transfered by ",
                             "e-mail , uploaded on file-sharing sites, or to be copying on",
                             "different media type, and  afterwards they can be ",
                             "merged again.",
                             "Software is fully compatible with other similar ",
                             "applications, so there is no need for same software",
                             "on  another PC.",
                             "   ",
                             ""})
        suiMemo4->addLine(QString::fromLatin1(line));
    suiMemo4->setEnabled(false);
    suiMemo4->setStyleSheet(QStringLiteral("QPlainTextEdit:disabled { color: black; }"));
    suiMemo4->setLineWrapMode(QPlainTextEdit::NoWrap);
    suiMemo4->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // The miniature leads back as "Main" does; the card logos and the empty
    // label open the purchase page that Label13 holds.
    setAccessibleNames({{Image4, "Main"}});
    Image8->setAccessibleName(Label13->Hint);
    Label13->setAccessibleName(Label13->Hint);

    bind(Label11, &ClickLabel::clicked, &TForm1::Label11Click);
    bind(Label13, &ClickLabel::clicked, &TForm1::Label13Click);
    bind(Image8, &ClickLabel::clicked, &TForm1::Image8Click);
    bind(Image4, &ClickLabel::clicked, &TForm1::Image4Click);
    bind(Image4, &ClickLabel::pressed, &TForm1::Image4MouseDown);
    bind(Image4, &ClickLabel::released, &TForm1::Image4MouseUp);
    bind(Image8, &ClickLabel::pressed, &TForm1::Image8MouseDown);
    bind(Image8, &ClickLabel::released, &TForm1::Image8MouseUp);
}

void TForm1::suiImageButton9Click() {
    sakrigrupe();
    GroupBox6->setVisible(true);
    if (GroupBox6->isVisible())
        onemogucix();
}

void TForm1::idinaurl(QObject* control) {
    auto* label = qobject_cast<LinkLabel*>(control);
    if (!label)
        return;
    seams().openUrl(QUrl(label->Hint));
}

void TForm1::Label11Click() { idinaurl(Label11); }

void TForm1::Label13Click() { idinaurl(Label13); }

// Runs Label13's click with the window as the sender.
void TForm1::Image8Click() { Label13Click(); }

void TForm1::Image4Click() {
    sakrigrupe();
    omogucix();
    GroupBox1->setVisible(true);
}

void TForm1::Image4MouseDown() { Image4->move(Image4->pos() + QPoint(1, 1)); }
void TForm1::Image4MouseUp() { Image4->move(Image4->pos() - QPoint(1, 1)); }
void TForm1::Image8MouseDown() { Image8->move(Image8->pos() + QPoint(1, 1)); }
void TForm1::Image8MouseUp() { Image8->move(Image8->pos() - QPoint(1, 1)); }
