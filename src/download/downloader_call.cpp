#include "download/downloader_call.h"

#include "download/address_rules.h"

namespace download {

DownloaderCall wgetCall(const QString &address)
{
    if (!holdsPassword(address))
        return {{QStringLiteral("-c"), address}, std::nullopt};
    // The child passes arguments in the local 8-bit encoding; the line matches.
    const QByteArray line = percentEscaped(address.toLocal8Bit(),
                                           [](unsigned char byte) { return byte == ' ' || isControl(byte); });
    return {{QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("-")}, line + '\n'};
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
