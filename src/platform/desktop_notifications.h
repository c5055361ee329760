#pragma once
// Desktop notifications through org.freedesktop.Notifications on the
// session bus. Each is sent without waiting for the service: a service
// that is missing, or never answers, holds up nothing, and its notification
// is simply not shown. Those sent before the bus is reached go out once it
// is, or nowhere when there is no bus.

#include "platform/session_bus.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

namespace platform {

struct Notification
{
    QString summary; // one line, plain text
    QString body;    // plain text
    // An action that opens `folder`, offered where the service shows
    // actions; none when the label is empty.
    QString actionLabel;
    QString folder;
};

class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    // Sent as the application's name and icon; `desktopEntry` (the entry's
    // name without ".desktop") lets the desktop group the notifications with
    // the menu entry.
    DesktopNotifications(SessionBus &bus, QString applicationName, QString iconName, QString desktopEntry,
                         QObject *parent = nullptr);

    void notify(const Notification &notification);

private slots:
    // The service's signals, for any notification; only Brindle's own are
    // acted on.
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    void onSettled(bool reached);
    void send(const Notification &notification);

    SessionBus &bus_;
    QString applicationName_;
    QString iconName_;
    QString desktopEntry_;
    QList<Notification> waiting_;  // until the bus is reached
    QHash<uint, QString> folders_; // shown notifications with an action: the folder it opens
};

} // namespace platform
