#pragma once
// A running download's progress on the task bar or dock, as the
// com.canonical.Unity.LauncherEntry "Update" signal for the application's
// desktop entry (Plasma's task manager, Ubuntu Dock and Dash to Dock read
// it). Signals are sent without waiting for anyone; while the bus is not
// reached yet, the progress last shown goes out once it is.

#include "platform/message_bus.h"

#include <QObject>
#include <QString>
#include <optional>

namespace platform {

class LauncherEntry : public QObject
{
    Q_OBJECT
public:
    // `desktopEntry`: the entry's name without ".desktop".
    LauncherEntry(MessageBus &bus, const QString &desktopEntry, QObject *parent = nullptr);

    // Shows `progress`, 0 to 1, on the entry.
    void showProgress(double progress);
    // Takes the progress off the entry.
    void hideProgress();

private:
    void send();

    MessageBus &bus_;
    QString applicationUri_;
    QString path_; // the object path the signal comes from, after the entry's name
    std::optional<double> progress_; // shown, or nothing when hidden
};

} // namespace platform
