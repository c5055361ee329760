#pragma once
// A one-request-at-a-time HTTP client for the size probe and the byte
// comparison: send a request, wait for its end in an event loop, read its
// outcome (busy, error code, status, response headers, the bytes asked
// for). The outcome of the last request stays readable until the
// next one is sent. Every request asks for the file as wget fetches it
// (`Accept-Encoding: identity`), follows redirects that stay as safe, signs
// in with the address's user and password, goes through the proxy wget's
// environment names, and ends with an error when a whole time-out brings
// less than 1 KiB a second of its answer (silence, or a trickle).

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QNetworkRequest>
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

    // Starts a HEAD request and returns at once. Refused (false, nothing
    // changes) while an earlier request is still running.
    bool sendHead(const QString &address);
    // Starts a GET for the `count` bytes from `first` (a Range request) and
    // keeps those bytes only. An answer that starts before `first` (a 200
    // from a server that ignores Range, or a wider 206) is read from its
    // start and the bytes before `first` dropped, as wget reads such an
    // answer. The request ends once the bytes are in. Refused like sendHead().
    bool sendRange(const QString &address, qint64 first, qint64 count);
    bool busy() const { return !reply_.isNull(); }
    // 0 when the last request ended without error. Otherwise not 0: Qt's
    // network error code, or, for an answer of 400 or more that Qt reports
    // no error for, the HTTP status itself.
    int errorCode() const { return errorCode_; }
    // A response header's value; nothing when the server did not send it or
    // sent it blank.
    std::optional<QString> header(const QByteArray &name) const;
    // The last answer's HTTP status; 0 when none came.
    int status() const { return status_; }
    // What the last ranged request kept: the bytes from `first` on, fewer
    // where the answer ended. Nothing when the answer did not hold them: no
    // 200 or 206, or one that began after `first`.
    const std::optional<QByteArray> &bytes() const { return bytes_; }
    // The length of the server's whole file as the last ranged answer told
    // it: the size in a 206's Content-Range, a 200's Content-Length, or
    // where a 200 ended; nothing when it did not tell.
    std::optional<qint64> fileLength() const { return fileLength_; }
    // Handles events until the request has ended, in a local event loop
    // that the end of the request quits.
    void waitWhileBusy();

signals:
    void ended();

private:
    // Made on the first request, keeping the network stack out of start-up.
    QNetworkAccessManager &manager();
    void clearOutcome();
    QNetworkRequest requestFor(const QString &address) const;
    void watch();
    // Takes in what arrived of a ranged answer; ends the request once it
    // holds every byte asked for.
    void readRange();
    void finish();
    void end(QNetworkReply *reply);

    std::unique_ptr<QNetworkAccessManager> manager_;
    QPointer<QNetworkReply> reply_;
    std::chrono::milliseconds timeout_;
    int errorCode_ = 0;
    int status_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;
    // A ranged request under way: where the bytes asked for begin, how many
    // to keep, and how many of the answer still to drop before them.
    struct Range
    {
        qint64 first = 0;
        qint64 count = 0;
        qint64 toDrop = 0;
    };
    std::optional<Range> range_;
    std::optional<QByteArray> bytes_; // set once the answer holds them
    std::optional<qint64> fileLength_;
};

} // namespace platform
