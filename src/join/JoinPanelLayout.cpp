// The join panel's controls at their places, with their events bound.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void TForm1::buildJoinPanel() {
    GroupBox3 = skin::panel(this, "GroupBox3", QStringLiteral("Join Files"));
    QGroupBox* p = GroupBox3;
    suiImageButton10 = skin::button(p, "suiImageButton10", QStringLiteral("Load File"), 4, 21, 92, 33);
    Label5 = skin::label(p, "Label5", QStringLiteral("Source"), 134, 43, true);
    Edit5 = skin::field(p, "Edit5", 5, 70, 312, 21, true);
    suiImageButton12 = skin::button(p, "suiImageButton12", QStringLiteral("Destination"), 6, 108, 92, 33);
    Label6 = skin::label(p, "Label6", QStringLiteral("Destination"), 130, 119, true);
    Image6 = skin::picture(p, "Image6", ":/art/folder.svg", 258, 108, 37, 35);
    Image6->setCursor(Qt::PointingHandCursor);
    Edit6 = skin::field(p, "Edit6", 5, 153, 312, 21, true);
    Image1 = skin::picture(p, "Image1", QString(), 22, 195, 50, 50);
    Image1->setScaledContents(false);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setEnabled(false);
    BitBtn2 = skin::button(p, "BitBtn2", QStringLiteral("Join"), 116, 200, 92, 31);
    suiImageButton5 = skin::pictureButton(p, "suiImageButton5", QString(), 250, 195, 50, 50);
    Label12 = skin::label(p, "Label12", QStringLiteral("Run Joined and Exit"), 220, 231);
    Gauge2 = skin::gauge(p, "Gauge2", 3, 249, 313, 25, QColor(255, 0, 0));
    gEdit2 = skin::hintLabel(p, "gEdit2",
                             QStringLiteral("    Choose anyone of files with ascending extensions"),
                             4, 254, 310, 14);
    BitBtn11 = skin::button(p, "BitBtn11", QStringLiteral("Main"), 8, 288, 83, 26);
    BitBtn12 = skin::button(p, "BitBtn12", QStringLiteral("Cancel"), 224, 288, 85, 25);
    BitBtn22 = skin::button(p, "BitBtn22", QStringLiteral("Undo"), 224, 288, 85, 25);

    setAccessibleNames({{Edit5, "Source"},
                        {Edit6, "Destination"},
                        {Image6, "Destination"},
                        {suiImageButton5, "Run Joined and Exit"},
                        {Gauge2, "Join Files"}});

    bind(suiImageButton10, &QPushButton::clicked, &TForm1::suiImageButton10Click);
    bind(Edit5, &QLineEdit::textChanged, &TForm1::Edit5Change);
    bind(suiImageButton12, &QPushButton::clicked, &TForm1::suiImageButton12Click);
    bind(Image6, &ClickLabel::clicked, &TForm1::Image6Click);
    bind(Image6, &ClickLabel::pressed, &TForm1::Image6MouseDown);
    bind(Image6, &ClickLabel::released, &TForm1::Image6MouseUp);
    bind(Edit6, &QLineEdit::textChanged, &TForm1::Edit6Change);
    bind(BitBtn2, &QPushButton::clicked, &TForm1::BitBtn2Click);
    bind(suiImageButton5, &QAbstractButton::clicked, &TForm1::suiImageButton5Click);
    bind(BitBtn11, &QPushButton::clicked, &TForm1::BitBtn11Click);
    bind(BitBtn12, &QPushButton::clicked, &TForm1::BitBtn12Click);
    bind(BitBtn22, &QPushButton::clicked, &TForm1::BitBtn22Click);

    setTabOrder({Edit5, Edit6, BitBtn2, BitBtn11, BitBtn12, BitBtn22, suiImageButton10,
                 suiImageButton12, suiImageButton5});
}
