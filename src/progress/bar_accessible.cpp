#include "progress/bar_accessible.h"

#include "progress/gradient_bar.h"

namespace progress {

BarAccessible::BarAccessible(GradientBar *bar) : QAccessibleWidget(bar, QAccessible::ProgressBar)
{
}

QAccessibleInterface *BarAccessible::factory(const QString &, QObject *object)
{
    if (auto *bar = qobject_cast<GradientBar *>(object))
        return new BarAccessible(bar);
    return nullptr;
}

const GradientBar *BarAccessible::bar() const
{
    return static_cast<const GradientBar *>(widget());
}

QString BarAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return percentText(bar()->percent(), bar()->locale());
    return QAccessibleWidget::text(t);
}

void *BarAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant BarAccessible::currentValue() const
{
    return bar()->percent();
}

} // namespace progress
