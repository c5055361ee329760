#include "platform/message_bus.h"

#include <QAtomicInteger>
#include <QScopeGuard>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// A bus on this computer answers at once; one that has not answered by
// then is taken for none.
constexpr std::chrono::seconds kGreetingWithin{2};

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

// Whether the bus at `address` answers a greeting within the time allowed.
// Qt makes every connection on one thread of its own, which waits for the
// bus's answers without a time limit: one bus that accepts and never
// speaks (a stopped or hung daemon) would hold up every other bus too.
// Only unix sockets are asked; a bus of another transport is taken at its
// word.
bool answersGreeting(const QString &address)
{
    const QString first = address.section(QLatin1Char(';'), 0, 0);
    if (!first.startsWith(QLatin1String("unix:")))
        return true;
    QByteArray path;
    bool abstract = false;
    for (const QString &pair : first.mid(5).split(QLatin1Char(','))) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        if (key == QLatin1String("path") || key == QLatin1String("abstract")) {
            path = QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toLatin1());
            abstract = key == QLatin1String("abstract");
        }
    }
    sockaddr_un socketAddress = {};
    socketAddress.sun_family = AF_UNIX;
    const qsizetype offset = abstract ? 1 : 0;
    if (path.isEmpty() || path.size() + offset >= qsizetype(sizeof socketAddress.sun_path))
        return true;
    std::memcpy(socketAddress.sun_path + offset, path.constData(), path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));

    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return false;
    const auto closeSocket = qScopeGuard([socket] { ::close(socket); });
    const auto deadline = std::chrono::steady_clock::now() + kGreetingWithin;
    // Waits until `events` or the deadline.
    const auto until = [&](short events) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd polled = {socket, events, 0};
            const int ready = ::poll(&polled, 1, int(std::max<qint64>(left.count(), 0)));
            if (ready > 0)
                return true;
            if (ready == 0 || errno != EINTR)
                return false;
        }
    };
    // A unix socket connects at once, or not at all (a full backlog, EAGAIN,
    // is a bus that does not take its callers either).
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&socketAddress), length) != 0)
        return false;
    // The first words of every D-Bus client; any answer is the bus speaking.
    const QByteArray greeting = QByteArray(1, '\0') + "AUTH EXTERNAL "
                                + QByteArray::number(::getuid()).toHex() + "\r\n";
    if (::send(socket, greeting.constData(), greeting.size(), MSG_NOSIGNAL) != greeting.size())
        return false;
    QByteArray answer;
    while (!answer.contains("\r\n")) {
        char bytes[256];
        if (!until(POLLIN))
            return false;
        const ssize_t read = ::recv(socket, bytes, sizeof bytes, 0);
        if (read <= 0 && !(read < 0 && (errno == EAGAIN || errno == EINTR)))
            return false;
        answer.append(bytes, std::max<ssize_t>(read, 0));
    }
    return true;
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
        QMetaObject::invokeMethod(this, [this] { onReached(false); }, Qt::QueuedConnection);
        return;
    }
    // Connecting waits for the bus's answer (and Qt's bus thread waits for
    // it too): never on the window's thread.
    std::thread([reaching = reaching_, address, name = name_] {
        const bool reached = answersGreeting(address) && QDBusConnection::connectToBus(address, name).isConnected();
        std::lock_guard lock(reaching->mutex);
        reaching->done = true;
        if (reaching->owner)
            QMetaObject::invokeMethod(
                reaching->owner, [owner = reaching->owner, reached] { owner->onReached(reached); },
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

void MessageBus::onReached(bool reached)
{
    if (reached)
        connection_ = QDBusConnection(name_);
    settled_ = true;
    emit settledWith(reached);
}

} // namespace platform
