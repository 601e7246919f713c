// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Skin.h"

#include "gui/Widgets.h"

#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace skin {

QFont windowFont(bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}

void installFonts() {
    // Debian's fonts-wine ships a metric-compatible Tahoma outside fontconfig's
    // folders. Its bold face draws at the window's 11 pixels exactly like the
    // regular one (the bold captions came out regular), so only the regular
    // face is added and bold text is drawn by emboldening it.
    const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(tahoma)) QFontDatabase::addApplicationFont(tahoma);
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
}

QString windowStyle() {
    return QStringLiteral(R"(
QWidget { color: rgb(192,192,192); }
MainWindow { background-color: rgb(56,56,56); }
QGroupBox { border: 1px solid rgb(96,96,96); border-radius: 4px; margin-top: 5px;
            font-weight: bold; }
QGroupBox::title { subcontrol-origin: margin; left: 9px; padding: 0 3px; }
QGroupBox#startPanel { border: none; margin-top: 0; }
QGroupBox#presetsPanel { color: white; }
QPushButton { border-image: url(:/art/button.svg) 4 4 4 4 stretch stretch; border: 4px;
              color: rgb(192,192,192); padding: 0; }
QPushButton:hover { border-image: url(:/art/button-hover.svg) 4 4 4 4 stretch stretch; }
QPushButton:pressed { border-image: url(:/art/button-pressed.svg) 4 4 4 4 stretch stretch; }
QPushButton:disabled { border-image: url(:/art/button-disabled.svg) 4 4 4 4 stretch stretch;
                       color: rgb(110,110,110); }
QPushButton:focus { color: white; }
QLineEdit { background-color: rgb(67,78,84); border: 1px solid black; color: white;
            selection-background-color: rgb(120,100,40); }
QLineEdit:disabled { color: rgb(150,150,150); }
QPlainTextEdit { background-color: rgb(67,78,84); border: 1px solid black; color: white; }
QPlainTextEdit:disabled { color: black; }
QSpinBox { background-color: rgb(67,78,84); border: 1px solid black; color: white;
           selection-background-color: rgb(120,100,40); }
QSpinBox:disabled { color: rgb(150,150,150); }
QCheckBox:disabled { color: rgb(110,110,110); }
QComboBox { background-color: rgb(67,78,84); border: 1px solid white; color: white;
            padding: 0 2px; }
QComboBox:disabled { color: rgb(150,150,150); border-color: rgb(120,120,120); }
QComboBox QAbstractItemView { background-color: rgb(67,78,84); color: white;
                              selection-background-color: rgb(120,100,40); }
QLabel[hint="true"] { background-color: rgb(255,255,0); color: rgb(255,0,0); font-weight: bold; }
QLabel[bold="true"] { font-weight: bold; }
QLabel[italic="true"] { font-style: italic; }
QToolTip { color: black; background-color: rgb(255,255,225); border: 1px solid black; }
)");
}

QString dialogStyle() {
    return QStringLiteral(
        "ReportDialog { background-color: rgb(56,56,56); } QLabel { color: white; }");
}

namespace {
template <class W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}
} // namespace

QGroupBox* panel(QWidget* parent, const char* name, const QString& caption) {
    auto* g = place(new QGroupBox(caption, parent), name, 7, 5, 320, 320);
    g->setFlat(false);
    return g;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                    int h) {
    auto* b = place(new QPushButton(caption, parent), name, x, y, w, h);
    b->setAutoDefault(false);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, bool bold) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    // The style sheet sets the weight when it polishes the label: a bold font
    // set here alone would be replaced by the window's regular one.
    l->setProperty("bold", bold);
    l->setFont(windowFont(bold));
    l->adjustSize();
    l->move(x, y);
    return l;
}

QLabel* hintLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                  int h) {
    auto* l = place(new QLabel(text, parent), name, x, y, w, h);
    l->setProperty("hint", true);
    l->setFont(windowFont(true));
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    return l;
}

QLineEdit* field(QWidget* parent, const char* name, int x, int y, int w, int h, bool readOnly) {
    auto* e = place(new QLineEdit(parent), name, x, y, w, h);
    e->setReadOnly(readOnly);
    e->setFont(windowFont());
    return e;
}

Memo* memo(QWidget* parent, const char* name, int x, int y, int w, int h) {
    return place(new Memo(parent), name, x, y, w, h);
}

Gauge* gauge(QWidget* parent, const char* name, int x, int y, int w, int h, const QColor& bar) {
    return place(new Gauge(parent, bar), name, x, y, w, h);
}

ClickLabel* picture(QWidget* parent, const char* name, const QString& svg, int x, int y, int w,
                    int h) {
    auto* p = place(new ClickLabel(parent), name, x, y, w, h);
    if (!svg.isEmpty()) p->setPixmap(svgPixmap(svg, QSize(w, h)));
    p->setScaledContents(true);
    p->setAttribute(Qt::WA_TranslucentBackground);
    return p;
}

PictureButton* pictureButton(QWidget* parent, const char* name, const QString& svg, int x, int y,
                             int w, int h) {
    return place(new PictureButton(parent, svg), name, x, y, w, h);
}

QComboBox* selector(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* c = place(new QComboBox(parent), name, x, y, w, h);
    c->setFont(windowFont());
    return c;
}

} // namespace skin
