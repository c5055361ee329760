#include "download/partial_check.h"

#include <algorithm>

namespace download {
namespace {

// The two stretches and those drawn across the file's `length` bytes, in
// order, one where they overlap or touch; none empty.
QList<Stretch> joined(Stretch first, Stretch second, qint64 length, const QList<quint64> &draws)
{
    QList<Stretch> all{first, second};
    const qint64 span = length - std::min(kDrawnBytes, length) + 1;
    for (const quint64 draw : draws) {
        const qint64 from = qint64(draw % quint64(span));
        all.append({from, std::min(length, from + kDrawnBytes)});
    }
    std::sort(all.begin(), all.end(), [](const Stretch &a, const Stretch &b) { return a.from < b.from; });
    QList<Stretch> result;
    for (const Stretch &stretch : std::as_const(all)) {
        if (stretch.from >= stretch.to)
            continue;
        if (!result.isEmpty() && stretch.from <= result.last().to)
            result.last().to = std::max(result.last().to, stretch.to);
        else
            result.append(stretch);
    }
    return result;
}

// What the answer's bytes say, whatever it answered.
Match compareBytes(const Stretch &stretch, const StretchAnswer &server, const QByteArray &own)
{
    // A range past the end of the server's file means its file is shorter.
    if (server.failed)
        return server.status == 416 ? Match::Different : Match::Unknown;
    if (!server.bytes)
        return Match::Unknown;
    if (server.completeLength && *server.completeLength < stretch.to)
        return Match::Different;
    // A server may send less than asked for, and say so; what it sent decides.
    if (server.bytes->isEmpty())
        return Match::Unknown;
    return *server.bytes == own.left(server.bytes->size()) ? Match::Same : Match::Different;
}

} // namespace

StretchAnswer stretchAnswerOf(const platform::HttpProbe::Answer &answer, qsizetype index, qsizetype rangesAsked)
{
    return {answer.failed(), answer.status, answer.rangeBytes.value(index), answer.completeLength, rangesAsked <= 1};
}

bool askAgainAlone(const StretchAnswer &answer, Match match)
{
    return !answer.alone && answer.status != 0 && match != Match::Same;
}

bool longerThanServers(qint64 length, std::optional<qint64> serverLength)
{
    return serverLength && *serverLength >= 0 && length > *serverLength;
}

QList<Stretch> stretchesBeforeResume(qint64 length, const QList<quint64> &draws)
{
    return joined({0, std::min(kComparedBytes, length)}, {std::max<qint64>(0, length - kComparedBytes), length},
                  length, draws);
}

QList<Stretch> stretchesAfterRun(qint64 lengthAtStart, qint64 length, const QList<quint64> &draws)
{
    const qint64 end = std::min(length, lengthAtStart + kComparedBytes);
    return joined({0, std::min(kComparedBytes, length)}, {std::max<qint64>(0, lengthAtStart - kComparedBytes), end},
                  length, draws);
}

Match compareStretch(const Stretch &stretch, const StretchAnswer &server, const QByteArray &own)
{
    const Match match = compareBytes(stretch, server, own);
    return match == Match::Different && !server.alone ? Match::Unknown : match;
}

} // namespace download
