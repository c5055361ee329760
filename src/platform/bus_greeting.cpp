#include "platform/bus_greeting.h"

#include <QMap>
#include <QScopeGuard>
#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// A bus on this computer answers at once; one that has not answered by
// then is taken for none.
constexpr std::chrono::seconds kGreetingWithin{2};

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
// authentication, and for a client let in, Hello.
bool answersOnSocket(int socket, std::chrono::steady_clock::time_point deadline)
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
    return answersOnSocket(socket, deadline);
}

} // namespace

bool answersAsBus(const QString &address)
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

} // namespace platform
