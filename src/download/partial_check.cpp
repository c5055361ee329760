#include "download/partial_check.h"

#include <algorithm>

namespace download {
namespace {

// The two stretches, one where they overlap or touch; none empty.
QList<Stretch> joined(Stretch first, Stretch second)
{
    if (second.from >= second.to)
        return first.from < first.to ? QList<Stretch>{first} : QList<Stretch>{};
    if (second.from <= first.to)
        return {{first.from, std::max(first.to, second.to)}};
    return {first, second};
}

} // namespace

ServerBytes serverBytesOf(const platform::HttpProbe::Answer &answer)
{
    return {answer.errorCode != 0, answer.status, answer.bytes, answer.fileLength};
}

QList<Stretch> stretchesBeforeResume(qint64 length)
{
    return joined({0, std::min(kComparedBytes, length)}, {std::max<qint64>(0, length - kComparedBytes), length});
}

QList<Stretch> stretchesAfterRun(qint64 startedAt, qint64 length)
{
    const qint64 end = std::min(length, startedAt + kComparedBytes);
    return joined({0, std::min(kComparedBytes, length)}, {std::max<qint64>(0, startedAt - kComparedBytes), end});
}

Match compareStretch(const Stretch &stretch, const ServerBytes &server, const QByteArray &own)
{
    // A range past the end of the server's file means its file is shorter.
    if (server.failed)
        return server.status == 416 ? Match::Different : Match::Unknown;
    if (!server.bytes)
        return Match::Unknown;
    if (server.fileLength && *server.fileLength < stretch.to)
        return Match::Different;
    // A server may send less than asked for, and say so; what it sent decides.
    if (server.bytes->isEmpty())
        return Match::Unknown;
    return *server.bytes == own.left(server.bytes->size()) ? Match::Same : Match::Different;
}

} // namespace download
