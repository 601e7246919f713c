// The split panel's controls at their places, with their events bound.
#include "app/Accessibility.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

void TForm1::buildSplitPanel() {
    GroupBox2 = skin::panel(this, "GroupBox2", QStringLiteral("Split Files"));
    QGroupBox* p = GroupBox2;
    BitBtn1 = skin::button(p, "BitBtn1", QStringLiteral("Load  File"), 4, 15, 92, 33);
    Label10 = skin::label(p, "Label10", QStringLiteral("Converted File Size"), 170, 8, true);
    suiMemo3 = skin::memo(p, "suiMemo3", 136, 21, 179, 71);
    Label1 = skin::label(p, "Label1", QStringLiteral("FIle Size"), 7, 53, true);
    Edit1 = skin::field(p, "Edit1", 4, 72, 121, 19, true);
    Label2 = skin::label(p, "Label2", QStringLiteral("Part size"), 7, 94, true);
    Label3 = skin::label(p, "Label3", QStringLiteral("Units"), 100, 94, true);
    Label7 = skin::label(p, "Label7", QStringLiteral("For Output"), 227, 94, true);
    Edit2 = skin::field(p, "Edit2", 4, 108, 93, 23, false);
    ComboBox1 = skin::selector(p, "ComboBox1", 99, 109, 122, 21);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("Bytes"), QStringLiteral("Kilobytes"),
                         QStringLiteral("Megabytes"), QStringLiteral("Gigabytes")});
    ComboBox1->setCurrentIndex(2);
    Edit7 = skin::field(p, "Edit7", 224, 108, 93, 23, true);
    BitBtn6 = skin::button(p, "BitBtn6", QStringLiteral("Split"), 4, 134, 92, 33);
    Label8 = skin::label(p, "Label8", QStringLiteral("Source"), 131, 153, true);
    Edit3 = skin::field(p, "Edit3", 5, 171, 311, 21, true);
    BitBtn7 = skin::button(p, "BitBtn7", QStringLiteral(" Destination"), 4, 196, 92, 33);
    Label9 = skin::label(p, "Label9", QStringLiteral("Destination Folder  "), 109, 213, true);
    Label9->setCursor(Qt::PointingHandCursor);
    Image5 = skin::picture(p, "Image5", ":/art/folder.svg", 275, 195, 31, 35);
    Image5->setCursor(Qt::PointingHandCursor);
    Edit4 = skin::field(p, "Edit4", 6, 233, 310, 21, true);
    Gauge1 = skin::gauge(p, "Gauge1", 6, 258, 310, 25, QColor(128, 0, 0));
    gEdit1 = skin::hintLabel(p, "gEdit1",
                             QStringLiteral("             Click Load File to choose file to be split"),
                             8, 263, 306, 14);
    BitBtn10 = skin::button(p, "BitBtn10", QStringLiteral("Main"), 6, 288, 85, 25);
    BitBtn9 = skin::button(p, "BitBtn9", QStringLiteral("Cancel"), 227, 288, 85, 25);

    // The fields are named by their captions, the folder picture by its label.
    setAccessibleNames({{Edit1, "FIle Size"},
                        {Edit2, "Part size"},
                        {ComboBox1, "Units"},
                        {Edit7, "For Output"},
                        {Edit3, "Source"},
                        {Edit4, "Destination Folder"},
                        {Image5, "Destination Folder"},
                        {Gauge1, "Split Files"}});
    ComboBox1->lineEdit()->setAccessibleName(QStringLiteral("Units"));

    // Edit2 offers no context menu: its menu has no items.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Edit2->setContextMenuPolicy(Qt::CustomContextMenu);
    Edit2->setAcceptDrops(false);
    Edit2->setAttribute(Qt::WA_InputMethodEnabled, false); // digits come from the keys only
    connect(Edit2, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!PopupMenu1->isEmpty())
            PopupMenu1->popup(Edit2->mapToGlobal(at));
    });
    Edit2->installEventFilter(this);
    ComboBox1->installEventFilter(this);
    if (ComboBox1->lineEdit())
        ComboBox1->lineEdit()->installEventFilter(this);

    bind(BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
    bind(Edit1, &QLineEdit::textChanged, &TForm1::Edit1Change);
    bind(Edit2, &QLineEdit::textChanged, &TForm1::Edit2Change);
    bind(ComboBox1, &QComboBox::currentTextChanged, &TForm1::ComboBox1Change);
    bind(BitBtn6, &QPushButton::clicked, &TForm1::BitBtn6Click);
    bind(Edit3, &QLineEdit::textChanged, &TForm1::Edit3Change);
    bind(BitBtn7, &QPushButton::clicked, &TForm1::BitBtn7Click);
    bind(Image5, &ClickLabel::clicked, &TForm1::Image5Click);
    bind(Image5, &ClickLabel::pressed, &TForm1::Image5MouseDown);
    bind(Image5, &ClickLabel::released, &TForm1::Image5MouseUp);
    bind(Edit4, &QLineEdit::textChanged, &TForm1::Edit4Change);
    bind(BitBtn10, &QPushButton::clicked, &TForm1::BitBtn10Click);
    bind(BitBtn9, &QPushButton::clicked, &TForm1::BitBtn9Click);

    setTabOrder({Edit1, Edit7, ComboBox1, Edit2, Edit3, Edit4, BitBtn1, BitBtn6, BitBtn7, BitBtn10,
                 BitBtn9});
}

// Key filters of the part-size field and the unit box: a key that a handler
// discards never reaches the control. Tab, Backtab and Delete type no character
// and work as usual.
// Edit2 takes no paste by mouse either (the middle button pastes the selection).
bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Edit2 && (e->type() == QEvent::MouseButtonPress ||
                             e->type() == QEvent::MouseButtonRelease ||
                             e->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(e)->button() == Qt::MiddleButton)
        return true;
    if (e->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, e);
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Delete)
        return QWidget::eventFilter(watched, e);
    const QString text = key->text();
    bool pass = true;
    if (watched == Edit2) {
        guarded([&] { pass = Edit2KeyDown(key); });
        if (pass && !text.isEmpty())
            guarded([&] { pass = Edit2KeyPress(text.at(0)); });
    } else if (watched == ComboBox1 || watched == ComboBox1->lineEdit()) {
        if (!text.isEmpty())
            guarded([&] { pass = ComboBox1KeyPress(text.at(0)); });
    }
    return pass ? QWidget::eventFilter(watched, e) : true;
}
