#pragma once
// A connection of Brindle's own to the desktop's session bus or to the
// system bus, reached on a thread of its own, and only once something is
// first to be sent: a bus that is missing, slow or never answers holds up
// nothing on the window's thread, and a window that never talks to the desktop
// starts no thread for it. The session bus is the one DBUS_SESSION_BUS_ADDRESS
// names, else $XDG_RUNTIME_DIR/bus; the system bus the one
// DBUS_SYSTEM_BUS_ADDRESS names, else /run/dbus/system_bus_socket. With
// neither there is none, and no bus is started for Brindle alone (no desktop
// service listens on one). A bus that does not answer as bus_greeting.h
// asks it is none as well.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

class MessageBus : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Session, System };

    explicit MessageBus(Kind kind, QObject *parent = nullptr);
    ~MessageBus() override;

    // Starts reaching the bus, the first time only.
    void reach();
    // The connection once the bus is reached; nothing before, or when there
    // is no bus.
    const std::optional<QDBusConnection> &connection() const { return connection_; }
    // True once an attempt has ended, reached or not.
    bool settled() const { return settled_; }

signals:
    // The attempt has ended: connection() holds the connection, or nothing.
    void settledWith(bool reached);

private:
    struct Reaching; // what the thread and this object share
    void onReached(const std::optional<QDBusConnection> &connection);

    Kind kind_;
    QString name_; // the connection's name, Brindle's and this object's own
    std::shared_ptr<Reaching> reaching_;
    std::optional<QDBusConnection> connection_;
    bool started_ = false;
    bool settled_ = false;
};

} // namespace platform
