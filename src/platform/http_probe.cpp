#include "platform/http_probe.h"

#include <QAuthenticator>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <functional>
#include <vector>

namespace platform {
namespace {

// A 206 answer's Content-Range, "bytes <first>-<last>/<length>": where its
// body begins, and the length of the server's whole file ("*" when not told).
struct ContentRange
{
    qint64 start = 0;
    std::optional<qint64> completeLength;
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
    const qint64 length = slash < 0 ? -1 : text.mid(slash + 1).trimmed().toLongLong(&ok);
    return ContentRange{start, ok && length >= 0 ? std::optional<qint64>(length) : std::nullopt};
}

// Every request here goes through the system's proxy as Qt reads it: the
// environment's http_proxy and no_proxy, which wget reads too (some of them
// otherwise), and with Debian's Qt the desktop's settings through libproxy,
// which wget does not read. Where the two differ they may reach different
// servers (a limit the manual page states).
class SystemProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// Read in pieces, so an answer far longer than asked for never sits in memory.
constexpr qint64 kReadPiece = 1 << 16;

// How far a ranged answer is read beyond the bytes asked for: the start of
// a 200 or of a wider 206 before them, a multipart answer's part headers.
constexpr qint64 kMostBeyondAsked = 1 << 20;

// Less than this in a whole time-out ends a request, as silence would.
constexpr qint64 kLeastBytesPerSecond = 1024;

// wget's own limit.
constexpr int kMostRedirects = 20;

// The connections Qt's client opens to one server at once.
constexpr qsizetype kConnectionsPerClient = 6;

// The processor time that header blocks still pending may cost, checked
// every beat.
constexpr std::chrono::milliseconds kCostBeat{250};
constexpr std::chrono::milliseconds kMostHeaderCost{1000};

// The processor time of Qt's network threads, where header blocks are read:
// the threads of this process that Qt names so (the name cut to the 15
// bytes the kernel keeps), each read through its own CPU clock.
std::chrono::nanoseconds networkThreadsTime()
{
    static const QByteArray name = QByteArrayLiteral("QNetworkAccessManager thread").left(15);
    std::chrono::nanoseconds total{0};
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &entry : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(entry) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        // A thread's CPU clock, as the kernel encodes it for a thread id.
        const clockid_t clock = clockid_t((~unsigned(entry.toInt()) << 3) | 6);
        timespec spent{};
        if (::clock_gettime(clock, &spent) == 0)
            total += std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec);
    }
    return total;
}

int defaultPort(const QUrl &url)
{
    return url.port(url.scheme() == QStringLiteral("https") ? 443 : 80);
}

// The ports a request for `url` connects to: the server's, or its proxy's.
QSet<int> portsFor(const QUrl &url)
{
    QSet<int> ports{defaultPort(url)};
    for (const QNetworkProxy &proxy : QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url)))
        if (proxy.type() != QNetworkProxy::NoProxy)
            ports << proxy.port();
    return ports;
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

// The length of an answer's body, its Content-Length read as the whole
// number HTTP writes there: what a ranged answer is measured by (a 200's is
// the server's whole file). The size the window shows is read otherwise,
// from the HEAD's header text (download::toSize).
std::optional<qint64> contentLength(const QNetworkReply &reply)
{
    bool ok = false;
    const qint64 length = reply.rawHeader(QByteArrayLiteral("Content-Length")).toLongLong(&ok);
    return ok ? std::optional<qint64>(length) : std::nullopt;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A request turned away is asked again alone at most so often, after a
// pause that doubles each time.
constexpr int kMostTriesAgain = 7;
constexpr std::chrono::milliseconds kFirstPause{500};
// A connection closed without an answer sooner than this was refused; one
// that stayed silent longer was held and given up on (a proxy's time-out).
constexpr std::chrono::milliseconds kRefusedAtOnce{2000};

// Events are handled meanwhile.
void waitFor(std::chrono::milliseconds pause)
{
    QEventLoop loop;
    QTimer::singleShot(pause, &loop, &QEventLoop::quit);
    loop.exec();
}

// A Retry-After's pause: delay-seconds, or an HTTP date from now.
std::optional<std::chrono::milliseconds> retryAfterOf(const HttpProbe::Answer &answer)
{
    const std::optional<QString> value = answer.header(QByteArrayLiteral("Retry-After"));
    if (!value)
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = value->trimmed().toLongLong(&ok);
    // A day is beyond any deadline, and keeps the milliseconds in range.
    if (ok && seconds >= 0)
        return std::chrono::seconds(std::min<qint64>(seconds, 86400));
    // HTTP writes its dates in GMT, which not every Qt reads as a zone.
    QString date = value->trimmed();
    if (date.endsWith(QLatin1String(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return std::chrono::milliseconds(std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(when)));
}

// The address's user and password, as wget sends them, and where to.
struct SignIn
{
    QUrl address;
    QString user;     // for Qt's client, when a server asks for Digest
    QString password;
    QByteArray basic; // the Authorization header's value
};

// The words of a .netrc file as wget reads them: split at blanks, a word
// may be quoted ("two words"), a backslash takes the next byte as it is, a
// word starting with # ends its line, and a macro's lines (macdef) up to
// the next blank line are no words.
QByteArrayList netrcWords(const QByteArray &text)
{
    QByteArrayList words;
    bool inMacro = false;
    for (const QByteArray &line : text.split('\n')) {
        if (inMacro) {
            inMacro = !line.trimmed().isEmpty();
            continue;
        }
        qsizetype at = 0;
        while (true) {
            while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
                ++at;
            if (at >= line.size() || line[at] == '#')
                break;
            const bool quoted = line[at] == '"';
            at += quoted ? 1 : 0;
            QByteArray word;
            while (at < line.size() && (quoted ? line[at] != '"' : !std::isspace(static_cast<unsigned char>(line[at])))) {
                if (line[at] == '\\' && at + 1 < line.size())
                    ++at;
                word += line[at++];
            }
            at += quoted ? 1 : 0;
            words << word;
        }
        if (words.size() >= 2 && words[words.size() - 2] == "macdef")
            inMacro = true;
    }
    return words;
}

// The login and password that ~/.netrc gives `host` (by name, letter case
// aside), as wget takes them: for `user` only where the entry's login is
// that user. wget uses no default entry for HTTP.
std::optional<QPair<QByteArray, QByteArray>> netrcEntry(const QString &host, const QByteArray &user)
{
    QFile file(QFile::decodeName(qgetenv("HOME")) + QStringLiteral("/.netrc"));
    if (qEnvironmentVariableIsEmpty("HOME") || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArrayList words = netrcWords(file.read(1 << 20));
    bool ours = false;
    bool found = false;
    QByteArray login;
    QByteArray password;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray &word = words[i];
        const QByteArray next = words.value(i + 1);
        if (word == "machine" || word == "default") {
            if (found)
                break;
            ours = word == "machine" && QString::fromUtf8(next).compare(host, Qt::CaseInsensitive) == 0;
            found = ours;
            login.clear();
            password.clear();
        } else if (ours && word == "login") {
            login = next;
        } else if (ours && word == "password") {
            password = next;
        }
        // wget knows no other words that take one (not "user" or "passwd").
        i += (word == "machine" || word == "login" || word == "password" || word == "account" || word == "macdef") ? 1 : 0;
    }
    if (!found || (!user.isEmpty() && login != user))
        return std::nullopt;
    return QPair<QByteArray, QByteArray>{login, password};
}

std::optional<SignIn> signInOf(const QUrl &address)
{
    QByteArray user = QByteArray::fromPercentEncoding(address.userName(QUrl::FullyEncoded).toLatin1());
    QByteArray password = QByteArray::fromPercentEncoding(address.password(QUrl::FullyEncoded).toLatin1());
    if (address.userInfo().isEmpty() || !address.userInfo(QUrl::FullyEncoded).contains(QLatin1Char(':'))) {
        const auto entry = netrcEntry(address.host(), user);
        if (!entry)
            return std::nullopt;
        std::tie(user, password) = std::pair(entry->first, entry->second);
    }
    return SignIn{address, QString::fromUtf8(user),
                  QString::fromUtf8(password), "Basic " + (user + ':' + password).toBase64()};
}

bool isFor(const SignIn &signIn, const QUrl &url)
{
    return sameOrigin(signIn.address, url);
}

// The schemes a 401's challenges offer.
struct Challenge
{
    bool basic = false;
    bool stronger = false; // Digest, or a scheme Qt's client prefers to it
};

Challenge challengeOf(const HttpProbe::Headers &headers)
{
    static const QRegularExpression scheme(QStringLiteral("(?:^|[,\\n])\\s*([A-Za-z0-9!#$%&'*+.^_`|~-]+)(?:\\s|,|$)"));
    Challenge challenge;
    for (const auto &[name, value] : headers) {
        if (name.compare("WWW-Authenticate", Qt::CaseInsensitive) != 0)
            continue;
        auto matches = scheme.globalMatch(QString::fromLatin1(value));
        while (matches.hasNext()) {
            const QString found = matches.next().captured(1).toLower();
            if (found == QStringLiteral("basic"))
                challenge.basic = true;
            else if (found == QStringLiteral("digest") || found == QStringLiteral("negotiate")
                     || found == QStringLiteral("ntlm"))
                challenge.stronger = true;
        }
    }
    return challenge;
}

// One part of a ranged answer: where in the file its bytes begin.
struct Part
{
    qint64 start = 0;
    QByteArray bytes;
};

// The parts of a multipart/byteranges body that have come whole so far,
// each found by its Content-Range rather than by the boundary, which may
// stand in the file's bytes; and the file's length, when a part told it.
struct Parts
{
    QList<Part> whole;
    std::optional<qint64> completeLength;
};

Parts partsOf(const QByteArray &body, const QByteArray &boundary)
{
    Parts parts;
    const QByteArray delimiter = "--" + boundary;
    qsizetype at = 0;
    while (true) {
        const qsizetype open = body.indexOf(delimiter, at);
        const qsizetype headersEnd = open < 0 ? -1 : body.indexOf("\r\n\r\n", open);
        if (headersEnd < 0 || body.mid(open + delimiter.size(), 2) == "--")
            return parts;
        std::optional<ContentRange> range;
        qint64 last = -1;
        for (const QByteArray &line : body.mid(open, headersEnd - open).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare("Content-Range", Qt::CaseInsensitive) == 0) {
                const QByteArray value = line.mid(colon + 1);
                range = contentRange(value);
                const qsizetype dash = value.indexOf('-');
                last = value.mid(dash + 1, value.indexOf('/') - dash - 1).trimmed().toLongLong();
            }
        }
        if (!range || last < range->start)
            return parts;
        const qsizetype from = headersEnd + 4;
        const qint64 length = last - range->start + 1;
        if (body.size() - from < length)
            return parts;
        parts.whole << Part{range->start, body.mid(from, length)};
        if (range->completeLength)
            parts.completeLength = range->completeLength;
        at = from + length;
    }
}

} // namespace

// One request, across its redirects and sign-in.
class HttpProbe::Exchange : public QObject
{
public:
    Exchange(QNetworkAccessManager &manager, const Request &request, std::chrono::milliseconds timeout,
             std::function<void()> ended)
        : manager_(manager), request_(request), ended_(std::move(ended))
    {
        QUrl url(request.address);
        // Qt's client would sign in with the password's Latin-1 letters, and
        // before any challenge.
        url.setUserInfo(QString());
        connect(&manager_, &QNetworkAccessManager::authenticationRequired, this,
                [this](QNetworkReply *reply, QAuthenticator *authenticator) {
                    // Left unanswered, the challenge ends the reply with its 401.
                    if (reply == reply_ && signing_ == Signing::ByClient && signIn_ && isFor(*signIn_, reply->url())) {
                        authenticator->setUser(signIn_->user);
                        authenticator->setPassword(signIn_->password);
                    }
                });
        for (const Request::Range &range : request_.ranges)
            asked_ += range.count;
        answer.rangeBytes.resize(request_.ranges.size());
        watch(timeout);
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
    // Refused for being one request too many, not for what was asked: a 429
    // or 503, or a connection closed unanswered at once (which Qt's client,
    // having sent the request again on a new connection, may end with no
    // error at all).
    bool turnedAway() const
    {
        return answer.status == 429 || answer.status == 503
               || (answer.status == 0
                   && (answer.networkError == QNetworkReply::RemoteHostClosedError || answer.networkError == QNetworkReply::NoError)
                   && hopLasted_ < kRefusedAtOnce.count());
    }
    // The ports the request's connection may lead to: the server's, or its proxy's.
    QSet<int> ports() const { return reply_ ? portsFor(reply_->url()) : QSet<int>(); }
    // Ends a request whose header block costs too much.
    void endCostly()
    {
        if (waitsForHeaders())
            end(QNetworkReply::ProtocolFailure);
    }
    Answer answer;

private:
    // How the current hop signs in.
    enum class Signing {
        None,     // not asked to yet
        Basic,    // after a Basic challenge, with wget's bytes
        ByClient, // after a stronger challenge, by Qt's client
    };
    // What the current answer's body holds of the file.
    enum class Body {
        Unread,    // nothing of use, or not a ranged answer
        Stretch,   // one stretch from `bodyStart_`: a 200, or a 206 of one part
        Multipart, // a multipart/byteranges 206
    };

    void start(const QUrl &url)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // The size and bytes that matter are those wget fetches, and wget
        // asks for the file as it is: a compressing server would otherwise
        // answer with no length at all, and ranges of the compressed bytes.
        request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
        for (const auto &[name, value] : request_.headers)
            request.setRawHeader(name, value);
        if (signing_ == Signing::Basic)
            request.setRawHeader(QByteArrayLiteral("Authorization"), signIn_->basic);
        if (!request_.ranges.isEmpty()) {
            QByteArrayList ranges;
            for (const Request::Range &range : request_.ranges)
                ranges << QByteArray::number(range.first) + '-' + QByteArray::number(range.first + range.count - 1);
            request.setRawHeader(QByteArrayLiteral("Range"), "bytes=" + ranges.join(','));
        }
        for (const int port : portsFor(url))
            answer.ports << static_cast<quint16>(port);
        headersRead_ = false;
        complete_ = false;
        body_ = Body::Unread;
        buffer_.clear();
        answer.completeLength.reset();
        receivedBefore_ = received_;
        hopTime_.start();
        reply_ = request_.ranges.isEmpty() ? manager_.head(request) : manager_.get(request);
        if (!request_.ranges.isEmpty())
            reply_->setReadBufferSize(kReadPiece);
        connect(reply_, &QNetworkReply::metaDataChanged, this, [this] { readHeaders(); });
        connect(reply_, &QNetworkReply::readyRead, this, [this] { readBody(); });
        connect(reply_, &QNetworkReply::finished, this, [this] { finish(); });
        connect(reply_, &QNetworkReply::downloadProgress, this,
                [this](qint64 bytes) { received_ = receivedBefore_ + bytes; });
    }

    // Silence alone would let a server hold the request, and the press that
    // waits on it, for hours with a byte now and then, or a hop at a time;
    // a slow but steady answer goes on.
    void watch(std::chrono::milliseconds timeout)
    {
        auto *watchdog = new QTimer(this);
        const qint64 least = kLeastBytesPerSecond * timeout.count() / 1000;
        connect(watchdog, &QTimer::timeout, this, [this, least, checked = qint64(0)]() mutable {
            if (reply_ && received_ - checked < least)
                end(QNetworkReply::TimeoutError);
            checked = received_;
        });
        watchdog->start(timeout);
    }

    int status() const { return reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }

    void readHeaders()
    {
        if (!reply_ || headersRead_)
            return;
        headersRead_ = true;
        answer.hops << reply_->rawHeaderPairs();
        const int code = status();
        if (isRedirect(code) && reply_->hasRawHeader(QByteArrayLiteral("Location"))) {
            follow();
            return;
        }
        // The credentials, and ~/.netrc, are read only when a server asks.
        if (code == 401 && signing_ == Signing::None && !signIn_)
            signIn_ = signInOf(QUrl(request_.address));
        if (code == 401 && signing_ == Signing::None && signIn_ && isFor(*signIn_, reply_->url())) {
            const Challenge challenge = challengeOf(reply_->rawHeaderPairs());
            if (challenge.stronger || challenge.basic) {
                // Basic would send the password itself where the server asked
                // for a scheme that keeps it off the wire.
                signing_ = challenge.stronger ? Signing::ByClient : Signing::Basic;
                // Asked again once the challenge's page has ended, so that its
                // connection can serve that request.
                challenged_ = true;
                readBody();
                return;
            }
        }
        if (request_.ranges.isEmpty())
            return;
        const QByteArray encoding = reply_->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
        const QByteArray type = reply_->rawHeader(QByteArrayLiteral("Content-Type")).trimmed();
        // Not the file's bytes, or not as wget writes them: the rest of the
        // answer is of no use.
        if (!(encoding.isEmpty() || encoding == "identity")) {
            end(QNetworkReply::NoError);
            return;
        }
        if (code == 200) {
            body_ = Body::Stretch;
            bodyStart_ = 0;
            answer.completeLength = contentLength(*reply_);
        } else if (const auto told = contentRange(reply_->rawHeader(QByteArrayLiteral("Content-Range")));
                   code == 206 && told) {
            body_ = Body::Stretch;
            bodyStart_ = told->start;
            answer.completeLength = told->completeLength;
        } else if (const qsizetype at = type.toLower().indexOf("boundary=");
                   code == 206 && type.toLower().startsWith("multipart/byteranges") && at > 0) {
            body_ = Body::Multipart;
            boundary_ = type.mid(at + 9).split(';').first().trimmed();
            if (boundary_.size() >= 2 && boundary_.startsWith('"') && boundary_.endsWith('"'))
                boundary_ = boundary_.mid(1, boundary_.size() - 2);
        } else {
            end(QNetworkReply::NoError);
            return;
        }
        readBody();
    }

    // Takes in what arrived of a ranged answer, at most a bounded way beyond
    // the bytes asked for; once it holds every range it can, ends the
    // request, reading a short rest to its end so the connection can serve
    // the next request.
    void readBody()
    {
        if (reply_ && challenged_) {
            while (reply_->bytesAvailable() > 0 && reply_->skip(kReadPiece) > 0) {
            }
            if (received_ - receivedBefore_ > kMostBeyondAsked)
                askAgainSignedIn();
            return;
        }
        if (!reply_ || body_ == Body::Unread)
            return;
        const qint64 most = asked_ + kMostBeyondAsked;
        while (reply_->bytesAvailable() > 0 && !complete_) {
            if (buffer_.size() >= most) {
                // Beyond the bound the answer tells nothing more.
                fill(false);
                end(QNetworkReply::NoError);
                return;
            }
            buffer_ += reply_->read(std::min(kReadPiece, most - buffer_.size()));
            if (holdsEveryRange()) {
                complete_ = true;
                fill(false);
            }
        }
        if (!complete_)
            return;
        while (reply_->bytesAvailable() > 0 && reply_->skip(kReadPiece) > 0) {
        }
        if (reply_->isFinished())
            return;
        const std::optional<qint64> length = contentLength(*reply_);
        if (!length || *length - (received_ - receivedBefore_) > kReadPiece)
            end(QNetworkReply::NoError);
    }

    bool holdsEveryRange() const
    {
        if (body_ == Body::Multipart)
            return false; // known once its closing boundary or its end came
        for (const Request::Range &range : request_.ranges)
            if (range.first < bodyStart_ || range.first + range.count > bodyStart_ + buffer_.size())
                return false;
        return true;
    }

    // Each range's bytes from the answer read so far; `ended` when the server
    // ended it, so that a range beyond its end is told short rather than
    // missing.
    void fill(bool ended)
    {
        QList<Part> parts;
        if (body_ == Body::Multipart) {
            Parts found = partsOf(buffer_, boundary_);
            parts = found.whole;
            answer.completeLength = found.completeLength;
        } else if (body_ == Body::Stretch) {
            parts << Part{bodyStart_, buffer_};
        }
        for (qsizetype i = 0; i < request_.ranges.size(); ++i) {
            const Request::Range &range = request_.ranges[i];
            answer.rangeBytes[i].reset();
            for (const Part &part : parts) {
                const qint64 end = part.start + part.bytes.size();
                const bool holdsStart = range.first >= part.start && range.first < end;
                // A 200 that ended, or a 206 that ended where the server's
                // file does, holds the range's start, or nothing of it.
                const bool tellsEnd = ended && body_ == Body::Stretch && range.first >= part.start
                                      && (status() == 200 || answer.completeLength == end);
                if (holdsStart || tellsEnd) {
                    answer.rangeBytes[i] = part.bytes.mid(range.first - part.start, range.count);
                    break;
                }
            }
        }
    }

    void finish()
    {
        if (!reply_)
            return;
        readHeaders();
        if (reply_ && challenged_) {
            askAgainSignedIn();
            return;
        }
        if (!reply_)
            return;
        readBody();
        if (!reply_)
            return;
        if (reply_->error() == QNetworkReply::NoError && !complete_ && body_ != Body::Unread) {
            fill(true);
            // A whole file that ended before the bytes asked for is that long.
            if (status() == 200)
                answer.completeLength = buffer_.size();
        }
        end(reply_->error());
    }

    void askAgainSignedIn()
    {
        const QUrl url = reply_->url();
        challenged_ = false;
        drop();
        start(url);
    }

    void follow()
    {
        const QUrl from = reply_->url();
        const QUrl to = from.resolved(QUrl::fromEncoded(reply_->rawHeader(QByteArrayLiteral("Location"))));
        if (++redirects_ > kMostRedirects) {
            end(QNetworkReply::TooManyRedirectsError);
            return;
        }
        const bool safe = to.scheme() == QStringLiteral("https")
                          || (to.scheme() == QStringLiteral("http") && from.scheme() == QStringLiteral("http"));
        if (!safe || !to.isValid()) {
            end(QNetworkReply::InsecureRedirectError);
            return;
        }
        drop();
        // The next server signs in only when it asks.
        signing_ = Signing::None;
        start(to);
    }

    void end(QNetworkReply::NetworkError error)
    {
        if (!headersRead_ && reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            answer.hops << reply_->rawHeaderPairs();
        answer.status = status();
        answer.networkError = error;
        answer.headers = reply_->rawHeaderPairs();
        hopLasted_ = hopTime_.elapsed();
        if (answer.failed()) {
            for (auto &bytes : answer.rangeBytes)
                bytes.reset();
            answer.completeLength.reset();
        }
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
    const Request request_;
    std::function<void()> ended_;
    std::optional<SignIn> signIn_; // once a server asked
    Signing signing_ = Signing::None;
    QNetworkReply *reply_ = nullptr;
    bool headersRead_ = false;
    Body body_ = Body::Unread;
    qint64 bodyStart_ = 0;      // where in the file a stretch's body begins
    QByteArray boundary_;       // a multipart body's
    QByteArray buffer_;         // the body read so far
    bool complete_ = false;     // every range is in
    bool challenged_ = false;   // the answer is a challenge this request answers next
    qint64 asked_ = 0;          // bytes, over all ranges
    qint64 received_ = 0;       // over all hops
    qint64 receivedBefore_ = 0; // before the current hop
    QElapsedTimer hopTime_;     // since the current hop went out
    qint64 hopLasted_ = 0;      // ms, from the last hop's start to the request's end
    int redirects_ = 0;
};

HttpProbe::HttpProbe(std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), timeout_(timeout)
{
}

HttpProbe::~HttpProbe() = default;

// A request's answer, and whether to ask again.
struct HttpProbe::Sent
{
    Answer answer;
    bool turnedAway = false;
};

QList<HttpProbe::Answer> HttpProbe::sendAndWait(const QList<Request> &requests, QDeadlineTimer deadline)
{
    deadline = std::min(deadline, QDeadlineTimer(timeout_));
    // A client of this call's own: Qt's keeps the credentials a challenge was
    // answered with, and would sign a later press's address in with them.
    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxies);
    QList<Sent> sent = sendTogether(manager, requests, timeout_);
    QList<Answer> answers;
    for (qsizetype i = 0; i < requests.size(); ++i) {
        // One that went out with others may have been refused only for
        // that, and is asked again at once; the server may still count a
        // connection just given up, so the later tries wait, longer each time.
        std::chrono::milliseconds pause = requests.size() > 1 ? std::chrono::milliseconds(0) : kFirstPause;
        for (int tries = 0; tries < kMostTriesAgain && sent[i].turnedAway; ++tries) {
            const std::chrono::milliseconds wait = std::max(pause, retryAfterOf(sent[i].answer).value_or(pause));
            pause = std::max(kFirstPause, pause * 2);
            if (deadline.remainingTimeAsDuration() <= wait)
                break;
            if (wait.count() > 0)
                waitFor(wait);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline.remainingTimeAsDuration());
            sent[i] = sendTogether(manager, {requests[i]}, std::min(timeout_, left)).first();
        }
        answers << sent[i].answer;
    }
    return answers;
}

QList<HttpProbe::Sent> HttpProbe::sendTogether(QNetworkAccessManager &manager, const QList<Request> &requests,
                                               std::chrono::milliseconds window)
{
    QEventLoop loop;
    qsizetype open = requests.size();
    // Qt's client opens at most six connections to a server and queues the
    // rest: more requests at once go through clients of their own, so that
    // none waits a round trip for another's connection.
    std::vector<std::unique_ptr<QNetworkAccessManager>> more;
    std::vector<std::unique_ptr<Exchange>> exchanges;
    for (qsizetype i = 0; i < requests.size(); ++i) {
        if (i > 0 && i % kConnectionsPerClient == 0) {
            more.push_back(std::make_unique<QNetworkAccessManager>());
            more.back()->setProxyFactory(new SystemProxies);
        }
        QNetworkAccessManager &client = more.empty() ? manager : *more.back();
        exchanges.push_back(std::make_unique<Exchange>(client, requests[i], window, [&open, &loop] {
            if (--open == 0)
                loop.quit();
        }));
    }

    // Qt's client reads a header block in its own thread and tells nothing
    // until it ends: what it costs shows only as that thread's processor
    // time, counted while some header block is pending.
    QTimer costs;
    auto before = networkThreadsTime();
    std::chrono::nanoseconds pendingCost{0};
    QObject::connect(&costs, &QTimer::timeout, &loop, [&] {
        const auto now = networkThreadsTime();
        bool waiting = false;
        for (const auto &exchange : exchanges)
            waiting = waiting || exchange->waitsForHeaders();
        if (waiting && now > before)
            pendingCost += now - before;
        before = now;
        if (pendingCost >= kMostHeaderCost) {
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

    QList<Sent> sent;
    for (const auto &exchange : exchanges)
        sent << Sent{exchange->answer, exchange->turnedAway()};
    return sent;
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

bool sameOrigin(const QUrl &address, const QUrl &url)
{
    return url.scheme() == address.scheme() && url.host() == address.host() && defaultPort(url) == defaultPort(address);
}

} // namespace platform
