#pragma once
// What assistive technology gets for the bar: a progress bar whose value,
// 0 to 100, is the percentage drawn. The percentage label drawn on the bar
// is part of the bar's value, not an object of its own, so a screen reader
// never reads it as a stray number.

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace progress {

class GradientBar;

class BarAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit BarAccessible(GradientBar *bar);

    // Handed to QAccessible::installFactory: a BarAccessible for every
    // GradientBar, nothing for anything else.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

    QString text(QAccessible::Text t) const override;
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void *interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {} // shown, not set
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    const GradientBar *bar() const;
};

} // namespace progress
