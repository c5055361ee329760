#pragma once
// Brindle's own requests, for the size and the byte comparison: HEADs and
// Range GETs, sent together and waited for in a local event loop that the
// last answer's end quits, so the window keeps handling its events.
//
// Every request asks for the file as wget fetches it (`Accept-Encoding:
// identity`), goes through the proxy wget's environment names, and follows
// up to 20 redirects that stay as safe (never from https to http). A user
// and password in the address sign in with the very bytes wget sends (the
// address's percent-decoded bytes, Basic), to the host and port the address
// names only, never after a redirect elsewhere; a server that challenges
// for another scheme is answered by Qt's client with the same user.
//
// What an answer may cost is bounded: a request ends with an error when a
// whole time-out brings less than 1 KiB a second of its answer (silence, or
// a trickle), and when Qt's client has spent about two seconds of processor
// time reading a header block that never ends, with no answer's body
// arriving meanwhile (the only cost of a header block the client lets us
// see): its connection is then shut down under the client, whose network
// thread would otherwise read on, and a new client serves the next
// requests. A server merely slow to answer costs nothing and keeps the
// time-out.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace platform {

class HttpProbe : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString address;
        // A GET for the `count` bytes from `first`; a HEAD when not set.
        struct Range
        {
            qint64 first = 0;
            qint64 count = 0;
        };
        std::optional<Range> range;
    };

    struct Answer
    {
        // 0 when the request ended without error. Otherwise not 0: Qt's
        // network error code, or, for an answer of 400 or more that Qt
        // reports no error for, the HTTP status itself.
        int errorCode = 0;
        int status = 0; // the last answer's HTTP status; 0 when none came
        QList<QPair<QByteArray, QByteArray>> headers;
        // For a ranged request: the bytes from `first` on, fewer where the
        // answer ended. An answer that starts before `first` (a 200 from a
        // server that ignores Range, or a wider 206) is read from its start
        // and the bytes before `first` dropped, as wget reads such an
        // answer. Nothing when the answer did not hold the file's bytes
        // there: no 200 or 206, one that began after `first`, or one in
        // another encoding (a server that compresses despite `identity`).
        std::optional<QByteArray> bytes;
        // The length of the server's whole file as a ranged answer told it:
        // the size in a 206's Content-Range, a 200's Content-Length, or
        // where a 200 ended; nothing when it did not tell.
        std::optional<qint64> fileLength;
        // The TCP ports the request went to across its redirects: each
        // address's, or its proxy's where one is named.
        QList<quint16> ports;

        // A response header's value; nothing when the server did not send
        // it or sent it blank.
        std::optional<QString> header(const QByteArray &name) const;
    };

    explicit HttpProbe(std::chrono::milliseconds timeout = std::chrono::seconds(60),
                       QObject *parent = nullptr);
    ~HttpProbe() override;

    // Sends every request at once, each on a connection of its own where
    // the server allows, and returns their answers in the same order once
    // all have ended. Handles events meanwhile, in a local event loop.
    QList<Answer> ask(const QList<Request> &requests);

private:
    class Exchange;
    // Made on the first request, keeping the network stack out of start-up.
    QNetworkAccessManager &manager();

    std::unique_ptr<QNetworkAccessManager> manager_;
    std::chrono::milliseconds timeout_;
};

} // namespace platform
