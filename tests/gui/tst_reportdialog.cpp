// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/UiHarness.h"
#include "core/OperationState.h"
#include "gui/MainWindow.h"
#include "gui/ReportDialog.h"
#include "gui/Widgets.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

using testutil::Ui;

class TestReportDialog : public QObject {
    Q_OBJECT
private slots:
    void firstReportHasOkAndResets() {
        Ui ui;
        ReportDialog* d = ui.dialog;
        QVERIFY(d->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(d->isModal());
        QCOMPARE(d->size(), QSize(194, 154));
        bool okShown = false;
        ui.answer = [&](ReportDialog* dlg) {
            okShown = dlg->okButton->isVisible() && !dlg->joinAnywayButton->isVisible() &&
                      !dlg->abortButton->isVisible();
            Ui::press(dlg, "okButton");
        };
        d->reportArea->addLine("  ");
        d->reportArea->addLine("hello");
        d->reportArea->setVisible(true);
        QCOMPARE(d->showModal(), ReportDialog::Answer::Ok);
        QVERIFY(okShown);
        QCOMPARE(ui.reports, QList<QStringList>{QStringList({"  ", "hello"})});
        QVERIFY(!d->isVisible());
        QVERIFY(!d->reportArea->isVisible());
        QCOMPARE(d->reportArea->lineCount(), 0);
        QCOMPARE(d->okButton->text(), QString("OK"));
    }

    // Lines added without a showing stay and come on top of the next report.
    void leftoverLinesComeFirst() {
        Ui ui;
        ReportDialog* d = ui.dialog;
        d->reportArea->addLine("left over");
        d->report({"", "next"});
        QCOMPARE(ui.reports.value(0), (QStringList{"left over", "", "next"}));
        d->report({"third"});
        QCOMPARE(ui.reports.value(1), QStringList{"third"});
    }

    void okTouchesTheMainWindow() {
        Ui ui;
        MainWindow* f = ui.form.get();
        f->splitPanel->splitHint->hide();
        f->presetsPanel->presetsHint->hide();
        f->splitPanel->splitGauge->setProgress(40);
        f->joinPanel->joinCancelButton->setEnabled(true);
        f->joinPanel->joinCancelButton->hide();
        ui.dialog->report({"x"});
        QVERIFY(!f->splitPanel->splitHint->isHidden());
        QVERIFY(!f->presetsPanel->presetsHint->isHidden());
        QCOMPARE(f->splitPanel->splitGauge->progress(), 0);
        QVERIFY(!f->joinPanel->joinCancelButton->isEnabled());
        QVERIFY(!f->joinPanel->joinCancelButton->isHidden());
    }

    void choiceModes() {
        Ui ui;
        ReportDialog* d = ui.dialog;
        bool modesRight = true;
        using Answer = ReportDialog::Answer;
        auto ask = [&](const char* button) {
            d->joinAnywayButton->setVisible(true);
            d->abortButton->setVisible(true);
            d->okButton->setVisible(false);
            d->reportArea->addLine("             Missing Files:");
            d->reportArea->setVisible(true);
            ui.answer = [button, &modesRight](ReportDialog* dlg) {
                modesRight = modesRight && dlg->joinAnywayButton->isVisible() &&
                             dlg->abortButton->isVisible() && !dlg->okButton->isVisible();
                if (button) Ui::press(dlg, button);
            };
            const Answer answer = d->showModal();
            modesRight = modesRight && !d->isVisible() && !d->joinAnywayButton->isVisible() &&
                         !d->abortButton->isVisible() && !d->okButton->isHidden() &&
                         d->reportArea->lineCount() == 0;
            return answer;
        };
        QCOMPARE(ask("abortButton"), Answer::Abort);
        QCOMPARE(ask("joinAnywayButton"), Answer::JoinAnyway);
        QCOMPARE(ask(nullptr), Answer::None); // closed by the window system
        QVERIFY(modesRight);
    }

    void placement() {
        Ui ui;
        MainWindow* f = ui.form.get();
        ReportDialog* d = ui.dialog;
        f->move(100, 80);
        QPoint first, second;
        bool transient = true;
        ui.answer = [&](ReportDialog* dlg) {
            (first.isNull() ? first : second) = dlg->pos();
            // Where a client can't place its windows (Wayland), the window
            // system places it over its parent.
            transient = transient && dlg->windowHandle()->transientParent() == f->windowHandle();
            Ui::press(dlg, "okButton");
        };
        d->report({"a"});
        d->report({"b"});
        QVERIFY(transient);
        if (QGuiApplication::platformName().startsWith("wayland"))
            return; // placed by the compositor, over its parent
        const QRect m = f->frameGeometry();
        const QSize own = d->frameGeometry().size();
        QCOMPARE(first, QPoint(m.left() + (m.width() - own.width()) / 2,
                               m.top() + (m.height() - own.height()) / 2));
        QCOMPARE(second, QPoint(m.left() + own.width() / 2, m.top() + own.height() / 2));
    }
};

TFS_UI_TEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
