#include "download/downloader_call.h"

namespace download {

bool holdsPassword(const QString &address)
{
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    const qsizetype start = scheme < 0 ? 0 : scheme + 3;
    qsizetype end = start;
    while (end < address.size() && !QStringView(u"/?#").contains(address[end]))
        ++end;
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'), end - 1);
    const qsizetype colon = address.indexOf(QLatin1Char(':'), start);
    return at >= start && colon >= start && colon < at;
}

DownloaderCall wgetCall(const QString &address)
{
    if (!holdsPassword(address))
        return {{QStringLiteral("-c"), address}, std::nullopt};
    QByteArray line;
    // The child passes arguments in the local 8-bit encoding; the line matches.
    for (const char c : address.toLocal8Bit()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 127)
            line += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            line += c;
    }
    return {{QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("-")}, line + '\n'};
}

} // namespace download
