#pragma once
// Desktop notifications through org.freedesktop.Notifications on the
// session bus. Each is sent without waiting for the service: a service
// that is missing, or never answers, holds up nothing, and its notification
// is simply not shown. Those sent before the bus is reached go out once it
// is, or nowhere when there is no bus.
//
// A notification's action shows its file selected in the file manager
// (org.freedesktop.FileManager1 ShowItems), or opens its folder (xdg-open)
// where no file manager takes the call or the file is gone.

#include "platform/message_bus.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

namespace platform {

struct Notification
{
    QString summary; // one line, plain text
    QString body;    // plain text
    // An action that shows `file` in `folder`, offered where the service
    // shows actions; none when the label is empty. With no file, the action
    // opens the folder.
    QString actionLabel;
    QByteArray folder;
    QByteArray file;
};

class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    // Sent as the application's name and icon; `desktopEntry` (the entry's
    // name without ".desktop") lets the desktop group the notifications with
    // the menu entry.
    DesktopNotifications(MessageBus &bus, QString applicationName, QString iconName, QString desktopEntry,
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

    MessageBus &bus_;
    QString applicationName_;
    QString iconName_;
    QString desktopEntry_;
    QList<Notification> waiting_;  // until the bus is reached
    struct Place
    {
        QByteArray folder, file;
    };
    // Where the file manager shows no file: the folder, through xdg-open.
    static void openFolder(const QByteArray &folder);
    QHash<uint, Place> places_; // shown notifications with an action: what it shows
};

} // namespace platform
