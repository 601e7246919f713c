#include "core/ProgramState.h"
#include "app/TForm1.h"
#include "app/TForm3.h"
#include "app/Widgets.h"
#include "common/UiHarness.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using testutil::Ui;

class TestReportDialog : public QObject {
    Q_OBJECT
private slots:
    void firstReportHasOkAndResets() {
        Ui ui;
        TForm3* d = ui.dialog.get();
        QVERIFY(d->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(d->isModal());
        QCOMPARE(d->size(), QSize(194, 154));
        bool okShown = false;
        ui.answer = [&](TForm3* dlg) {
            okShown = dlg->OKBtn->isVisible() && !dlg->BitBtn1->isVisible() && !dlg->BitBtn2->isVisible();
            Ui::press(dlg, "OKBtn");
        };
        d->suiMemo1->addLine("  ");
        d->suiMemo1->addLine("hello");
        d->suiMemo1->setVisible(true);
        d->ShowModal();
        QVERIFY(okShown);
        QCOMPARE(ui.reports, QList<QStringList>{QStringList({"  ", "hello"})});
        QVERIFY(!d->isVisible());
        QVERIFY(!d->suiMemo1->isVisible());
        QCOMPARE(d->suiMemo1->lineCount(), 0);
        QCOMPARE(d->OKBtn->text(), QString("OK"));
    }

    // Lines added without a showing stay and come on top of the next report.
    void leftoverLinesComeFirst() {
        Ui ui;
        TForm3* d = ui.dialog.get();
        d->suiMemo1->addLine("left over");
        d->Report({"", "next"});
        QCOMPARE(ui.reports.value(0), (QStringList{"left over", "", "next"}));
        d->Report({"third"});
        QCOMPARE(ui.reports.value(1), QStringList{"third"});
    }

    void okTouchesTheMainWindow() {
        Ui ui;
        TForm1* f = ui.form.get();
        f->gEdit1->hide();
        f->gedit5->hide();
        f->Gauge1->setProgress(40);
        f->BitBtn12->setEnabled(true);
        f->BitBtn12->hide();
        ui.dialog->Report({"x"});
        QVERIFY(!f->gEdit1->isHidden());
        QVERIFY(!f->gedit5->isHidden());
        QCOMPARE(f->Gauge1->Progress(), 0);
        QVERIFY(!f->BitBtn12->isEnabled());
        QVERIFY(!f->BitBtn12->isHidden());
    }

    void choiceModes() {
        Ui ui;
        TForm3* d = ui.dialog.get();
        bool modesRight = true;
        auto ask = [&](const char* button) -> QString {
            d->Label2->setText(QString());
            d->BitBtn1->setVisible(true);
            d->BitBtn2->setVisible(true);
            d->OKBtn->setVisible(false);
            d->suiMemo1->addLine("             Missing Files:");
            d->suiMemo1->setVisible(true);
            ui.answer = [button, &modesRight](TForm3* dlg) {
                modesRight = modesRight && dlg->BitBtn1->isVisible() && dlg->BitBtn2->isVisible() &&
                             !dlg->OKBtn->isVisible();
                if (button)
                    Ui::press(dlg, button);
            };
            d->ShowModal();
            modesRight = modesRight && !d->isVisible() && !d->BitBtn1->isVisible() &&
                         !d->BitBtn2->isVisible() && !d->OKBtn->isHidden() &&
                         d->suiMemo1->lineCount() == 0;
            return d->Label2->text();
        };
        QCOMPARE(ask("BitBtn2"), QString("prekini"));
        QCOMPARE(ask("BitBtn1"), QString());
        QCOMPARE(ask(nullptr), QString()); // closed by the window system: unchanged
        QVERIFY(modesRight);
    }

    void placement() {
        Ui ui;
        TForm1* f = ui.form.get();
        TForm3* d = ui.dialog.get();
        f->move(100, 80);
        QPoint first, second;
        ui.answer = [&](TForm3* dlg) {
            (first.isNull() ? first : second) = dlg->pos();
            Ui::press(dlg, "OKBtn");
        };
        d->Report({"a"});
        d->Report({"b"});
        const QRect m = f->frameGeometry();
        const QSize own = d->frameGeometry().size();
        QCOMPARE(first, QPoint(m.left() + (m.width() - own.width()) / 2,
                               m.top() + (m.height() - own.height()) / 2));
        QCOMPARE(second, QPoint(m.left() + own.width() / 2, m.top() + own.height() / 2));
    }
};

TFS_UI_TEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
