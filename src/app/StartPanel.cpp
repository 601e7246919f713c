// The start panel: four picture buttons that open the work panels, the small
// "About" button and a decorative picture.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QGroupBox>
#include <QPushButton>

void TForm1::buildStartPanel() {
    GroupBox1 = skin::panel(this, "GroupBox1", QString());
    QGroupBox* p = GroupBox1;
    suiImageButton3 = skin::pictureButton(p, "suiImageButton3", ":/art/start-split.svg", 27, 32, 128, 128);
    suiImageButton1 = skin::pictureButton(p, "suiImageButton1", ":/art/start-join.svg", 163, 32, 128, 128);
    suiImageButton2 = skin::pictureButton(p, "suiImageButton2", ":/art/start-compare.svg", 28, 168, 128, 128);
    suiImageButton4 = skin::pictureButton(p, "suiImageButton4", ":/art/start-presets.svg", 163, 168, 128, 128);
    suiImageButton9 = skin::button(p, "suiImageButton9", QStringLiteral("About"), 285, -3, 30, 15);
    suiImageButton9->setStyleSheet(QStringLiteral("font-size: 9px;"));
    Image3 = skin::picture(p, "Image3", ":/art/product.svg", 289, 245, 32, 64);

    // The words are part of the pictures.
    setAccessibleNames({{suiImageButton3, "Split"},
                        {suiImageButton1, "Join"},
                        {suiImageButton2, "Compare"},
                        {suiImageButton4, "Presets"}});

    bind(suiImageButton3, &QAbstractButton::clicked, &TForm1::suiImageButton3Click);
    bind(suiImageButton1, &QAbstractButton::clicked, &TForm1::suiImageButton1Click);
    bind(suiImageButton2, &QAbstractButton::clicked, &TForm1::suiImageButton2Click);
    bind(suiImageButton4, &QAbstractButton::clicked, &TForm1::suiImageButton4Click);
    bind(suiImageButton9, &QAbstractButton::clicked, &TForm1::suiImageButton9Click);

    setTabOrder({suiImageButton1, suiImageButton3, suiImageButton2, suiImageButton4, suiImageButton9});
}
