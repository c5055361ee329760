#include "download/press_outcome.h"

#include "download/address_rules.h"
#include "platform/confinement.h"

namespace download {

Q_LOGGING_CATEGORY(pressLog, "brindle.download", QtInfoMsg)

namespace {

QString endingText(PressEnding ending)
{
    switch (ending) {
    case PressEnding::Refused:
        return QStringLiteral("not downloaded: the address is not http:// and more");
    case PressEnding::NoFolder:
        return QStringLiteral("not downloaded: the working folder has no name (was it deleted?)");
    case PressEnding::Wget2:
        return QStringLiteral("not downloaded: the wget on PATH is Wget2, which does not continue a file; Brindle needs GNU Wget 1.x");
    case PressEnding::NoAnswer:
        return QStringLiteral("not downloaded: the size request failed");
    case PressEnding::NoSize:
        return QStringLiteral("not downloaded: the server gave no size");
    case PressEnding::HeldElsewhere:
        return QStringLiteral("not downloaded: another Brindle or program is writing the file");
    case PressEnding::Unlockable:
        return QStringLiteral("not downloaded: the file cannot be opened or locked, or is no regular file");
    case PressEnding::Undecided:
        return QStringLiteral("not downloaded: the server could not tell whether the file holds its bytes");
    case PressEnding::NotSetAside:
        return QStringLiteral("not downloaded: the file does not hold the server's bytes and could not be moved");
    case PressEnding::NotReplaced:
        return QStringLiteral("not downloaded: no new file could be locked under the name");
    case PressEnding::NotStarted:
        return QStringLiteral("not downloaded: wget could not be started");
    case PressEnding::Stopped:
        return QStringLiteral("paused");
    case PressEnding::Failed:
        return QStringLiteral("wget failed");
    case PressEnding::NotTheServers:
        return QStringLiteral("wget ended, but the file is not the server's");
    case PressEnding::DigestDiffers:
        return QStringLiteral("wget ended, but the file's digest is not the server's");
    case PressEnding::Verified:
        return QStringLiteral("wget ended; the file's digest is the server's");
    case PressEnding::Unverified:
        return QStringLiteral("wget ended");
    }
    return {};
}

// What of the confinement applied to wget, as the log says it.
QString confinementText(unsigned parts)
{
    using platform::Confinement;
    QStringList applied;
    if (parts & Confinement::Files)
        applied << QStringLiteral("files");
    if (parts & Confinement::Network)
        applied << QStringLiteral("network");
    if (parts & Confinement::Signals)
        applied << QStringLiteral("signals");
    if (parts & Confinement::SocketsAndPtrace)
        applied << QStringLiteral("sockets and ptrace");
    return applied.isEmpty() ? QStringLiteral("; wget ran unconfined")
                             : QStringLiteral("; wget confined: ") + applied.join(QStringLiteral(", "));
}

} // namespace

QString wgetStatusText(int status)
{
    if (status < 0)
        return QStringLiteral("ended by signal %1").arg(-status);
    // The exit statuses wget documents.
    static const char *const reasons[] = {
        "no problem",
        "an error",
        "its command line or wgetrc could not be read",
        "the file could not be written",
        "the network failed",
        "the certificate could not be verified",
        "the server refused the user and password",
        "the server broke the protocol",
        "the server answered with an error",
    };
    const QString number = QStringLiteral("exit status %1").arg(status);
    return status < int(std::size(reasons)) ? number + QStringLiteral(", ") + QLatin1String(reasons[status]) : number;
}

QString describe(const QString &shownAddress, const PressOutcome &outcome)
{
    QString line = shownAddress + QStringLiteral(": ") + endingText(outcome.ending);
    if (!outcome.detail.isEmpty())
        line += QStringLiteral(" (") + outcome.detail + QLatin1Char(')');
    if (outcome.confinement)
        line += confinementText(*outcome.confinement);
    const auto shown = [](const QByteArray &path) {
        return shownOnLine(QString::fromLocal8Bit(path));
    };
    for (const QByteArray &copy : outcome.keptAs)
        line += QStringLiteral("; a file not the server's was kept as ") + shown(copy);
    if (!outcome.broughtBack.isEmpty())
        line += QStringLiteral("; the copy ") + shown(outcome.broughtBack)
                + QStringLiteral(" holds the server's bytes and was continued under the name");
    return line;
}

} // namespace download
