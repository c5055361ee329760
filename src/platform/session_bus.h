#pragma once
// A connection of Brindle's own to the desktop's session bus, reached on a
// thread of its own: a bus that is missing, slow or never answers holds up
// nothing on the window's thread. The bus is the one DBUS_SESSION_BUS_ADDRESS
// names, else $XDG_RUNTIME_DIR/bus; with neither there is none, and no bus
// is started for Brindle alone (a notification service does not listen on
// one).

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

class SessionBus : public QObject
{
    Q_OBJECT
public:
    // Starts reaching the bus.
    explicit SessionBus(QObject *parent = nullptr);
    ~SessionBus() override;

    // The connection once the bus is reached; nothing before, or when there
    // is no bus.
    const std::optional<QDBusConnection> &connection() const { return connection_; }
    // True once the attempt has ended, reached or not.
    bool settled() const { return settled_; }

signals:
    // The attempt has ended: connection() holds the connection, or nothing.
    void settledWith(bool reached);

private:
    struct Reaching; // what the thread and this object share
    void onReached(bool reached);

    QString name_; // the connection's name, Brindle's and this object's own
    std::shared_ptr<Reaching> reaching_;
    std::optional<QDBusConnection> connection_;
    bool settled_ = false;
};

} // namespace platform
