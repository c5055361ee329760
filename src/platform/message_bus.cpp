#include "platform/message_bus.h"

#include "platform/bus_greeting.h"

#include <QAtomicInteger>
#include <cctype>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace platform {
namespace {

// A path as a D-Bus address writes it: bytes other than the few it allows
// bare are written as %XX.
QString addressValue(const QByteArray &path)
{
    QString value;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || QByteArrayView("-_/.\\*").contains(c))
            value += QLatin1Char(c);
        else
            value += QStringLiteral("%%%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return value;
}

// The bus's address when its socket is there: `named` when set, else a
// unix socket at `socket`.
QString busAddress(const char *named, const QByteArray &socket)
{
    const QString address = qEnvironmentVariable(named);
    if (!address.isEmpty())
        return address;
    struct stat info = {};
    if (socket.isEmpty() || ::stat(socket.constData(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return {};
    return QStringLiteral("unix:path=") + addressValue(socket);
}

QString addressOf(MessageBus::Kind kind)
{
    if (kind == MessageBus::Kind::System)
        return busAddress("DBUS_SYSTEM_BUS_ADDRESS", QByteArrayLiteral("/run/dbus/system_bus_socket"));
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return busAddress("DBUS_SESSION_BUS_ADDRESS", runtime.isEmpty() ? QByteArray() : runtime + "/bus");
}

QAtomicInteger<int> connectionCount;

} // namespace

struct MessageBus::Reaching
{
    std::mutex mutex;
    MessageBus *owner = nullptr; // nothing once the owner is gone
    bool done = false;           // the thread has made its connection, or failed to
};

MessageBus::MessageBus(Kind kind, QObject *parent)
    : QObject(parent),
      kind_(kind),
      name_(QStringLiteral("brindle-bus-%1").arg(connectionCount.fetchAndAddRelaxed(1))),
      reaching_(std::make_shared<Reaching>())
{
    reaching_->owner = this;
}

void MessageBus::reach()
{
    if (started_)
        return;
    started_ = true;
    const QString address = addressOf(kind_);
    if (address.isEmpty()) {
        // Settled on the loop's next turn, as a failed attempt is.
        QMetaObject::invokeMethod(this, [this] { onReached(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    // Connecting waits for the bus's answer (and Qt's bus thread waits for
    // it too): never on the window's thread.
    // The connection is handed over made: looking it up by name on the
    // window's thread would wait for Qt's bus thread.
    std::thread([reaching = reaching_, address, name = name_] {
        std::optional<QDBusConnection> connection;
        if (answersAsBus(address))
            connection = QDBusConnection::connectToBus(address, name);
        if (connection && !connection->isConnected())
            connection.reset();
        std::lock_guard lock(reaching->mutex);
        reaching->done = true;
        if (reaching->owner)
            QMetaObject::invokeMethod(
                reaching->owner, [owner = reaching->owner, connection] { owner->onReached(connection); },
                Qt::QueuedConnection);
        else
            QDBusConnection::disconnectFromBus(name);
    }).detach();
}

MessageBus::~MessageBus()
{
    std::lock_guard lock(reaching_->mutex);
    reaching_->owner = nullptr;
    if (reaching_->done)
        QDBusConnection::disconnectFromBus(name_);
}

void MessageBus::onReached(const std::optional<QDBusConnection> &connection)
{
    connection_ = connection;
    settled_ = true;
    emit settledWith(connection_.has_value());
}

} // namespace platform
