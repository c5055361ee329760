#pragma once
// A connection of Brindle's own to the desktop's session bus or to the
// system bus, reached on a thread of its own, and only once something is
// first to be sent: a bus that is missing, slow or never answers holds up
// nothing on the window's thread, and a window that never talks to the desktop
// starts no thread for it. The session bus is the one DBUS_SESSION_BUS_ADDRESS
// names, else $XDG_RUNTIME_DIR/bus; the system bus the one
// DBUS_SYSTEM_BUS_ADDRESS names, else /run/dbus/system_bus_socket. With
// neither there is none, and no bus is started for Brindle alone (no desktop
// service listens on one). Of a list of addresses, the first that takes
// the connection is the bus, as libdbus has it. A bus on a unix socket or
// TCP that has not answered a client's authentication and Hello within two
// seconds is none as well: Qt connects to every bus, the accessibility bus
// among them, on one thread, and one bus that never speaks, or stops, would
// silence the others.

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
