#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "common/UiHarness.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

using testutil::Ui;

namespace {

QList<QGroupBox*> visiblePanels(TForm1* f) {
    QList<QGroupBox*> shown;
    for (QGroupBox* g : {f->GroupBox1, f->GroupBox2, f->GroupBox3, f->GroupBox4, f->GroupBox5,
                         f->GroupBox6})
        if (g->isVisible())
            shown << g;
    return shown;
}

// Opens a panel (1 start .. 6 about) with its button, as a user does.
QGroupBox* openPanel(TForm1* f, int panel) {
    const char* openers[] = {"",
                             "",
                             "suiImageButton3",
                             "suiImageButton1",
                             "suiImageButton2",
                             "suiImageButton4",
                             "suiImageButton9"};
    if (auto* opener = f->findChild<QAbstractButton*>(openers[panel]))
        QTest::mouseClick(opener, Qt::LeftButton);
    return f->findChild<QGroupBox*>(QString("GroupBox%1").arg(panel));
}

// The window active, taking keys and focus.
bool activate(TForm1* f) {
    f->activateWindow();
    return QTest::qWaitForWindowActive(f);
}

// The ink a text leaves when drawn in a font, black on white.
qint64 ink(const QFont& font, const QString& text) {
    QImage image(400, 24, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.drawText(2, 17, text);
    p.end();
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += 255 - qGray(image.pixel(x, y));
    return sum;
}

// Every accessible object beneath `root`, depth first.
void collect(QAccessibleInterface* root, QList<QAccessibleInterface*>& found) {
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface* child = root->child(i)) collect(child, found << child);
}

bool takesClick(QObject* o) {
    if (auto* picture = qobject_cast<ClickLabel*>(o)) return picture->takesClicks();
    return qobject_cast<QAbstractButton*>(o) || qobject_cast<QLineEdit*>(o) ||
           qobject_cast<QComboBox*>(o);
}

// Each panel with its Tab order and its number of gauges.
void panelRows() {
    QTest::addColumn<int>("panel");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("gauges");
    QTest::newRow("start") << 1
                           << "suiImageButton1 suiImageButton3 suiImageButton2 suiImageButton4 "
                              "suiImageButton9"
                           << 0;
    QTest::newRow("split") << 2
                           << "Edit1 Edit7 ComboBox1 Edit2 Edit3 Edit4 BitBtn1 BitBtn6 BitBtn7 "
                              "BitBtn10 BitBtn9"
                           << 1;
    QTest::newRow("join") << 3
                          << "Edit5 Edit6 BitBtn2 BitBtn11 BitBtn12 BitBtn22 suiImageButton10 "
                             "suiImageButton12 suiImageButton5"
                          << 1;
    QTest::newRow("compare") << 4 << "BitBtn4 BitBtn21 BitBtn14 BitBtn13 BitBtn3" << 2;
    QTest::newRow("presets") << 5
                             << "BitBtn19 BitBtn20 BitBtn15 BitBtn16 suiImageButton6 BitBtn18 "
                                "suiImageButton8 BitBtn17 suiImageButton7 BitBtn23 "
                                "suiImageButton11 suiImageButton13"
                             << 1;
    QTest::newRow("about") << 6 << "" << 0;
}

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw OperationError(
                QStringLiteral("Cannot open /nowhere/file: No such file or directory"));
        return QObject::event(e);
    }
};

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void startUp() {
        Ui ui;
        TForm1* f = ui.form.get();
        QCOMPARE(f->windowTitle(), QString("Tarvello File Splitter"));
        QCOMPARE(f->frameGeometry().size(), QSize(340, 365));
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->GroupBox1});
        QVERIFY(f->closeCommandEnabled());
        for (QGroupBox* g : f->findChildren<QGroupBox*>(QRegularExpression("^GroupBox[1-6]$"))) {
            QCOMPARE(g->geometry(), QRect(7, 5, 320, 320));
        }
        QVERIFY(!f->BitBtn5->isVisible());
    }

    // Spot checks of names, places and captions of the layout.
    void layout() {
        Ui ui;
        TForm1* f = ui.form.get();
        auto geometryOf = [f](const char* name) {
            QWidget* w = f->findChild<QWidget*>(QString::fromLatin1(name));
            return w ? w->geometry() : QRect();
        };
        QCOMPARE(geometryOf("suiImageButton4"), QRect(163, 168, 128, 128));
        QCOMPARE(geometryOf("Edit2"), QRect(4, 108, 93, 23));
        QCOMPARE(geometryOf("Gauge2"), QRect(3, 249, 313, 25));
        QCOMPARE(geometryOf("BitBtn22"), geometryOf("BitBtn12"));
        QCOMPARE(geometryOf("BitBtn14"), geometryOf("BitBtn21"));
        QCOMPARE(geometryOf("suiImageButton8"), QRect(136, 126, 50, 50));
        QCOMPARE(geometryOf("suiMemo4"), QRect(7, 14, 289, 123));
        QCOMPARE(f->findChild<QPushButton*>("BitBtn1")->text(), QString("Load  File"));
        QCOMPARE(f->findChild<QPushButton*>("BitBtn7")->text(), QString(" Destination"));
        QCOMPARE(f->findChild<QLabel*>("Label9")->text(), QString("Destination Folder  "));
        QCOMPARE(f->findChild<QLabel*>("gEdit4")->text(), QString("                Compares two files"));
        QCOMPARE(f->findChild<PictureButton*>("BitBtn18")->text(), QString("DVD"));
        QCOMPARE(f->suiMemo4->lineCount(), 11);
        QCOMPARE(f->suiMemo4->lines().at(9), QString("   "));
        QCOMPARE(f->suiMemo4->lines().at(1),
                 QString("application,  which allows splitting  files, of any type and "));
        QCOMPARE(f->OpenDialog2.Title, QString("Join Files"));
        QCOMPARE(f->JamBfF1.OkCaption, QString(" Output Folder"));
    }

    // Every opening button shows its panel alone; every "Main" brings back the start panel.
    void navigation() {
        Ui ui;
        TForm1* f = ui.form.get();
        const QList<QPair<QAbstractButton*, QPair<QGroupBox*, QAbstractButton*>>> routes{
            {f->suiImageButton3, {f->GroupBox2, f->BitBtn10}},
            {f->suiImageButton1, {f->GroupBox3, f->BitBtn11}},
            {f->suiImageButton2, {f->GroupBox4, f->BitBtn13}},
            {f->suiImageButton4, {f->GroupBox5, f->BitBtn19}}};
        for (const auto& [open, target] : routes) {
            QTest::mouseClick(open, Qt::LeftButton);
            QCOMPARE(visiblePanels(f), QList<QGroupBox*>{target.first});
            QVERIFY(f->closeCommandEnabled());
            QVERIFY(target.second->isEnabled());
            QTest::mouseClick(target.second, Qt::LeftButton);
            QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->GroupBox1});
        }
        // A character key on a work panel shows the start panel beneath it: nothing visible changes.
        f->suiImageButton2Click();
        f->FormKeyPress(QLatin1Char('a'));
        QVERIFY(f->GroupBox4->isVisible());
        QVERIFY(f->closeCommandEnabled());
        // With nothing running, a close runs no Cancel and closes at once.
        QVERIFY(f->close());
        QVERIFY(ui.reports.isEmpty());
    }

    void aboutPanelAndCloseCommand() {
        Ui ui;
        TForm1* f = ui.form.get();
        QTest::mouseClick(f->suiImageButton9, Qt::LeftButton);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->GroupBox6});
        QVERIFY(!f->closeCommandEnabled());
        // A close from the window system is ignored while Close is greyed.
        QVERIFY(!f->close());
        QVERIFY(f->isVisible());
        // Any character key brings the start panel back and enables Close.
        QTest::keyClick(f, Qt::Key_X);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->GroupBox1});
        QVERIFY(f->closeCommandEnabled());

        // Back again, then the miniature picture: a full click leaves it in place.
        QTest::mouseClick(f->suiImageButton9, Qt::LeftButton);
        const QPoint at = f->Image4->pos();
        QTest::mouseClick(f->Image4, Qt::LeftButton);
        QCOMPARE(f->Image4->pos(), at);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->GroupBox1});
        QVERIFY(f->closeCommandEnabled());
    }

    void aboutLinks() {
        Ui ui;
        TForm1* f = ui.form.get();
        f->suiImageButton9Click();
        QTest::mouseClick(f->Label11, Qt::LeftButton);
        QTest::mouseClick(f->Image8, Qt::LeftButton);
        QCOMPARE(ui.opened.size(), 2);
        QCOMPARE(ui.opened[0].toString(), f->Label11->Hint);
        QCOMPARE(ui.opened[1].toString(), f->Label13->Hint);
        QVERIFY(ui.opened[0] != ui.opened[1]);
        f->idinaurl(f->Image8); // not a label: opens nothing
        QCOMPARE(ui.opened.size(), 2);
    }

    // The captions of the panels keep their looks once the style sheet has
    // polished them, and are drawn so: bold, italic, the window's family and size.
    void fonts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        for (const char* bold :
             {"Label10", "Label1", "Label2", "Label3", "Label7", "Label8", "Label9", "Label5",
              "Label6", "gEdit1", "gEdit2", "gEdit3", "gEdit4", "gedit5"})
            QTest::newRow(bold) << QString(bold) << true << false;
        QTest::newRow("Label12") << "Label12" << false << false;
        QTest::newRow("Label4") << "Label4" << false << true;
    }
    void fonts() {
        QFETCH(QString, name);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        Ui ui;
        auto* label = ui.form->findChild<QLabel*>(name);
        label->parentWidget()->show();
        label->show();
        const QFontInfo info(label->font());
        QCOMPARE(info.bold(), bold);
        QCOMPARE(info.italic(), italic);
        QCOMPARE(info.family(), QFontInfo(skin::windowFont()).family());
        QCOMPARE(info.pixelSize(), 11);
        QFont regular = label->font();
        regular.setBold(false);
        QCOMPARE(ink(label->font(), label->text()) > 1.2 * ink(regular, label->text()), bold);
    }

    // Keys reach the window on the about panel, where no control takes the
    // focus: every key that types a character leaves it, Esc, CR and BS too.
    void keysLeaveAbout_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("leaves");
        for (int key : {Qt::Key_X, Qt::Key_7, Qt::Key_Space, Qt::Key_Escape, Qt::Key_Return,
                        Qt::Key_Enter, Qt::Key_Backspace, Qt::Key_Shift, Qt::Key_F2})
            QTest::newRow(qPrintable(QKeySequence(key).toString()))
                << key << (key != Qt::Key_Shift && key != Qt::Key_F2);
    }
    void keysLeaveAbout() {
        QFETCH(int, key);
        QFETCH(bool, leaves);
        Ui ui;
        TForm1* f = ui.form.get();
        QVERIFY(activate(f));
        openPanel(f, 6);
        QTest::keyClick(f->windowHandle(), Qt::Key(key));
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{leaves ? f->GroupBox1 : f->GroupBox6});
        QCOMPARE(f->closeCommandEnabled(), leaves);
    }

    // Tab visits the enabled controls of the panel's focus order and nothing
    // else: the window itself is no stop.
    void tabStops_data() { panelRows(); }
    void tabStops() {
        QFETCH(int, panel);
        QFETCH(QString, order);
        Ui ui;
        TForm1* f = ui.form.get();
        QVERIFY(activate(f));
        openPanel(f, panel);
        QStringList expected;
        for (const QString& name : order.split(' ', Qt::SkipEmptyParts))
            if (QWidget* w = f->findChild<QWidget*>(name); w->isEnabled() && w->isVisible())
                expected << name;
        if (!expected.isEmpty())
            f->findChild<QWidget*>(expected.first())->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i <= expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            visited << (focus ? focus->objectName() : QString());
            QTest::keyClick(focus ? focus : f, Qt::Key_Tab);
        }
        QCOMPARE(visited, expected.isEmpty() ? QStringList{""} : expected + expected.mid(0, 1));
    }

    // Screen readers: every control that takes a click has a name, every
    // gauge is a progress bar with its value; a picture button can be pressed.
    void accessibleTree_data() { panelRows(); }
    void accessibleTree() {
        QFETCH(int, panel);
        QFETCH(int, gauges);
        Ui ui;
        QList<QAccessibleInterface*> all;
        collect(QAccessible::queryAccessibleInterface(openPanel(ui.form.get(), panel)), all);
        int clickable = 0, found = 0;
        for (QAccessibleInterface* a : all) {
            if (takesClick(a->object()) && ++clickable)
                QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(),
                         qPrintable(a->object()->objectName()));
            if (auto* gauge = qobject_cast<Gauge*>(a->object()); gauge && ++found) {
                gauge->setProgress(37);
                QCOMPARE(a->role(), QAccessible::ProgressBar);
                QVERIFY(!a->text(QAccessible::Name).isEmpty());
                QCOMPARE(a->valueInterface()->currentValue().toInt(), 37);
                QCOMPARE(a->text(QAccessible::Value), QString("37%"));
            }
        }
        QVERIFY(clickable > 0);
        QCOMPARE(found, gauges);
        if (panel == 6) { // the miniature leads back like "Main"
            QAccessibleInterface* image4 = QAccessible::queryAccessibleInterface(ui.form->Image4);
            QCOMPARE(image4->role(), QAccessible::Button);
            image4->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(visiblePanels(ui.form.get()), QList<QGroupBox*>{ui.form->GroupBox1});
        }
    }

    void programCloseAlwaysGoesThrough() {
        Ui ui;
        ui.form->suiImageButton9Click();
        ui.form->closeByProgram();
        QVERIFY(!ui.form->isVisible());
    }

    void errorsReachTheMessageBox() {
        Ui ui;
        Thrower thrower;
        QEvent ev(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &ev);
        ui.form->guarded([] { throw OperationError(QStringLiteral("second")); });
        QCOMPARE(ui.errors, (QStringList{"Cannot open /nowhere/file: No such file or directory",
                                         "second"}));
        // The window goes on working.
        QTest::mouseClick(ui.form->suiImageButton9, Qt::LeftButton);
        QVERIFY(ui.form->GroupBox6->isVisible());
    }
};

TFS_UI_TEST_MAIN(TestWindow)
#include "tst_window.moc"
