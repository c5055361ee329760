#include "platform/desktop_notifications.h"

#include "platform/browser.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <sys/stat.h>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kOpenFolder = QStringLiteral("open-folder");
const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
// A file manager that takes the call and never answers costs the user this
// long before the folder opens instead.
constexpr int kFileManagerMilliseconds = 5000;

// A path as a file: address, byte for byte.
QString fileAddress(const QByteArray &path)
{
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
}

} // namespace

DesktopNotifications::DesktopNotifications(MessageBus &bus, QString applicationName, QString iconName,
                                           QString desktopEntry, QObject *parent)
    : QObject(parent),
      bus_(bus),
      applicationName_(std::move(applicationName)),
      iconName_(std::move(iconName)),
      desktopEntry_(std::move(desktopEntry))
{
    connect(&bus_, &MessageBus::settledWith, this, &DesktopNotifications::onSettled);
    if (bus_.settled())
        onSettled(bus_.connection().has_value());
}

void DesktopNotifications::notify(const Notification &notification)
{
    bus_.reach();
    if (!bus_.settled())
        waiting_ << notification;
    else if (bus_.connection())
        send(notification);
}

void DesktopNotifications::onSettled(bool reached)
{
    if (reached) {
        // Any sender's signals are heard: naming the service would have Qt
        // ask the bus for its owner and wait for the answer.
        QDBusConnection connection = *bus_.connection();
        connection.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"), this,
                           SLOT(onActionInvoked(uint, QString)));
        connection.connect(QString(), kPath, kService, QStringLiteral("NotificationClosed"), this,
                           SLOT(onNotificationClosed(uint, uint)));
        for (const Notification &notification : std::as_const(waiting_))
            send(notification);
    }
    waiting_.clear();
}

void DesktopNotifications::send(const Notification &notification)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QStringList actions = notification.actionLabel.isEmpty()
                                    ? QStringList()
                                    : QStringList{kOpenFolder, notification.actionLabel};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry_}};
    call << applicationName_ << uint(0) << iconName_ << notification.summary << notification.body << actions
         << hints << qint32(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus_.connection()->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, place = Place{notification.folder, notification.file},
             action = !actions.isEmpty()](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                if (action && reply.isValid())
                    places_.insert(reply.value(), place);
                finished->deleteLater();
            });
}

void DesktopNotifications::onActionInvoked(uint id, const QString &action)
{
    const auto place = places_.constFind(id);
    if (action != kOpenFolder || place == places_.constEnd())
        return;
    struct stat info = {};
    if (place->file.isEmpty() || ::lstat(place->file.constData(), &info) != 0) {
        openFolder(place->folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       kFileManager, QStringLiteral("ShowItems"));
    call << QStringList{fileAddress(place->file)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus_.connection()->asyncCall(call, kFileManagerMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, folder = place->folder](QDBusPendingCallWatcher *finished) {
                if (finished->isError())
                    openFolder(folder);
                finished->deleteLater();
            });
}

void DesktopNotifications::openFolder(const QByteArray &folder)
{
    // xdg-open shows a folder in the file manager; given as a file:
    // address, as a path may hold bytes that are no text in the locale. One
    // that cannot be opened is not reported: the notification, the only
    // place the user asked from, is gone by now.
    openInBrowser(fileAddress(folder));
}

void DesktopNotifications::onNotificationClosed(uint id, uint /*reason*/)
{
    places_.remove(id);
}

} // namespace platform
