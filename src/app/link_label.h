#pragma once
// A label for a web address: it reports a click of the left mouse button,
// which its owner answers by opening the address, and to assistive
// technology it is a link named by its address whose press action does what
// the click does. Like every label it stays out of the keyboard focus order.

#include <QAccessibleWidget>
#include <QLabel>

namespace app {

class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString &address, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(LinkLabel *link);

    // Handed to QAccessible::installFactory: a LinkAccessible for every
    // LinkLabel, nothing for anything else.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

} // namespace app
