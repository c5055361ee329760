#include "app/link_label.h"

#include <QMouseEvent>

namespace app {

LinkLabel::LinkLabel(const QString &address, QWidget *parent) : QLabel(address, parent)
{
    static const bool accessible = (QAccessible::installFactory(&LinkAccessible::factory), true);
    Q_UNUSED(accessible);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

LinkAccessible::LinkAccessible(LinkLabel *link) : QAccessibleWidget(link, QAccessible::Link)
{
}

QAccessibleInterface *LinkAccessible::factory(const QString &, QObject *object)
{
    if (auto *link = qobject_cast<LinkLabel *>(object))
        return new LinkAccessible(link);
    return nullptr;
}

QString LinkAccessible::text(QAccessible::Text t) const
{
    const QString address = static_cast<const LinkLabel *>(widget())->text();
    if (t == QAccessible::Name || t == QAccessible::Value)
        return address;
    return QAccessibleWidget::text(t);
}

QAccessible::State LinkAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.linked = true;
    return state;
}

QStringList LinkAccessible::actionNames() const
{
    return {QAccessibleActionInterface::pressAction()};
}

void LinkAccessible::doAction(const QString &actionName)
{
    if (actionName == QAccessibleActionInterface::pressAction())
        emit static_cast<LinkLabel *>(widget())->clicked();
}

} // namespace app
