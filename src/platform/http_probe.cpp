#include "platform/http_probe.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace platform {

HttpProbe::HttpProbe(std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), timeout_(timeout)
{
}

bool HttpProbe::send(const QString &address, const QByteArray &verb)
{
    if (busy())
        return false;
    QNetworkRequest request{QUrl(address)};
    request.setTransferTimeout(static_cast<int>(timeout_.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // The size that matters is the one of the bytes wget fetches, and wget
    // asks for the file as it is: a compressing server would otherwise
    // answer with no length at all.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    errorCode_ = 0;
    headers_.clear();
    // Qt expects no body only for its own HEAD operation; as a custom verb it
    // would wait for Content-Length bytes that never come.
    if (!manager_)
        manager_ = std::make_unique<QNetworkAccessManager>();
    reply_ = verb == "HEAD" ? manager_->head(request) : manager_->sendCustomRequest(request, verb);
    connect(reply_.data(), &QNetworkReply::finished, this, &HttpProbe::finish);
    return true;
}

void HttpProbe::finish()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != reply_)
        return;
    errorCode_ = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (errorCode_ == 0 && status >= 400)
        errorCode_ = status;
    headers_ = reply->rawHeaderPairs();
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

void HttpProbe::cancel()
{
    if (QNetworkReply *reply = reply_) {
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        errorCode_ = QNetworkReply::OperationCanceledError;
        headers_.clear();
        emit ended();
    }
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
