#include "app/desktop_report.h"

#include "download/address_rules.h"
#include "progress/sampling.h"

#include <QCoreApplication>
#include <algorithm>

namespace app {
namespace {

// The notification's texts, translated in their own context.
class PressNoticeText
{
    Q_DECLARE_TR_FUNCTIONS(PressNotice)
};

// A size as the window shows it, in the window's language.
QString megabytes(qint64 bytes, const QLocale &language)
{
    //: A size in megabytes (1024 × 1024 bytes), as the window's captions write "MB".
    return PressNoticeText::tr("%1 MB").arg(progress::megabytes(bytes, language));
}

// The file's name as the log line shows it, so no control or direction
// mark can make it read as another; the address where there is no file.
QString shownName(const QByteArray &file, const QString &shownAddress)
{
    if (file.isEmpty())
        return shownAddress;
    return download::shownOnLine(QString::fromLocal8Bit(file.mid(file.lastIndexOf('/') + 1)));
}

// How a press ended, in the user's words: what the log line says, for
// someone who did not press just now.
QString endingText(const download::PressOutcome &outcome, std::optional<qint64> lengthOnDisk, const QLocale &language)
{
    using download::PressEnding;
    switch (outcome.ending) {
    case PressEnding::Refused:
        return PressNoticeText::tr("Not downloaded: the address is not http:// and more");
    case PressEnding::NoFolder:
        return PressNoticeText::tr("Not downloaded: the working folder has no name (was it deleted?)");
    case PressEnding::Wget2:
        return PressNoticeText::tr("Not downloaded: the wget on PATH is Wget2; Brindle needs GNU Wget 1.x");
    case PressEnding::NoAnswer:
        return PressNoticeText::tr("Not downloaded: the size request failed");
    case PressEnding::NoSize:
        return PressNoticeText::tr("Not downloaded: the server gave no size");
    case PressEnding::HeldElsewhere:
        return PressNoticeText::tr("Not downloaded: another Brindle or program is writing the file");
    case PressEnding::Unlockable:
        return PressNoticeText::tr("Not downloaded: the file cannot be opened or locked, or is no regular file");
    case PressEnding::Undecided:
        return PressNoticeText::tr("Not downloaded: the server could not tell whether the file holds its bytes");
    case PressEnding::NotSetAside:
        return PressNoticeText::tr("Not downloaded: the file does not hold the server's bytes and could not be moved");
    case PressEnding::NotReplaced:
        return PressNoticeText::tr("Not downloaded: no new file could be locked under the name");
    case PressEnding::NotStarted:
        return PressNoticeText::tr("Not downloaded: wget could not be started");
    case PressEnding::Stopped:
        break; // the user did it: never notified (notifiesEnd)
    case PressEnding::Failed:
        if (!lengthOnDisk || !outcome.serverLength)
            return PressNoticeText::tr("Not downloaded: wget failed");
        return PressNoticeText::tr("Not downloaded whole: wget failed at %1 of %2")
            .arg(megabytes(*lengthOnDisk, language), megabytes(*outcome.serverLength, language));
    case PressEnding::NotTheServers:
        return PressNoticeText::tr("Not downloaded: what wget wrote is not the server's file and was kept aside");
    case PressEnding::DigestDiffers:
        return PressNoticeText::tr("Not downloaded: what wget wrote does not match the server's digest and was kept aside");
    case PressEnding::Verified:
        return PressNoticeText::tr("Downloaded and checked against the server's digest, %1")
            .arg(megabytes(lengthOnDisk.value_or(0), language));
    case PressEnding::Unverified:
        // wget ended well and nothing published decided: the file tells.
        // Nothing under the name: the empty one made for wget was removed.
        if (!lengthOnDisk)
            return PressNoticeText::tr("Not downloaded: wget wrote nothing");
        // Without a length told, wget's own end is all there is to go by.
        if (outcome.serverLength && *lengthOnDisk < *outcome.serverLength)
            return PressNoticeText::tr("Not downloaded whole: wget stopped at %1 of %2; Download continues it")
                .arg(megabytes(*lengthOnDisk, language), megabytes(*outcome.serverLength, language));
        return PressNoticeText::tr("Downloaded, %1").arg(megabytes(*lengthOnDisk, language));
    }
    return {};
}

} // namespace

bool notifiesEnd(download::PressEnding ending, bool windowActive)
{
    return !windowActive && ending != download::PressEnding::Stopped && ending != download::PressEnding::Refused;
}

PressNotice pressNotice(const download::PressOutcome &outcome, const QString &shownAddress,
                        std::optional<qint64> lengthOnDisk, const QLocale &language)
{
    PressNotice notice;
    notice.summary = shownName(outcome.file, shownAddress);
    notice.body = endingText(outcome, lengthOnDisk, language);
    // The log line's detail (PressOutcome::detail), in its English words.
    if (!outcome.detail.isEmpty())
        notice.body += QStringLiteral(" (") + download::shownOnLine(outcome.detail) + QLatin1Char(')');
    return notice;
}

QString stayAwakeReason(const QByteArray &file, const QString &shownAddress)
{
    // Others may read the reason (logind lists it to every user): the name
    // goes without what wget took from the query, a signed token perhaps.
    const qsizetype query = file.indexOf('?', file.lastIndexOf('/') + 1);
    //: Why the computer does not sleep: the desktop may show it, with the file's name.
    return PressNoticeText::tr("Downloading %1").arg(shownName(query < 0 ? file : file.first(query), shownAddress));
}

std::optional<double> taskBarProgress(qint64 totalBytes, std::optional<qint64> lengthOnDisk,
                                      std::optional<double> shown)
{
    const double share = totalBytes > 0
                             ? std::clamp(static_cast<double>(lengthOnDisk.value_or(0)) / static_cast<double>(totalBytes), 0.0, 1.0)
                             : 0.0;
    if (shown && share <= *shown)
        return std::nullopt;
    return share;
}

} // namespace app
