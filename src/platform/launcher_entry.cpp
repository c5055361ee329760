#include "platform/launcher_entry.h"

#include <QDBusMessage>

namespace platform {

LauncherEntry::LauncherEntry(MessageBus &bus, const QString &desktopEntry, QObject *parent)
    : QObject(parent),
      bus_(bus),
      applicationUri_(QStringLiteral("application://") + desktopEntry + QStringLiteral(".desktop")),
      path_(QLatin1Char('/') + QString(desktopEntry).replace(QLatin1Char('.'), QLatin1Char('/'))
            + QStringLiteral("/LauncherEntry"))
{
    // Nothing was sent before the bus was reached, so a progress taken off
    // meanwhile needs no signal.
    connect(&bus_, &MessageBus::settledWith, this, [this](bool reached) {
        if (reached && progress_)
            send();
    });
}

void LauncherEntry::showProgress(double progress)
{
    bus_.reach();
    progress_ = progress;
    send();
}

void LauncherEntry::hideProgress()
{
    progress_.reset();
    send();
}

void LauncherEntry::send()
{
    if (!bus_.connection())
        return;
    QVariantMap properties{{QStringLiteral("progress-visible"), progress_.has_value()}};
    if (progress_)
        properties.insert(QStringLiteral("progress"), *progress_);
    QDBusMessage update = QDBusMessage::createSignal(path_,
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << applicationUri_ << properties;
    // Queued on the connection; nothing waits for it to leave.
    bus_.connection()->send(update);
}

} // namespace platform
