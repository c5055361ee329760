#include "download/downloader_call.h"

#include "download/address_rules.h"

namespace download {

DownloaderCall wgetCall(const QString &address)
{
    // The child passes arguments in UTF-8 whatever the locale, and so does the
    // line; wget told so reads the address and names the file as in a UTF-8
    // locale, where outside one it would convert both through the locale.
    const QString encoding = QStringLiteral("--local-encoding=UTF-8");
    // A server that turns a request away for a while (a rate limit that
    // Brindle's own requests used up) is asked again, as for a lost connection.
    const QString busy = QStringLiteral("--retry-on-http-error=429,503");
    if (!holdsPassword(address))
        return {{QStringLiteral("-c"), encoding, busy, address}, std::nullopt};
    const QByteArray line = percentEscaped(address.toUtf8(),
                                           [](unsigned char byte) { return byte == ' ' || isControl(byte); });
    return {{QStringLiteral("-c"), encoding, busy, QStringLiteral("-i"), QStringLiteral("-")}, line + '\n'};
}

platform::Reach wgetReach(int file, const QList<quint16> &ports, const QByteArray &home, const QByteArray &wgetrc)
{
    platform::Reach reach{file, {}, ports};
    reach.ports << 53;
    if (!home.isEmpty())
        for (const char *name : {"/.wgetrc", "/.netrc", "/.wget-hsts"})
            reach.readableFiles << home + name;
    if (!wgetrc.isEmpty())
        reach.readableFiles << wgetrc;
    return reach;
}

bool isWget2(QByteArrayView version)
{
    const qsizetype end = version.indexOf('\n');
    return version.first(end < 0 ? version.size() : end).startsWith("GNU Wget2 ");
}

} // namespace download
