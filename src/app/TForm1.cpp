#include "app/TForm1.h"

#include "app/Skin.h"
#include "app/Widgets.h"
#include "core/OperationError.h"
#include "core/ProgramState.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

TForm1::TForm1() : QWidget(nullptr) {
    G.Form1 = this;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvello File Splitter"));
    setWindowIcon(QIcon(QStringLiteral(":/art/tarvello-file-splitter.svg")));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_StyledBackground);
    setFont(skin::windowFont());
    setStyleSheet(skin::windowStyle());
    // Only the panels' controls take the focus: a focused window would be a
    // Tab stop where nothing shows it. Keys that no control takes come here.
    setFocusPolicy(Qt::NoFocus);

    buildStartPanel();
    buildSplitPanel();
    buildJoinPanel();
    buildComparePanel();
    buildPresetsPanel();
    buildAboutPanel();

    BitBtn5 = new QPushButton(QStringLiteral("BitBtn5"), this);
    BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
    BitBtn5->setGeometry(464, 763, 49, 25);
    BitBtn5->hide();
    bind(BitBtn5, &QPushButton::clicked, &TForm1::BitBtn5Click);

    // Panels in their stacking order, the hidden button between the last two.
    setTabOrder({GroupBox1, GroupBox2, GroupBox3, GroupBox4, GroupBox5, BitBtn5, GroupBox6});
    for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox3, GroupBox4, GroupBox5, GroupBox6})
        g->raise();

    OpenDialog1.onClose = [this] { OpenDialog1Close(); };
    JamBfF1.onClose = [this] { JamBfF1Close(); };

    prepareDrops();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    if (G.Form1 == this)
        G.Form1 = nullptr;
}

void TForm1::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showError(QString::fromStdString(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
}

void TForm1::showError(const QString& text) {
    seams().showError(G.Form1, text);
}

void TForm1::setTabOrder(const QList<QWidget*>& order) {
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------- start-up

void TForm1::FormCreate() {
    // The tooltip delay (5 ms) is set by the application's style.
    splitPanelStartup();
    G.SplitPartNames.clear();
    G.SplitPartPaths.clear();
    arrange();
}

void TForm1::arrange() {
    sakrigrupe();
    for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox3, GroupBox4, GroupBox5, GroupBox6})
        g->move(7, 5);
    fitOuterSize();
    GroupBox1->setVisible(true);
}

void TForm1::fitOuterSize() {
    // The outer size, frame included, is the start panel's size + (20, 45).
    const QSize outer(GroupBox1->width() + 20, GroupBox1->height() + 45);
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(outer - frame);
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shownBefore_)
        return;
    shownBefore_ = true;
    // The frame is known once the window is shown (a window manager may tell it later).
    fitOuterSize();
    QTimer::singleShot(300, this, [this] { fitOuterSize(); });
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        const QSize outer = frameGeometry().size();
        move(area.left() + (area.width() - outer.width()) / 2,
             area.top() + (area.height() - outer.height()) / 2);
    }
}

void TForm1::sakrigrupe() {
    for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox3, GroupBox4, GroupBox5, GroupBox6})
        g->setVisible(false);
    // A hidden control keeps the focus unless told otherwise: the keys would
    // go on reaching it (Space pressing the hidden button that opened the panel).
    if (QWidget* focus = QApplication::focusWidget(); focus && isAncestorOf(focus))
        focus->clearFocus();
}

// ---------------------------------------------------------------- close command

namespace {
void setCloseButton(QWidget* window, bool enabled) {
    if (QWindow* handle = window->windowHandle()) {
        handle->setFlag(Qt::WindowCloseButtonHint, enabled);
    } else {
        window->setWindowFlag(Qt::WindowCloseButtonHint, enabled);
    }
}
} // namespace

void TForm1::onemogucix() {
    closeEnabled_ = false;
    setCloseButton(this, false);
}

void TForm1::omogucix() {
    closeEnabled_ = true;
    setCloseButton(this, true);
}

void TForm1::closeByProgram() {
    programClose_ = true;
    close();
    programClose_ = false;
}

void TForm1::closeEvent(QCloseEvent* e) {
    // While Close is greyed, a close asked for by the window system is ignored;
    // one the program asks for always goes through.
    if (!closeEnabled_ && !programClose_) {
        e->ignore();
        return;
    }
    guarded([this] { FormCloseQuery(); });
    e->accept();
}

void TForm1::FormCloseQuery() {
    splitPanelCloseStep();
    joinPanelCloseStep();
    presetsPanelCloseStep();
    comparePanelCloseStep();
}

// ---------------------------------------------------------------- keyboard

// A key that produces a character: letters, digits and signs, and also
// Escape, Enter/Return and Backspace (Esc, CR and BS); Tab moves the focus.
void TForm1::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    const bool character = !text.isEmpty() && text.at(0) != QLatin1Char('\t');
    QWidget* focus = QApplication::focusWidget();
    if (character && (focus == nullptr || focus == this)) {
        const QChar key = text.at(0);
        guarded([this, key] { FormKeyPress(key); });
        return;
    }
    QWidget::keyPressEvent(e);
}

void TForm1::FormKeyPress(QChar) {
    if (GroupBox6->isVisible())
        sakrigrupe();
    omogucix();
    GroupBox1->setVisible(true);
}

// ---------------------------------------------------------------- shell

void TForm1::openInShell(const QString& path) {
    seams().openUrl(QUrl::fromLocalFile(path));
    raise();
    activateWindow();
    repaint();
}
