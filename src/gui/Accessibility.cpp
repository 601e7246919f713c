// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Accessibility.h"

#include "gui/Widgets.h"

#include <QAccessibleWidget>

namespace {

class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeAccessible(Gauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(gauge()->progress()) + QLatin1Char('%');
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return gauge()->progress(); }
    void setCurrentValue(const QVariant&) override {} // the operations set it, not the user
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    Gauge* gauge() const { return static_cast<Gauge*>(widget()); }
};

// A picture or text label. One that takes clicks is a button (a link when it
// holds an address) with a press action; the others are plain pictures.
class ClickLabelAccessible : public QAccessibleWidget {
public:
    explicit ClickLabelAccessible(ClickLabel* label) : QAccessibleWidget(label) {}

    // Asked each time: the interface may be made before the clicks are bound.
    QAccessible::Role role() const override {
        if (!label()->takesClicks())
            return label()->text().isEmpty() ? QAccessible::Graphic : QAccessible::StaticText;
        return qobject_cast<LinkLabel*>(label()) ? QAccessible::Link : QAccessible::Button;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return label()->takesClicks() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && label()->takesClicks() && label()->isEnabled())
            emit label()->clicked();
    }

private:
    ClickLabel* label() const { return static_cast<ClickLabel*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("Gauge"))
        return new GaugeAccessible(static_cast<Gauge*>(object));
    if (className == QLatin1String("ClickLabel"))
        return new ClickLabelAccessible(static_cast<ClickLabel*>(object));
    return nullptr;
}

} // namespace

void installAccessibility() {
    static bool installed = false;
    if (!std::exchange(installed, true)) QAccessible::installFactory(factory);
}

void setAccessibleNames(std::initializer_list<std::pair<QWidget*, const char*>> names) {
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));
}
