// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PanelDriver.h"
#include "common/UiHarness.h"
#include "core/OperationError.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "gui/pages/AboutPage.h"
#include "gui/pages/StartPage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

using testutil::Ui;

namespace {

QList<QGroupBox*> visiblePanels(MainWindow* f) {
    QList<QGroupBox*> shown;
    for (QGroupBox* g : testutil::pages(f))
        if (g->isVisible()) shown << g;
    return shown;
}

// The window active, taking keys and focus.
bool activate(MainWindow* f) {
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
                           << "joinPageButton splitPageButton comparePageButton presetsPageButton "
                              "aboutPageButton"
                           << 0;
    QTest::newRow("split")
        << 2
        << "sourceSizeField partCountField unitBox partSizeField sourcePathField destinationField "
           "loadSourceButton splitButton recoveryBox recoveryPercentField destinationButton "
           "splitMainButton splitCancelButton"
        << 1;
    QTest::newRow("join") << 3
                          << "chosenPartField joinDestinationField joinButton joinMainButton "
                             "joinCancelButton joinUndoButton loadPartButton "
                             "joinDestinationButton runJoinedButton"
                          << 1;
    QTest::newRow("compare")
        << 4
        << "compareButton checksumCancelButton compareCancelButton compareMainButton checksumButton"
        << 2;
    QTest::newRow("presets") << 5
                             << "presetsMainButton presetsCancelButton floppy144Button "
                                "zip100Button zip250Button dvdButton "
                                "fat32Button cd700Button cd650Button floppy12Button "
                                "floppy288Button cd800Button presetsRecoveryBox "
                                "presetsRecoveryPercentField"
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
        MainWindow* f = ui.form.get();
        QCOMPARE(f->windowTitle(), QString("Tarvello File Splitter"));
        QCOMPARE(f->frameGeometry().size(), QSize(340, 365));
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->startPanel});
        QVERIFY(f->closeCommandEnabled());
        const auto panels = f->findChildren<QGroupBox*>(QRegularExpression("Panel$"));
        QCOMPARE(panels.size(), 6);
        for (QGroupBox* g : panels)
            QCOMPARE(QRect(g->mapTo(f, QPoint(0, 0)), g->size()), QRect(7, 5, 320, 320));
        // No control lies outside the pages (no hidden helper buttons).
        for (QWidget* w : f->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(qobject_cast<QStackedWidget*>(w) || qobject_cast<QMenu*>(w) ||
                         qobject_cast<QDialog*>(w),
                     qPrintable(w->objectName()));
    }

    // Spot checks of names, places and captions of the layout.
    void layout() {
        Ui ui;
        MainWindow* f = ui.form.get();
        auto geometryOf = [f](const char* name) {
            QWidget* w = f->findChild<QWidget*>(QString::fromLatin1(name));
            return w ? w->geometry() : QRect();
        };
        QCOMPARE(geometryOf("presetsPageButton"), QRect(163, 168, 128, 128));
        QCOMPARE(geometryOf("partSizeField"), QRect(4, 108, 93, 23));
        QCOMPARE(geometryOf("joinGauge"), QRect(3, 249, 313, 25));
        QCOMPARE(geometryOf("joinUndoButton"), geometryOf("joinCancelButton"));
        QCOMPARE(geometryOf("compareCancelButton"), geometryOf("checksumCancelButton"));
        QCOMPARE(geometryOf("fat32Button"), QRect(136, 126, 50, 50));
        QCOMPARE(geometryOf("commentsText"), QRect(7, 14, 289, 123));
        QCOMPARE(f->findChild<QPushButton*>("loadSourceButton")->text(), QString("Load  File"));
        QCOMPARE(f->findChild<QPushButton*>("destinationButton")->text(), QString(" Destination"));
        QCOMPARE(f->findChild<QLabel*>("destinationLabel")->text(),
                 QString("Destination Folder  "));
        QCOMPARE(f->findChild<QLabel*>("compareHint")->text(),
                 QString("                Compares two files"));
        QCOMPARE(f->findChild<PictureButton*>("dvdButton")->text(), QString("DVD"));
        QCOMPARE(f->aboutPanel->commentsText->lineCount(), 11);
        QCOMPARE(f->aboutPanel->commentsText->lines().at(9), QString("   "));
        QCOMPARE(f->aboutPanel->commentsText->lines().at(1),
                 QString("application,  which allows splitting  files, of any type and "));
        QCOMPARE(f->partDialog.title(), QString("Join Files"));
        QCOMPARE(f->folderBrowser.okCaption(), QString(" Output Folder"));
    }

    // Every opening button shows its panel alone; every "Main" brings back the start panel.
    void navigation() {
        Ui ui;
        MainWindow* f = ui.form.get();
        const QList<QPair<QAbstractButton*, QPair<QGroupBox*, QAbstractButton*>>> routes{
            {f->startPanel->splitPageButton, {f->splitPanel, f->splitPanel->splitMainButton}},
            {f->startPanel->joinPageButton, {f->joinPanel, f->joinPanel->joinMainButton}},
            {f->startPanel->comparePageButton,
             {f->comparePanel, f->comparePanel->compareMainButton}},
            {f->startPanel->presetsPageButton,
             {f->presetsPanel, f->presetsPanel->presetsMainButton}}};
        for (const auto& [open, target] : routes) {
            QTest::mouseClick(open, Qt::LeftButton);
            QCOMPARE(visiblePanels(f), QList<QGroupBox*>{target.first});
            QVERIFY(f->closeCommandEnabled());
            QVERIFY(target.second->isEnabled());
            QTest::mouseClick(target.second, Qt::LeftButton);
            QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->startPanel});
        }
        // A character key on a work panel shows the start panel beneath it: nothing visible
        // changes.
        f->showComparePage();
        f->keyWithoutFocus(QLatin1Char('a'));
        QVERIFY(f->comparePanel->isVisible());
        QVERIFY(f->closeCommandEnabled());
        // With nothing running, a close runs no Cancel and closes at once.
        QVERIFY(f->close());
        QVERIFY(ui.reports.isEmpty());
    }

    void aboutPanelAndCloseCommand() {
        Ui ui;
        MainWindow* f = ui.form.get();
        QTest::mouseClick(f->startPanel->aboutPageButton, Qt::LeftButton);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->aboutPanel});
        QVERIFY(!f->closeCommandEnabled());
        // A close from the window system is ignored while Close is greyed.
        QVERIFY(!f->close());
        QVERIFY(f->isVisible());
        // Any character key brings the start panel back and enables Close.
        QTest::keyClick(f, Qt::Key_X);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->startPanel});
        QVERIFY(f->closeCommandEnabled());

        // Back again, then the miniature picture: a full click leaves it in place.
        QTest::mouseClick(f->startPanel->aboutPageButton, Qt::LeftButton);
        const QPoint at = f->aboutPanel->startMiniature->pos();
        QTest::mouseClick(f->aboutPanel->startMiniature, Qt::LeftButton);
        QCOMPARE(f->aboutPanel->startMiniature->pos(), at);
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{f->startPanel});
        QVERIFY(f->closeCommandEnabled());
    }

    void aboutLinks() {
        Ui ui;
        MainWindow* f = ui.form.get();
        f->showAboutPage();
        QTest::mouseClick(f->aboutPanel->homePageLink, Qt::LeftButton);
        QTest::mouseClick(f->aboutPanel->cardsPicture, Qt::LeftButton);
        QCOMPARE(ui.opened.size(), 2);
        QCOMPARE(ui.opened[0].toString(), f->aboutPanel->homePageLink->Hint);
        QCOMPARE(ui.opened[1].toString(), f->aboutPanel->purchaseLink->Hint);
        QVERIFY(ui.opened[0] != ui.opened[1]);
        f->aboutPanel->openLink(f->aboutPanel->cardsPicture); // not a label: opens nothing
        QCOMPARE(ui.opened.size(), 2);
    }

    // The captions of the panels keep their looks once the style sheet has
    // polished them, and are drawn so: bold, italic, the window's family and size.
    void fonts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        for (const char* bold :
             {"convertedSizeLabel", "sourceSizeLabel", "partSizeLabel", "unitLabel",
              "partCountLabel", "sourcePathLabel", "destinationLabel", "chosenPartLabel",
              "joinDestinationLabel", "splitHint", "joinHint", "checksumHint", "compareHint",
              "presetsHint"})
            QTest::newRow(bold) << QString(bold) << true << false;
        QTest::newRow("runJoinedLabel") << "runJoinedLabel" << false << false;
        QTest::newRow("fat32Label") << "fat32Label" << false << true;
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
        MainWindow* f = ui.form.get();
        QVERIFY(activate(f));
        testutil::openPage(f, 6);
        QTest::keyClick(f->windowHandle(), Qt::Key(key));
        QCOMPARE(visiblePanels(f), QList<QGroupBox*>{leaves ? static_cast<QGroupBox*>(f->startPanel)
                                                            : f->aboutPanel});
        QCOMPARE(f->closeCommandEnabled(), leaves);
    }

    // Tab visits the enabled controls of the panel's focus order and nothing
    // else: the window itself is no stop.
    void tabStops_data() { panelRows(); }
    void tabStops() {
        QFETCH(int, panel);
        QFETCH(QString, order);
        Ui ui;
        MainWindow* f = ui.form.get();
        QVERIFY(activate(f));
        testutil::openPage(f, panel);
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
        collect(QAccessible::queryAccessibleInterface(testutil::openPage(ui.form.get(), panel)),
                all);
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
            QAccessibleInterface* image4 =
                QAccessible::queryAccessibleInterface(ui.form->aboutPanel->startMiniature);
            QCOMPARE(image4->role(), QAccessible::Button);
            image4->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(visiblePanels(ui.form.get()), QList<QGroupBox*>{ui.form->startPanel});
        }
    }

    void programCloseAlwaysGoesThrough() {
        Ui ui;
        ui.form->showAboutPage();
        ui.form->closeByProgram();
        QVERIFY(!ui.form->isVisible());
    }

    void errorsReachTheMessageBox() {
        Ui ui;
        Thrower thrower;
        QEvent ev(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &ev);
        ui.form->guarded([] { throw OperationError(QStringLiteral("second")); });
        QCOMPARE(ui.errors,
                 (QStringList{"Cannot open /nowhere/file: No such file or directory", "second"}));
        // The window goes on working.
        QTest::mouseClick(ui.form->startPanel->aboutPageButton, Qt::LeftButton);
        QVERIFY(ui.form->aboutPanel->isVisible());
    }
};

TFS_UI_TEST_MAIN(TestWindow)
#include "tst_window.moc"
