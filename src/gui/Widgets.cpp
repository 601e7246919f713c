// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Widgets.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

QPixmap svgPixmap(const QString& resource, const QSize& size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter p(&pm);
        renderer.render(&p);
    }
    return pm;
}

// ---------------------------------------------------------------- Gauge

// A frame at 60 Hz. Each paint costs a round trip to the display server
// (0.2-0.3 ms): a 2 GiB join moving the gauge 100 times in half a second
// spent 5 % of its time painting.
constexpr int FrameMs = 16;

Gauge::Gauge(QWidget* parent, const QColor& bar) : QWidget(parent), bar_(bar) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    paintLater_.setSingleShot(true);
    connect(&paintLater_, &QTimer::timeout, this, &Gauge::paintWhenFrameEnds);
}

std::function<qint64()>& Gauge::frameClock() {
    static std::function<qint64()> clock = [] {
        static const QElapsedTimer since = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return since.elapsed();
    };
    return clock;
}

void Gauge::setProgress(int value) {
    value = std::clamp(value, 0, 100);
    if (value == progress_) return;
    progress_ = value;
    announce();
    paintWhenFrameEnds();
    emit progressChanged(value);
}

void Gauge::paintWhenFrameEnds() {
    const qint64 since = frameClock()() - paintedAt_;
    if (since >= FrameMs)
        update();
    else if (!paintLater_.isActive())
        paintLater_.start(static_cast<int>(FrameMs - since));
}

void Gauge::stepDownTo(int target) {
    for (int v = progress_ - 1; v >= std::clamp(target, 0, 100); --v) {
        progress_ = v;
        announce();
        repaint();
    }
}

void Gauge::stepDownToZero() {
    repaint();
    stepDownTo(0);
}

void Gauge::announce() {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(this, progress_);
    QAccessible::updateAccessibility(&event);
}

void Gauge::paintEvent(QPaintEvent*) {
    paintedAt_ = frameClock()();
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::white);
    const QRect inner = r.adjusted(1, 1, -1, -1);
    const int w = inner.width() * progress_ / 100;
    if (w > 0) p.fillRect(QRect(inner.left(), inner.top(), w, inner.height()), bar_);
    p.setPen(QColor(0, 0, 0));
    p.drawRect(r.adjusted(0, 0, -1, -1));

    // The percentage reads in the bar's colour over white and in white over the bar.
    const QString text = QString::number(progress_) + QLatin1Char('%');
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(bar_);
    p.drawText(inner, Qt::AlignCenter, text);
    if (w > 0) {
        p.setClipRect(QRect(inner.left(), inner.top(), w, inner.height()));
        p.setPen(Qt::white);
        p.drawText(inner, Qt::AlignCenter, text);
    }
}

// ---------------------------------------------------------------- Memo

Memo::Memo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    // Long lines (paths, messages naming a mount point) wrap at the memo's width.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void Memo::addLine(const QString& line) {
    lines_.append(line);
    refresh();
}

void Memo::addText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (t.endsWith(QLatin1Char('\n'))) t.chop(1);
    lines_.append(t.split(QLatin1Char('\n')));
    refresh();
}

void Memo::clearLines() {
    if (lines_.isEmpty() && toPlainText().isEmpty()) return;
    lines_.clear();
    refresh();
}

void Memo::refresh() {
    // A line is shown up to a length a person can read; lines() keeps it whole.
    constexpr qsizetype shownLength = 2000;
    QStringList shown;
    shown.reserve(lines_.size());
    for (const QString& line : std::as_const(lines_))
        shown << (line.size() > shownLength ? line.left(shownLength) + QStringLiteral("...")
                                            : line);
    setPlainText(shown.join(QLatin1Char('\n')));
    emit linesChanged();
}

// ---------------------------------------------------------------- PictureButton

PictureButton::PictureButton(QWidget* parent, const QString& svgResource)
    : QAbstractButton(parent), svg_(svgResource) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::setPicture(const QPixmap& picture) {
    picture_ = picture;
    svg_.clear();
    update();
}

void PictureButton::setCaptionFont(const QFont& font, const QColor& color) {
    captionFont_ = font;
    captionColor_ = color;
    update();
}

void PictureButton::enterEvent(QEnterEvent* e) {
    hover_ = true;
    update();
    emit entered();
    QAbstractButton::enterEvent(e);
}

void PictureButton::leaveEvent(QEvent* e) {
    hover_ = false;
    update();
    emit left();
    QAbstractButton::leaveEvent(e);
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = rect();
    if (!svg_.isEmpty()) {
        QSvgRenderer renderer(svg_);
        renderer.render(&p, QRectF(r));
    } else if (!picture_.isNull()) {
        p.drawPixmap(QPoint(0, 0), picture_);
    }
    if (!text().isEmpty()) {
        p.setFont(captionFont_);
        p.setPen(isEnabled() ? captionColor_ : QColor(150, 150, 150));
        const QRect captionArea(0, r.height() / 2 - 2, r.width(), r.height() / 2 - 4);
        p.drawText(captionArea, Qt::AlignCenter, text());
    }
    if (!isEnabled()) {
        p.fillRect(r, QColor(56, 56, 56, 110));
    } else if (isDown() || hover_ || hasFocus()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(255, 221, 0), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(isDown() ? 1 : 0, isDown() ? 1 : 0, -1, -1));
    }
}

// ---------------------------------------------------------------- ClickLabel

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

bool ClickLabel::takesClicks() const {
    return isSignalConnected(QMetaMethod::fromSignal(&ClickLabel::clicked));
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    down_ = true;
    emit pressed();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !down_) return;
    down_ = false;
    if (rect().adjusted(-1, -1, 1, 1).contains(e->position().toPoint())) emit clicked();
    emit released();
}

// ---------------------------------------------------------------- ShapeOutline

ShapeOutline::ShapeOutline(QWidget* parent, const QColor& pen) : QWidget(parent), pen_(pen) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeOutline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(pen_);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
