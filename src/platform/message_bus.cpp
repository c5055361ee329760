#include "platform/message_bus.h"

#include <QAtomicInteger>
#include <QMap>
#include <QScopeGuard>
#include <QtEndian>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netdb.h>
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

// org.freedesktop.DBus.Hello as a method call, little-endian, serial 1,
// no body: what every client says first once authenticated.
QByteArray helloCall()
{
    const auto number = [](quint32 value) {
        const quint32 little = qToLittleEndian(value);
        return QByteArray(reinterpret_cast<const char *>(&little), 4);
    };
    QByteArray fields; // each field 8-aligned, as the array is in the message
    const auto field = [&](char code, char type, const QByteArray &value) {
        fields += QByteArray((8 - fields.size() % 8) % 8, '\0');
        fields += QByteArray(1, code) + '\1' + type + '\0' + number(quint32(value.size())) + value + '\0';
    };
    field(1, 'o', QByteArrayLiteral("/org/freedesktop/DBus"));
    field(6, 's', QByteArrayLiteral("org.freedesktop.DBus"));
    field(2, 's', QByteArrayLiteral("org.freedesktop.DBus"));
    field(3, 's', QByteArrayLiteral("Hello"));
    QByteArray message = QByteArray("l\1\0\1", 4) + number(0) + number(1) + number(quint32(fields.size())) + fields;
    return message + QByteArray((8 - message.size() % 8) % 8, '\0');
}

// Whether `socket`, connected, answers as a bus by `deadline`: the
// authentication, and for a client let in, Hello. Qt makes every
// connection on one thread of its own, and libdbus waits for both answers
// there without a time limit: one bus that accepts and never speaks, or
// stops speaking (a stopped or hung daemon, another kind of server), would
// hold up every other bus too, and the accessibility bus with them.
bool answersAsBus(int socket, std::chrono::steady_clock::time_point deadline)
{
    QByteArray answer;
    // Reads until `enough` holds of the answer, or the deadline.
    const auto readUntil = [&](auto enough) {
        while (!enough()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd polled = {socket, POLLIN, 0};
            const int ready = ::poll(&polled, 1, int(std::max<qint64>(left.count(), 0)));
            if (ready == 0 || (ready < 0 && errno != EINTR))
                return false;
            char bytes[256];
            const ssize_t read = ready > 0 ? ::recv(socket, bytes, sizeof bytes, 0) : 0;
            if (ready > 0 && read <= 0 && !(read < 0 && (errno == EAGAIN || errno == EINTR)))
                return false;
            answer.append(bytes, std::max<ssize_t>(read, 0));
        }
        return true;
    };
    const auto say = [socket](const QByteArray &words) {
        return ::send(socket, words.constData(), words.size(), MSG_NOSIGNAL) == words.size();
    };
    if (!say(QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n")
        || !readUntil([&] { return answer.contains("\r\n"); }))
        return false;
    // A bus that turns the mechanism down is speaking: libdbus goes on
    // with another (over TCP, where the bus cannot see who calls, it must).
    // Any other line is no bus libdbus could talk to.
    if (answer.startsWith("REJECTED"))
        return true;
    if (!answer.startsWith("OK "))
        return false;
    const qsizetype greeted = answer.size();
    return say("BEGIN\r\n" + helloCall()) && readUntil([&] { return answer.size() > greeted; });
}

// Whether the bus listening at `to` answers within the time allowed;
// nothing where the connection is refused, and libdbus goes on with the
// next address. A connection still under way at the deadline is a bus
// that never answers: libdbus would wait for it.
std::optional<bool> answersAt(int family, const sockaddr *to, socklen_t length)
{
    const auto deadline = std::chrono::steady_clock::now() + kGreetingWithin;
    const int socket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return false;
    const auto closeSocket = qScopeGuard([socket] { ::close(socket); });
    // A unix socket connects at once, or not at all (a full backlog,
    // EAGAIN, is a bus that does not take its callers either).
    if (::connect(socket, to, length) != 0) {
        if (errno != EINPROGRESS)
            return std::nullopt;
        pollfd polled = {socket, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (::poll(&polled, 1, int(std::max<qint64>(left.count(), 0))) != 1)
            return false;
        int failure = 0;
        socklen_t size = sizeof failure;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &failure, &size) != 0 || failure != 0)
            return std::nullopt;
    }
    return answersAsBus(socket, deadline);
}

// Whether the bus at `address` answers within the time allowed. As libdbus
// does, the addresses of a list are tried in turn, the first that takes
// the connection is the bus, and one it cannot connect to is passed over:
// a transport it does not know, a unix address naming no socket, or naming
// one beside a listening address's tmpdir, dir or runtime, a TCP address
// without a port or of another family (the first value of a key counts).
// Unix sockets and TCP are asked; a bus of another transport is taken at
// its word.
bool answersGreeting(const QString &address)
{
    const QStringList otherTransports = {QStringLiteral("nonce-tcp"), QStringLiteral("unixexec"),
                                         QStringLiteral("autolaunch")};
    const QStringList locations = {QStringLiteral("path"), QStringLiteral("abstract"), QStringLiteral("tmpdir"),
                                   QStringLiteral("dir"), QStringLiteral("runtime")};
    for (const QString &entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString transport = entry.section(QLatin1Char(':'), 0, 0);
        QMap<QString, QByteArray> values;
        for (const QString &pair : entry.mid(transport.size() + 1).split(QLatin1Char(','))) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            if (!values.contains(key))
                values.insert(key, QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toLatin1()));
        }
        if (transport == QLatin1String("tcp")) {
            const QByteArray family = values.value(QStringLiteral("family"));
            addrinfo hints = {};
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_family = family == "ipv4" ? AF_INET : family == "ipv6" ? AF_INET6 : AF_UNSPEC;
            addrinfo *found = nullptr;
            if ((!family.isEmpty() && hints.ai_family == AF_UNSPEC) || !values.contains(QStringLiteral("port"))
                || ::getaddrinfo(values.value(QStringLiteral("host"), "localhost").constData(),
                                 values.value(QStringLiteral("port")).constData(), &hints, &found) != 0)
                continue;
            const auto freeFound = qScopeGuard([found] { ::freeaddrinfo(found); });
            for (const addrinfo *at = found; at; at = at->ai_next)
                if (const std::optional<bool> answered = answersAt(at->ai_family, at->ai_addr, at->ai_addrlen))
                    return *answered;
            continue;
        }
        if (transport != QLatin1String("unix")) {
            if (otherTransports.contains(transport))
                return true;
            continue;
        }
        const auto named = std::count_if(locations.cbegin(), locations.cend(), [&](const QString &key) { return values.contains(key); });
        const bool abstract = values.contains(QStringLiteral("abstract"));
        const QByteArray path = values.value(abstract ? QStringLiteral("abstract") : QStringLiteral("path"));
        sockaddr_un socketAddress = {};
        socketAddress.sun_family = AF_UNIX;
        const qsizetype offset = abstract ? 1 : 0;
        if (named != 1 || path.isEmpty() || path.size() + offset >= qsizetype(sizeof socketAddress.sun_path))
            continue;
        std::memcpy(socketAddress.sun_path + offset, path.constData(), path.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
        if (const std::optional<bool> answered
            = answersAt(AF_UNIX, reinterpret_cast<const sockaddr *>(&socketAddress), length))
            return *answered;
    }
    return false;
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
        if (answersGreeting(address))
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
