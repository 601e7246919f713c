// The presets panel's controls at their places, with their events bound.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"
#include "presets/Presets.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace tfs;

void TForm1::buildPresetsPanel() {
    GroupBox5 = skin::panel(this, "GroupBox5", QStringLiteral("Presets"));
    QGroupBox* p = GroupBox5;
    struct Row {
        PictureButton** button;
        const char* name;
        int x, y;
        void (TForm1::*click)();
    };
    const Row rows[] = {
        {&BitBtn23, "BitBtn23", 6, 13, &TForm1::BitBtn23Click},
        {&BitBtn15, "BitBtn15", 71, 14, &TForm1::BitBtn15Click},
        {&suiImageButton11, "suiImageButton11", 136, 13, &TForm1::suiImageButton11Click},
        {&BitBtn16, "BitBtn16", 201, 13, &TForm1::BitBtn16Click},
        {&suiImageButton6, "suiImageButton6", 266, 13, &TForm1::suiImageButton6Click},
        {&suiImageButton7, "suiImageButton7", 38, 71, &TForm1::suiImageButton7Click},
        {&BitBtn17, "BitBtn17", 104, 71, &TForm1::BitBtn17Click},
        {&suiImageButton13, "suiImageButton13", 171, 71, &TForm1::suiImageButton13Click},
        {&BitBtn18, "BitBtn18", 238, 71, &TForm1::BitBtn18Click},
        {&suiImageButton8, "suiImageButton8", 136, 126, &TForm1::suiImageButton8Click},
    };
    // The rows follow the preset table's order, which gives the captions.
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const Row& r = rows[i];
        PictureButton* b = skin::pictureButton(p, r.name, ":/art/floppy.svg", r.x, r.y, 50, 50);
        b->setText(mediaPresets().at(i).caption);
        // "800MB" is the one caption that isn't bold.
        b->setCaptionFont(skin::windowFont(qstrcmp(r.name, "suiImageButton13") != 0), Qt::white);
        *r.button = b;
        bind(b, &QAbstractButton::clicked, r.click);
        connect(b, &PictureButton::entered, this,
                [this, b] { guarded([this, b] { BitBtn23MouseEnter(b); }); });
        bind(b, &PictureButton::left, &TForm1::BitBtn23MouseExit);
    }
    Label4 = skin::label(p, "Label4", QStringLiteral("The Largest File that You can Create on Fat32"), 53, 177);
    QFont italic = skin::windowFont();
    italic.setItalic(true);
    Label4->setProperty("italic", true); // kept when the style sheet polishes the label
    Label4->setFont(italic);
    Label4->resize(246, 13);
    Image7 = skin::picture(p, "Image7", ":/art/folder.svg", 142, 204, 35, 37);
    Image7->setCursor(Qt::PointingHandCursor);
    Shape1 = new ShapeOutline(p, QColor(255, 255, 190));
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(261, 197, 37, 33);
    Shape1->hide();
    Gauge5 = skin::gauge(p, "Gauge5", 3, 250, 313, 25, QColor(128, 0, 0));
    gedit5 = skin::hintLabel(p, "gedit5",
                             QStringLiteral("            Presets for some frequently used media"),
                             4, 255, 310, 14);
    BitBtn19 = skin::button(p, "BitBtn19", QStringLiteral("Main"), 9, 288, 85, 25);
    BitBtn20 = skin::button(p, "BitBtn20", QStringLiteral("Cancel"), 224, 288, 85, 25);

    setAccessibleNames({{Image7, "Destination Folder"}, {Gauge5, "Presets"}});

    bind(Image7, &ClickLabel::clicked, &TForm1::Image7Click);
    bind(Image7, &ClickLabel::pressed, &TForm1::Image7MouseDown);
    bind(Image7, &ClickLabel::released, &TForm1::Image7MouseUp);
    bind(BitBtn19, &QPushButton::clicked, &TForm1::BitBtn19Click);
    bind(BitBtn20, &QPushButton::clicked, &TForm1::BitBtn20Click);

    setTabOrder({BitBtn19, BitBtn20, BitBtn15, BitBtn16, suiImageButton6, BitBtn18, suiImageButton8,
                 BitBtn17, suiImageButton7, BitBtn23, suiImageButton11, suiImageButton13});
}
