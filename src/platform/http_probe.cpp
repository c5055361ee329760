#include "platform/http_probe.h"

#include <QEventLoop>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

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

} // namespace

HttpProbe::HttpProbe(std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), timeout_(timeout)
{
}

QNetworkAccessManager &HttpProbe::manager()
{
    if (!manager_) {
        manager_ = std::make_unique<QNetworkAccessManager>();
        manager_->setProxyFactory(new EnvironmentProxies);
    }
    return *manager_;
}

void HttpProbe::clearOutcome()
{
    errorCode_ = 0;
    status_ = 0;
    headers_.clear();
    range_.reset();
    bytes_.reset();
    fileLength_.reset();
}

QNetworkRequest HttpProbe::requestFor(const QString &address) const
{
    QNetworkRequest request{QUrl(address)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // The size and bytes that matter are those wget fetches, and wget asks
    // for the file as it is: a compressing server would otherwise answer
    // with no length at all, and ranges of the compressed bytes.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    return request;
}

bool HttpProbe::sendHead(const QString &address)
{
    if (busy())
        return false;
    clearOutcome();
    reply_ = manager().head(requestFor(address));
    watch();
    return true;
}

bool HttpProbe::sendRange(const QString &address, qint64 first, qint64 count)
{
    if (busy())
        return false;
    clearOutcome();
    range_ = Range{first, count};
    QNetworkRequest request = requestFor(address);
    request.setRawHeader(QByteArrayLiteral("Range"),
                         "bytes=" + QByteArray::number(first) + '-' + QByteArray::number(first + count - 1));
    reply_ = manager().get(request);
    reply_->setReadBufferSize(kReadPiece);
    connect(reply_.data(), &QNetworkReply::readyRead, this, &HttpProbe::readRange);
    watch();
    return true;
}

void HttpProbe::watch()
{
    connect(reply_.data(), &QNetworkReply::finished, this, &HttpProbe::finish);
    // Silence alone would let a server hold the request, and the press that
    // waits on it, for hours with a byte now and then; a slow but steady
    // answer (a whole file read up to a long part) goes on.
    auto *watchdog = new QTimer(reply_.data());
    auto received = std::make_shared<qint64>(0);
    connect(reply_.data(), &QNetworkReply::downloadProgress, watchdog,
            [received](qint64 bytes) { *received = bytes; });
    const qint64 least = kLeastBytesPerSecond * timeout_.count() / 1000;
    connect(watchdog, &QTimer::timeout, reply_.data(),
            [reply = reply_.data(), received, least, checked = qint64(0)]() mutable {
                if (*received - checked < least)
                    reply->abort();
                checked = *received;
            });
    watchdog->start(timeout_);
}

void HttpProbe::readRange()
{
    QNetworkReply *reply = reply_;
    if (!reply || !range_)
        return;
    Range &range = *range_;
    if (!bytes_) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        std::optional<qint64> start;
        if (status == 200) {
            start = 0;
            bool ok = false;
            const qint64 length = reply->rawHeader(QByteArrayLiteral("Content-Length")).toLongLong(&ok);
            fileLength_ = ok ? std::optional<qint64>(length) : std::nullopt;
        } else if (const auto told = contentRange(reply->rawHeader(QByteArrayLiteral("Content-Range")));
                   status == 206 && told) {
            start = told->start;
            fileLength_ = told->size;
        }
        if (!start || *start > range.first) {
            // Not the bytes asked for: the rest of the answer is of no use.
            reply->disconnect(this);
            end(reply);
            reply->abort();
            return;
        }
        range.toDrop = range.first - *start;
        bytes_ = QByteArray();
    }
    while (reply->bytesAvailable() > 0 && bytes_->size() < range.count) {
        if (range.toDrop > 0) {
            const qint64 dropped = reply->skip(std::min(range.toDrop, kReadPiece));
            if (dropped <= 0)
                break;
            range.toDrop -= dropped;
        } else {
            *bytes_ += reply->read(std::min<qint64>(range.count - bytes_->size(), kReadPiece));
        }
    }
    if (bytes_->size() >= range.count) {
        // Everything asked for is in; the rest of the answer is not waited for.
        reply->disconnect(this);
        end(reply);
        reply->abort();
    }
}

void HttpProbe::finish()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != reply_)
        return;
    readRange();
    // A whole file that ended before the bytes asked for is that long.
    if (range_ && bytes_ && reply->error() == QNetworkReply::NoError && bytes_->size() < range_->count
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200)
        fileLength_ = range_->first - range_->toDrop + bytes_->size();
    if (reply_ == reply)
        end(reply);
}

void HttpProbe::end(QNetworkReply *reply)
{
    status_ = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An answer left unread once it told all it could is no error.
    errorCode_ = reply->isFinished() ? reply->error() : QNetworkReply::NoError;
    if (errorCode_ == 0 && status_ >= 400)
        errorCode_ = status_;
    headers_ = reply->rawHeaderPairs();
    range_.reset();
    reply_.clear();
    reply->deleteLater();
    emit ended();
}

std::optional<QString> HttpProbe::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers_) {
        // Some Qt versions keep a blank header and others drop it; blank
        // reads as not sent on all of them.
        if (key.compare(name, Qt::CaseInsensitive) == 0 && !value.trimmed().isEmpty())
            return QString::fromLatin1(value);
    }
    return std::nullopt;
}

void HttpProbe::waitWhileBusy()
{
    // A local loop quits on the end signal; entered only while the request is
    // still running, so the end is never missed and no core is burnt.
    while (busy()) {
        QEventLoop loop;
        connect(this, &HttpProbe::ended, &loop, &QEventLoop::quit);
        if (busy())
            loop.exec();
    }
}

} // namespace platform
