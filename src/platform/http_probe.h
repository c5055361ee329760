#pragma once
// Brindle's own requests, for the size and the byte comparison: HEADs and
// Range GETs, sent together and waited for in a local event loop that the
// last answer's end quits, so the window keeps handling its events.
//
// Every request asks for the file as wget fetches it (`Accept-Encoding:
// identity`), goes through the system's proxy as Qt reads it (`http_proxy`
// and `no_proxy`, and with Debian's Qt also the desktop's settings through
// libproxy), and follows
// up to 20 redirects that stay as safe (never from https to http). A
// request turned away (a 429 or 503, or a connection closed without an
// answer at once, as servers that allow one connection per client do) is
// asked again on its own, after a pause that doubles each time (none the
// first time for one that went out with others, which a server may have
// refused only for being one too many), or the longer pause its
// Retry-After names (seconds or a date): while the pause ends before the
// call's deadline, and at most seven times. A connection that stayed
// silent for seconds before it closed was not turned away: it ends the
// request.
//
// A user and password in the address, or else the entry for the address's
// host in ~/.netrc (the file wget reads; `default` where none names it),
// sign in only when the server asks, as wget does, and only at the
// address's own scheme, host and port (443
// for https without a port): after a Basic challenge with the very bytes
// wget sends (the address's percent-decoded bytes); after a challenge that
// offers Digest (or a stronger scheme) through Qt's client, never as Basic.
// Every call of sendAndWait() works with clients of its own (one for each
// six requests sent at once, as Qt's client opens no more connections to
// one server), so no credentials and no connection outlive it.
//
// What an answer may cost is bounded: a request ends with an error when a
// whole time-out, counted across all its hops, brings less than 1 KiB a
// second of its answer's body (silence, or a trickle; header blocks count
// for nothing, so a HEAD, with its redirects, has one time-out in all),
// and a request asked again has no more than what is left of the call's
// deadline; a ranged answer is read at most 1 MiB beyond the bytes asked
// for, and a range beyond that gets no bytes; and the processor time that
// Qt's network thread spends while a header block is pending ends the
// requests still waiting for theirs once it reaches one second, whatever
// the header block's pace: every connection of this process to their
// ports is then shut down under Qt's client, whose network thread would
// otherwise read on. The window's own work (painting, a screen reader
// reading it) counts for nothing there. A server merely slow to answer
// costs nothing and keeps the time-out.

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QUrl;

namespace platform {

class HttpProbe : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        QString address;
        // The `count` bytes from `first`.
        struct Range
        {
            qint64 first = 0;
            qint64 count = 0;
        };
        // A GET for these ranges, all in one Range header, in this order;
        // a HEAD when empty.
        QList<Range> ranges = {};
        // Sent with the request, as given.
        Headers headers = {};
    };

    struct Answer
    {
        // How Qt's client, or this probe, ended the request: NoError when
        // it ended without a network error, whatever the status.
        QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
        int status = 0; // the last answer's HTTP status; 0 when none came
        Headers headers; // the last answer's
        // The headers of every answer on the way, in order: redirects, sign-in
        // challenges, and the last.
        QList<Headers> hops;
        // For each range asked for, in order: the bytes from its `first` on,
        // fewer where the answer ended. An answer that starts before `first`
        // (a 200 from a server that ignores Range, or a wider 206) is read
        // from its start and the bytes before `first` dropped, as wget reads
        // such an answer; a multipart/byteranges 206 gives each range the
        // part that holds it. Nothing for a range the answer did not hold:
        // no 200 or 206, a 206 that does not reach it, one in another
        // encoding (a server that compresses despite `identity`), or a range
        // beyond the bounded read.
        QList<std::optional<QByteArray>> rangeBytes;
        // The length of the server's whole file as a ranged answer told it:
        // the size in a 206's Content-Range, a 200's Content-Length (read
        // as HTTP writes it, digits), or where a 200 ended; nothing when it
        // did not tell. Not the size the window shows, which the locale
        // reads from a HEAD's Content-Length (download::toSize).
        std::optional<qint64> completeLength;
        // The TCP ports the request went to across its redirects: each
        // address's, and its proxy's where one is named.
        QList<quint16> ports;

        // The request failed: a network error, or an HTTP status of 400 or
        // more (which Qt's client reports no error for when this probe
        // ends the request itself, as it does for a ranged answer of no use).
        bool failed() const { return networkError != QNetworkReply::NoError || status >= 400; }

        // A response header's value in the last answer; nothing when the
        // server did not send it or sent it blank.
        std::optional<QString> header(const QByteArray &name) const;
    };

    explicit HttpProbe(std::chrono::milliseconds timeout = std::chrono::seconds(60),
                       QObject *parent = nullptr);
    ~HttpProbe() override;

    // Sends every request at once, each on a connection of its own where
    // the server allows, asks those turned away again one at a time, and
    // returns the answers in the requests' order once all have ended.
    // Handles events meanwhile, in a local event loop. The call's deadline
    // is one time-out from now, or `deadline` where that comes sooner: no
    // request is asked again after it.
    QList<Answer> sendAndWait(const QList<Request> &requests,
                              QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    std::chrono::milliseconds timeout() const { return timeout_; }

private:
    class Exchange;
    struct Sent;
    // The requests sent together on `manager`, each watched over `window`.
    QList<Sent> sendTogether(QNetworkAccessManager &manager, const QList<Request> &requests,
                             std::chrono::milliseconds window);

    std::chrono::milliseconds timeout_;
};

// Whether `url` is at the origin of `address`: the same scheme, host and
// port (80 for http, 443 for https where none is written). The only place
// Brindle's requests sign in with the address's user and password.
bool sameOrigin(const QUrl &address, const QUrl &url);

} // namespace platform
