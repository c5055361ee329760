#include "platform/http_probe.h"

#include <QAuthenticator>
#include <QDir>
#include <QSet>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <functional>
#include <vector>

namespace platform {
namespace {

// A 206 answer's Content-Range, "bytes <first>-<last>/<size>": where its
// body begins, and the size of the whole file ("*" when not told).
struct ContentRange
{
    qint64 start = 0;
    std::optional<qint64> size;
};

std::optional<ContentRange> contentRange(const QByteArray &header)
{
    const QByteArray text = header.trimmed();
    if (!text.startsWith("bytes "))
        return std::nullopt;
    const qsizetype dash = text.indexOf('-');
    const qsizetype slash = text.indexOf('/');
    bool ok = false;
    const qint64 start = text.mid(6, dash - 6).trimmed().toLongLong(&ok);
    if (!ok || dash <= 6 || start < 0)
        return std::nullopt;
    const qint64 size = slash < 0 ? -1 : text.mid(slash + 1).trimmed().toLongLong(&ok);
    return ContentRange{start, ok && size >= 0 ? std::optional<qint64>(size) : std::nullopt};
}

// wget goes through the proxy its environment names (http_proxy, no_proxy),
// and so does every request here. Qt reads some of those settings otherwise
// than wget (see the README's limits), and then the two may reach different
// servers.
class EnvironmentProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// Read in pieces, so an answer far longer than asked for never sits in memory.
constexpr qint64 kReadPiece = 1 << 16;

// Less than this in a whole time-out ends a request, as silence would.
constexpr qint64 kLeastBytesPerSecond = 1024;

// wget's own limit.
constexpr int kMostRedirects = 20;

// A header block that keeps Qt's client this busy, with no body arriving
// anywhere, ends its request: checked every beat, ended after so many busy
// beats in a row.
constexpr std::chrono::milliseconds kCostBeat{250};
constexpr std::chrono::milliseconds kBusyWithinBeat{150};
constexpr int kBusyBeats = 8;

std::chrono::nanoseconds processorTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The connections of this process to any of `ports`, shut down under Qt's
// client: its network thread reads a header block without end in a loop
// that never returns to its own events, so abort() alone would never reach
// it, and only the end of the stream stops it.
void shutDownConnectionsTo(const QSet<int> &ports)
{
    QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : descriptors.entryList(QDir::Files | QDir::System)) {
        bool ok = false;
        const int fd = entry.toInt(&ok);
        int type = 0;
        socklen_t length = sizeof type;
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        if (!ok || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM
            || ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        int port = -1;
        if (peer.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
        else if (peer.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
        if (ports.contains(port))
            ::shutdown(fd, SHUT_RDWR);
    }
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The address's user and password, as wget sends them, and where to.
struct SignIn
{
    QString host;
    int port = 80;
    QString user;     // for Qt's client, when a server asks for another scheme
    QString password;
    QByteArray basic; // the Authorization header's value
};

std::optional<SignIn> signInOf(const QUrl &address)
{
    if (address.userInfo().isEmpty() || !address.userInfo(QUrl::FullyEncoded).contains(QLatin1Char(':')))
        return std::nullopt;
    const QByteArray user = QByteArray::fromPercentEncoding(address.userName(QUrl::FullyEncoded).toLatin1());
    const QByteArray password = QByteArray::fromPercentEncoding(address.password(QUrl::FullyEncoded).toLatin1());
    return SignIn{address.host(), address.port(80), QString::fromUtf8(user), QString::fromUtf8(password),
                  "Basic " + (user + ':' + password).toBase64()};
}

bool isFor(const SignIn &signIn, const QUrl &url)
{
    return url.host() == signIn.host && url.port(80) == signIn.port;
}

} // namespace

// One request, across its redirects.
class HttpProbe::Exchange : public QObject
{
public:
    Exchange(QNetworkAccessManager &manager, const Request &request, std::chrono::milliseconds timeout,
             std::function<void()> ended)
        : manager_(manager), range_(request.range), timeout_(timeout), ended_(std::move(ended))
    {
        QUrl url(request.address);
        signIn_ = signInOf(url);
        // Qt's client would sign in with the password's Latin-1 letters.
        url.setUserInfo(QString());
        connect(&manager_, &QNetworkAccessManager::authenticationRequired, this,
                [this](QNetworkReply *reply, QAuthenticator *authenticator) {
                    if (reply == reply_ && signIn_ && isFor(*signIn_, reply->url())) {
                        authenticator->setUser(signIn_->user);
                        authenticator->setPassword(signIn_->password);
                    }
                });
        start(url);
    }

    ~Exchange() override
    {
        if (reply_) {
            reply_->disconnect(this);
            reply_->abort();
            reply_->deleteLater();
        }
    }

    bool waitsForHeaders() const { return reply_ && !headersRead_; }
    // The ports the request's connection may lead to: the server's, or its proxy's.
    QSet<int> ports() const
    {
        QSet<int> ports;
        if (!reply_)
            return ports;
        const QUrl url = reply_->url();
        ports << url.port(80);
        for (const QNetworkProxy &proxy : QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url)))
            if (proxy.type() != QNetworkProxy::NoProxy)
                ports << proxy.port();
        return ports;
    }
    qint64 received() const { return received_; }
    // Ends a request whose header block costs too much.
    void endCostly()
    {
        if (waitsForHeaders())
            end(reply_, QNetworkReply::ProtocolFailure);
    }
    Answer answer;

private:
    void start(const QUrl &url)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // The size and bytes that matter are those wget fetches, and wget
        // asks for the file as it is: a compressing server would otherwise
        // answer with no length at all, and ranges of the compressed bytes.
        request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
        if (signIn_ && isFor(*signIn_, url))
            request.setRawHeader(QByteArrayLiteral("Authorization"), signIn_->basic);
        if (range_) {
            request.setRawHeader(QByteArrayLiteral("Range"), "bytes=" + QByteArray::number(range_->first) + '-'
                                                                 + QByteArray::number(range_->first + range_->count - 1));
        }
        const bool secure = url.scheme() == QStringLiteral("https");
        answer.ports << static_cast<quint16>(url.port(secure ? 443 : 80));
        for (const QNetworkProxy &proxy : QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url)))
            if (proxy.type() != QNetworkProxy::NoProxy)
                answer.ports << proxy.port();
        headersRead_ = false;
        toDrop_ = 0;
        answer.bytes.reset();
        answer.fileLength.reset();
        reply_ = range_ ? manager_.get(request) : manager_.head(request);
        if (range_)
            reply_->setReadBufferSize(kReadPiece);
        connect(reply_, &QNetworkReply::metaDataChanged, this, [this] { readHeaders(); });
        connect(reply_, &QNetworkReply::readyRead, this, [this] { readBody(); });
        connect(reply_, &QNetworkReply::finished, this, [this] { finish(); });
        connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 bytes) { received_ = bytes; });
        watch();
    }

    // Silence alone would let a server hold the request, and the press that
    // waits on it, for hours with a byte now and then; a slow but steady
    // answer (a whole file read up to a long part) goes on.
    void watch()
    {
        auto *watchdog = new QTimer(reply_);
        const qint64 least = kLeastBytesPerSecond * timeout_.count() / 1000;
        connect(watchdog, &QTimer::timeout, this, [this, reply = reply_, least, checked = qint64(0)]() mutable {
            if (reply == reply_ && received_ - checked < least)
                end(reply, QNetworkReply::TimeoutError);
            checked = received_;
        });
        watchdog->start(timeout_);
    }

    int status() const { return reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }

    void readHeaders()
    {
        if (!reply_ || headersRead_)
            return;
        headersRead_ = true;
        const int code = status();
        if (isRedirect(code) && reply_->hasRawHeader(QByteArrayLiteral("Location"))) {
            follow();
            return;
        }
        if (!range_)
            return;
        std::optional<qint64> start;
        if (code == 200) {
            start = 0;
            bool ok = false;
            const qint64 length = reply_->rawHeader(QByteArrayLiteral("Content-Length")).toLongLong(&ok);
            answer.fileLength = ok ? std::optional<qint64>(length) : std::nullopt;
        } else if (const auto told = contentRange(reply_->rawHeader(QByteArrayLiteral("Content-Range")));
                   code == 206 && told) {
            start = told->start;
            answer.fileLength = told->size;
        }
        const QByteArray encoding = reply_->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
        // Not the file's bytes there, or not as wget writes them: the rest of
        // the answer is of no use.
        if (!start || *start > range_->first || !(encoding.isEmpty() || encoding == "identity")) {
            answer.fileLength.reset();
            end(reply_, QNetworkReply::NoError);
            return;
        }
        toDrop_ = range_->first - *start;
        answer.bytes = QByteArray();
        readBody();
    }

    // Takes in what arrived of a ranged answer; once it holds every byte
    // asked for, ends the request, reading a short rest to its end so the
    // connection can serve the next request.
    void readBody()
    {
        if (!reply_ || !range_ || !answer.bytes)
            return;
        QByteArray &bytes = *answer.bytes;
        while (reply_->bytesAvailable() > 0) {
            if (toDrop_ > 0) {
                const qint64 dropped = reply_->skip(std::min(toDrop_, kReadPiece));
                if (dropped <= 0)
                    break;
                toDrop_ -= dropped;
            } else if (bytes.size() < range_->count) {
                bytes += reply_->read(std::min<qint64>(range_->count - bytes.size(), kReadPiece));
            } else if (reply_->skip(kReadPiece) <= 0) {
                break;
            }
        }
        if (bytes.size() < range_->count || reply_->isFinished())
            return;
        bool ok = false;
        const qint64 length = reply_->rawHeader(QByteArrayLiteral("Content-Length")).toLongLong(&ok);
        if (!ok || length - received_ > kReadPiece)
            end(reply_, QNetworkReply::NoError);
    }

    void finish()
    {
        if (!reply_)
            return;
        readHeaders();
        if (!reply_)
            return;
        readBody();
        if (!reply_)
            return;
        // A whole file that ended before the bytes asked for is that long.
        if (range_ && answer.bytes && reply_->error() == QNetworkReply::NoError && answer.bytes->size() < range_->count
            && status() == 200)
            answer.fileLength = range_->first - toDrop_ + answer.bytes->size();
        end(reply_, reply_->error());
    }

    void follow()
    {
        const QUrl from = reply_->url();
        const QUrl to = from.resolved(QUrl::fromEncoded(reply_->rawHeader(QByteArrayLiteral("Location"))));
        if (++redirects_ > kMostRedirects) {
            end(reply_, QNetworkReply::TooManyRedirectsError);
            return;
        }
        const bool safe = to.scheme() == QStringLiteral("https")
                          || (to.scheme() == QStringLiteral("http") && from.scheme() == QStringLiteral("http"));
        if (!safe || !to.isValid()) {
            end(reply_, QNetworkReply::InsecureRedirectError);
            return;
        }
        drop();
        start(to);
    }

    void end(QNetworkReply *reply, QNetworkReply::NetworkError error)
    {
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.errorCode = error;
        if (answer.errorCode == 0 && answer.status >= 400)
            answer.errorCode = answer.status;
        answer.headers = reply->rawHeaderPairs();
        if (answer.errorCode != 0)
            answer.bytes.reset();
        drop();
        ended_();
    }

    // Lets the current reply go, unread.
    void drop()
    {
        QNetworkReply *reply = reply_;
        reply_ = nullptr;
        reply->disconnect(this);
        if (!reply->isFinished())
            reply->abort();
        reply->deleteLater();
    }

    QNetworkAccessManager &manager_;
    std::optional<Request::Range> range_;
    std::chrono::milliseconds timeout_;
    std::function<void()> ended_;
    std::optional<SignIn> signIn_;
    QNetworkReply *reply_ = nullptr;
    bool headersRead_ = false;
    qint64 toDrop_ = 0; // of the answer, before the bytes asked for
    qint64 received_ = 0;
    int redirects_ = 0;
};

HttpProbe::HttpProbe(std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), timeout_(timeout)
{
}

HttpProbe::~HttpProbe() = default;

QNetworkAccessManager &HttpProbe::manager()
{
    if (!manager_) {
        manager_ = std::make_unique<QNetworkAccessManager>();
        manager_->setProxyFactory(new EnvironmentProxies);
    }
    return *manager_;
}

QList<HttpProbe::Answer> HttpProbe::ask(const QList<Request> &requests)
{
    QEventLoop loop;
    qsizetype open = requests.size();
    std::vector<std::unique_ptr<Exchange>> exchanges;
    for (const Request &request : requests)
        exchanges.push_back(std::make_unique<Exchange>(manager(), request, timeout_, [&open, &loop] {
            if (--open == 0)
                loop.quit();
        }));

    QTimer costs;
    auto before = processorTime();
    qint64 receivedBefore = 0;
    int busyBeats = 0;
    bool costly = false;
    QObject::connect(&costs, &QTimer::timeout, &loop, [&] {
        const auto now = processorTime();
        qint64 received = 0;
        bool waiting = false;
        for (const auto &exchange : exchanges) {
            received += exchange->received();
            waiting = waiting || exchange->waitsForHeaders();
        }
        busyBeats = waiting && received == receivedBefore && now - before > kBusyWithinBeat ? busyBeats + 1 : 0;
        before = now;
        receivedBefore = received;
        if (busyBeats >= kBusyBeats) {
            costly = true;
            QSet<int> ports;
            for (const auto &exchange : exchanges)
                ports += exchange->waitsForHeaders() ? exchange->ports() : QSet<int>();
            shutDownConnectionsTo(ports);
            for (const auto &exchange : exchanges)
                exchange->endCostly();
        }
    });
    costs.start(kCostBeat);
    if (open > 0)
        loop.exec();

    QList<Answer> answers;
    for (const auto &exchange : exchanges)
        answers << exchange->answer;
    // The client's network thread may have been held; a new one serves the
    // next requests.
    if (costly) {
        exchanges.clear();
        manager_.reset();
    }
    return answers;
}

std::optional<QString> HttpProbe::Answer::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        // Some Qt versions keep a blank header and others drop it; blank
        // reads as not sent on all of them.
        if (key.compare(name, Qt::CaseInsensitive) == 0 && !value.trimmed().isEmpty())
            return QString::fromLatin1(value);
    }
    return std::nullopt;
}

} // namespace platform
