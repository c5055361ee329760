#pragma once
// Whether a file's bytes are the server's: the rule that decides whether
// wget may continue a file, and whether a file wget finished stays under
// its name. Stretches of the file are asked of the server with Range
// requests and compared with the file's own bytes; no date, tag or record
// of Brindle's decides. These functions take and return values; the
// requests and reads are the caller's.

#include "platform/http_probe.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace download {

// How much is compared at each place: the first bytes, and those before
// the point where wget goes on.
inline constexpr qint64 kComparedBytes = 64 * 1024;

// The bytes [from, to) of a file.
struct Stretch
{
    qint64 from = 0;
    qint64 to = 0;
    bool operator==(const Stretch &) const = default;
};

// Besides those two places, stretches at offsets drawn anew for each press,
// where no server can predict them: a file that differs from the server's
// over a fraction f of its length is caught with a probability of at least
// 1 - (1 - f)^kDrawnStretches, above 99.9 % for a difference over half of it.
inline constexpr int kDrawnStretches = 10;
inline constexpr qint64 kDrawnBytes = 4096;

// Before wget continues a file of `length` bytes (above 0): its first bytes,
// the ones just before its end, and kDrawnStretches drawn from `draws`
// (random numbers, one a stretch) across it, in order, those that meet
// joined.
QList<Stretch> stretchesBeforeResume(qint64 length, const QList<quint64> &draws);

// After wget ended by itself, the file `length` bytes long: its first bytes,
// those on both sides of `lengthAtStart`, the file's length when this run
// began to write, and stretches drawn across it as above.
QList<Stretch> stretchesAfterRun(qint64 lengthAtStart, qint64 length, const QList<quint64> &draws);

// A file of `length` bytes cannot be the server's, nor a part of it,
// when it is longer than the server's file. A length the server did not
// tell, or told below 0, decides nothing.
bool longerThanServers(qint64 length, std::optional<qint64> serverLength);

// What the server answered for a stretch.
struct StretchAnswer
{
    bool failed = false; // the request ended with an error
    int status = 0;      // the HTTP status; 0 when none came
    // The server's bytes from the stretch's start, fewer where its file
    // ends or where it chose to send less; nothing when the answer did not
    // hold them.
    std::optional<QByteArray> bytes;
    std::optional<qint64> completeLength; // the server's whole file, when told
    // The request asked for this stretch alone. Servers answer a request of
    // several ranges in many ways (all of them, some, joined, reordered,
    // the whole file, or a refusal), so only what such an answer holds
    // tells anything; what it lacks, or a refusal, tells nothing of the file.
    bool alone = true;
};

// What the probe's answer to a Range request of `rangesAsked` ranges says
// of the server's bytes in its `index`th range.
StretchAnswer stretchAnswerOf(const platform::HttpProbe::Answer &answer, qsizetype index = 0,
                              qsizetype rangesAsked = 1);

enum class Match {
    Same,      // the file holds the server's bytes there
    Different, // it does not, or the server's file is shorter
    Unknown,   // the server could not tell: no answer, or one without the bytes
};

// Whether a stretch whose answer `match`ed so is asked for again, alone: the
// server answered a request of several ranges, and that answer did not
// show the stretch to be the same.
bool askAgainAlone(const StretchAnswer &answer, Match match);

// The server's answer for `stretch` against the file's own bytes there.
// Bytes the server sent decide; a file of the server's that ends before the
// stretch does is another file, as a 416 to the stretch alone says. An
// answer to several ranges can only show the stretch the same: bytes that
// differ there, or a length that ends before it, may be the server's way of
// answering several (an error page, a part mislabelled), and tell nothing.
Match compareStretch(const Stretch &stretch, const StretchAnswer &server, const QByteArray &own);

} // namespace download
