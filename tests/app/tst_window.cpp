#include "core/FileError.h"
#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "common/UiHarness.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
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

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw FileError(QStringLiteral("Cannot open /nowhere/file: No such file or directory"));
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
        ui.form->guarded([] { throw FileError(QStringLiteral("second")); });
        QCOMPARE(ui.errors, (QStringList{"Cannot open /nowhere/file: No such file or directory",
                                         "second"}));
        // The window goes on working.
        QTest::mouseClick(ui.form->suiImageButton9, Qt::LeftButton);
        QVERIFY(ui.form->GroupBox6->isVisible());
    }
};

TFS_UI_TEST_MAIN(TestWindow)
#include "tst_window.moc"
