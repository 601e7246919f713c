// The compare panel's controls at their places, with their events bound.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void TForm1::buildComparePanel() {
    GroupBox4 = skin::panel(this, "GroupBox4", QStringLiteral("Compare"));
    QGroupBox* p = GroupBox4;
    BitBtn3 = skin::button(p, "BitBtn3", QStringLiteral("CheckSum"), 9, 19, 82, 25);
    Gauge3 = skin::gauge(p, "Gauge3", 96, 19, 220, 25, QColor(0, 0, 128));
    gEdit3 = skin::hintLabel(p, "gEdit3", QStringLiteral("       Calculates checksum of a file"),
                             97, 25, 217, 14);
    suiMemo1 = skin::memo(p, "suiMemo1", 4, 48, 312, 97);
    BitBtn4 = skin::button(p, "BitBtn4", QStringLiteral("Compare Files"), 7, 152, 85, 25);
    Gauge4 = skin::gauge(p, "Gauge4", 96, 153, 220, 25, QColor(0, 0, 255));
    gEdit4 = skin::hintLabel(p, "gEdit4", QStringLiteral("                Compares two files"),
                             97, 158, 217, 14);
    suiMemo2 = skin::memo(p, "suiMemo2", 3, 184, 313, 97);
    BitBtn13 = skin::button(p, "BitBtn13", QStringLiteral("Main"), 6, 288, 85, 25);
    BitBtn21 = skin::button(p, "BitBtn21", QStringLiteral("Cancel"), 229, 288, 85, 25);
    BitBtn14 = skin::button(p, "BitBtn14", QStringLiteral("Cancel"), 229, 288, 85, 25);

    setAccessibleNames({{Gauge3, "CheckSum"}, {Gauge4, "Compare Files"}});

    bind(BitBtn3, &QPushButton::clicked, &TForm1::BitBtn3Click);
    bind(suiMemo1, &Memo::linesChanged, &TForm1::suiMemo1Change);
    bind(BitBtn4, &QPushButton::clicked, &TForm1::BitBtn4Click);
    bind(suiMemo2, &Memo::linesChanged, &TForm1::suiMemo2Change);
    bind(BitBtn13, &QPushButton::clicked, &TForm1::BitBtn13Click);
    bind(BitBtn21, &QPushButton::clicked, &TForm1::BitBtn21Click);
    bind(BitBtn14, &QPushButton::clicked, &TForm1::BitBtn14Click);

    setTabOrder({BitBtn4, BitBtn21, BitBtn14, BitBtn13, BitBtn3});
}
