// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <limits>

// Small custom-painted controls of the dark skinned window.

// Horizontal progress bar 0..100 with the percentage drawn in its middle,
// single border, white background. Values outside 0..100 are clamped; the
// gauge repaints only when the shown value changes.
class Gauge : public QWidget {
    Q_OBJECT
public:
    Gauge(QWidget* parent, const QColor& bar);
    int progress() const { return progress_; }
    void setProgress(int value);
    // Shows every value below the current one down to `target`, each painted
    // at once (nothing when the gauge is at or below it already).
    void stepDownTo(int target);
    // Shows every value from the current one down to 0, each painted at once.
    void stepDownToZero();
    // The clock, in milliseconds, that paces the paints of every gauge.
    static std::function<qint64()>& frameClock();

signals:
    // A new value set (not the steps down to 0).
    void progressChanged(int value);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void announce(); // tells screen readers the new value
    // Paints now when the last paint is a frame old, else once it is.
    void paintWhenFrameEnds();
    QColor bar_;
    int progress_ = 0;
    // A gauge that moves faster than the screen refreshes is painted at
    // most once a frame; the value it ends on is always painted.
    qint64 paintedAt_ = std::numeric_limits<qint64>::min() / 2; // by frameClock()
    QTimer paintLater_;
};

// A read-only multi-line text area that holds a list of lines, as the
// operations fill it: added lines, blank and space-only lines included.
// linesChanged() is emitted on every change of its text.
class Memo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit Memo(QWidget* parent);
    const QStringList& lines() const { return lines_; }
    int lineCount() const { return lines_.size(); }
    void addLine(const QString& line);
    // Adds a block of text in which CR LF (or LF) separates the lines.
    void addText(const QString& text);
    void clearLines();

signals:
    void linesChanged();

private:
    void refresh();
    QStringList lines_;
};

// A button drawn from a picture. The pointer-over and pressed looks add a thin
// yellow frame; a caption, when set, is drawn over the picture.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    PictureButton(QWidget* parent, const QString& svgResource);
    void setPicture(const QPixmap& picture);
    void setCaptionFont(const QFont& font, const QColor& color);

signals:
    void entered();
    void left();

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QPixmap picture_;
    QString svg_;
    QFont captionFont_;
    QColor captionColor_ = Qt::white;
    bool hover_ = false;
};

// A picture that reports clicks and mouse presses, for the pictures that act
// as buttons.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent);
    // Whether the picture acts as a button: something handles its clicks.
    bool takesClicks() const;

signals:
    void clicked();
    void pressed();
    void released();

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    bool down_ = false;
};

// A text label that reports clicks. `Hint` holds a text that isn't shown: the
// link labels keep their address there.
class LinkLabel : public ClickLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent) : ClickLabel(parent) {}
    QString Hint;
};

// A rectangle outline with no fill.
class ShapeOutline : public QWidget {
public:
    ShapeOutline(QWidget* parent, const QColor& pen);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor pen_;
};

// Renders an SVG resource at the given size.
QPixmap svgPixmap(const QString& resource, const QSize& size);
