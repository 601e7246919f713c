#include "app/TForm3.h"

#include "core/ProgramState.h"
#include "app/Seams.h"
#include "app/Skin.h"
#include "app/TForm1.h"
#include "app/Widgets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

TForm3::TForm3(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint), mainWindow_(mainWindow) {
    G.Form3 = this;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Dialog"));
    setModal(true);
    setFixedSize(194, 154);
    setStyleSheet(skin::dialogStyle());
    setAttribute(Qt::WA_StyledBackground);
    QPalette background = palette();
    background.setColor(QPalette::Window, skin::Background);
    setPalette(background);
    setAutoFillBackground(true);

    Label1 = skin::label(this, "Label1", QString(), 8, 0);
    Label1->setWordWrap(true);
    Label1->resize(177, 113);
    Label2 = skin::label(this, "Label2", QString(), 8, 120);
    Label2->hide();
    suiMemo1 = new Memo(this);
    suiMemo1->setObjectName(QStringLiteral("suiMemo1"));
    suiMemo1->setGeometry(2, 0, 190, 113);
    suiMemo1->hide();
    BitBtn1 = skin::button(this, "BitBtn1", QStringLiteral("Join Anyway"), 2, 123, 85, 25);
    OKBtn = skin::button(this, "OKBtn", QString(), 52, 123, 85, 25);
    BitBtn2 = skin::button(this, "BitBtn2", QStringLiteral("Abort"), 108, 123, 85, 25);
    BitBtn1->hide();
    BitBtn2->hide();
    for (QPushButton* b : {BitBtn1, OKBtn, BitBtn2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(OKBtn, &QPushButton::clicked, this, [this] { runButton(&TForm3::OKBtnClick); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { runButton(&TForm3::BitBtn1Click); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { runButton(&TForm3::BitBtn2Click); });
    FormCreate();
}

TForm3::~TForm3() {
    if (G.Form3 == this)
        G.Form3 = nullptr;
}

void TForm3::FormCreate() { OKBtn->setText(QStringLiteral("OK")); }

void TForm3::ShowModal() {
    closeRequested_ = false;
    seams().showModal(this);
}

void TForm3::Report(const QStringList& lines) {
    for (const QString& line : lines)
        suiMemo1->addLine(line);
    suiMemo1->show();
    OKBtn->show();
    ShowModal();
}

void TForm3::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormShow();
}

void TForm3::FormShow() {
    const QRect main = mainWindow_->frameGeometry();
    const QSize own = frameGeometry().size();
    QPoint at(main.left() + own.width() / 2, main.top() + own.height() / 2);
    if (!shownBefore_) {
        shownBefore_ = true;
        at = QPoint(std::max(0, main.left() + (main.width() - own.width()) / 2),
                    std::max(0, main.top() + (main.height() - own.height()) / 2));
    }
    move(at);
    if (TForm1* f = G.Form1) {
        f->gEdit1->setVisible(true);
        f->Gauge1->setProgress(0);
    }
}

void TForm3::OKBtnClick() {
    suiMemo1->clearLines();
    suiMemo1->hide();
    requestClose();
    if (TForm1* f = G.Form1) {
        f->BitBtn12->setEnabled(false);
        f->BitBtn12->setVisible(true);
        f->gEdit1->setVisible(true);
        f->gedit5->setVisible(true);
    }
}

void TForm3::BitBtn1Click() {
    Label2->setText(QString());
    BitBtn1->hide();
    BitBtn2->hide();
    OKBtn->show();
    requestClose();
}

void TForm3::BitBtn2Click() {
    Label2->setText(QStringLiteral("prekini"));
    requestClose();
    BitBtn1->hide();
    BitBtn2->hide();
    OKBtn->show();
    requestClose();
    if (G.Form1)
        G.Form1->joinAbortReset();
}

void TForm3::runButton(void (TForm3::*handler)()) {
    G.Form1 ? G.Form1->guarded([&] { (this->*handler)(); }) : (this->*handler)();
    if (closeRequested_) {
        closeRequested_ = false;
        done(QDialog::Accepted);
    }
}

void TForm3::FormClose() {
    BitBtn1->hide();
    BitBtn2->hide();
    OKBtn->show();
    suiMemo1->hide();
    suiMemo1->clearLines();
}

void TForm3::done(int result) {
    if (closing_)
        return;
    closing_ = true;
    QDialog::done(result);
    FormClose();
    closing_ = false;
}

void TForm3::keyPressEvent(QKeyEvent* e) {
    // No cancel key and no default key: only Space or Enter on the focused button.
    if (e->key() == Qt::Key_Escape)
        return;
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isVisible() && b->isEnabled())
            b->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TForm3::closeEvent(QCloseEvent* e) {
    // A close from the window system closes the dialog as any other close does.
    QDialog::closeEvent(e);
}
