#pragma once
// A one-request-at-a-time HTTP client for the size probe: send a request,
// wait for its end in an event loop, read its outcome (busy, error code,
// response headers), cancel it. The outcome of the last request stays
// readable until the next one is sent.

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkReply;

namespace platform {

class HttpProbe : public QObject
{
    Q_OBJECT
public:
    explicit HttpProbe(std::chrono::milliseconds timeout = std::chrono::seconds(60),
                       QObject *parent = nullptr);

    // Starts a request with the verb and returns at once. Refused (false,
    // nothing changes) while an earlier request is still running.
    bool send(const QString &address, const QByteArray &verb);
    bool busy() const { return !reply_.isNull(); }
    // 0 when the last request ended without error. Otherwise not 0: Qt's
    // network error code, or, for an answer of 400 or more that Qt reports
    // no error for, the HTTP status itself.
    int errorCode() const { return errorCode_; }
    // A response header's value; nothing when the server did not send it or
    // sent it blank.
    std::optional<QString> header(const QByteArray &name) const;
    // Abandons a running request and frees its connection.
    void cancel();
    // Handles events until the request has ended, in a local event loop
    // that the end of the request quits.
    void waitWhileBusy();

signals:
    void ended();

private:
    void finish();

    // Made on the first request, keeping the network stack out of start-up.
    std::unique_ptr<QNetworkAccessManager> manager_;
    QPointer<QNetworkReply> reply_;
    std::chrono::milliseconds timeout_;
    int errorCode_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;
};

} // namespace platform
