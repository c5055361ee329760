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
    case PressEnding::NoAnswer:
        return QStringLiteral("not downloaded: the size request failed");
    case PressEnding::NoSize:
        return QStringLiteral("not downloaded: the server gave no size");
    case PressEnding::HeldElsewhere:
        return QStringLiteral("not downloaded: another Brindle is downloading the file");
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
    case PressEnding::Paused:
        return QStringLiteral("paused");
    case PressEnding::Ended:
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
    if (parts & Confinement::Scoping)
        applied << QStringLiteral("signals");
    if (parts & Confinement::SystemCalls)
        applied << QStringLiteral("sockets and ptrace");
    return applied.isEmpty() ? QStringLiteral("; wget ran unconfined")
                             : QStringLiteral("; wget confined: ") + applied.join(QStringLiteral(", "));
}

} // namespace

QString describe(const QString &shownAddress, const PressOutcome &outcome)
{
    QString line = shownAddress + QStringLiteral(": ") + endingText(outcome.ending);
    if (!outcome.detail.isEmpty())
        line += QStringLiteral(" (") + outcome.detail + QLatin1Char(')');
    if (outcome.ending == PressEnding::Paused || outcome.ending == PressEnding::Ended)
        line += confinementText(outcome.confinement);
    const auto shown = [](const QByteArray &path) {
        return QString::fromLocal8Bit(percentEscaped(path, isControl));
    };
    for (const QByteArray &copy : outcome.setAside)
        line += QStringLiteral("; a file not the server's was kept as ") + shown(copy);
    if (!outcome.broughtBack.isEmpty())
        line += QStringLiteral("; the copy ") + shown(outcome.broughtBack)
                + QStringLiteral(" holds the server's bytes and was continued under the name");
    return line;
}

} // namespace download
