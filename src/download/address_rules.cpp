#include "download/address_rules.h"

#include <QByteArray>
#include <QStringList>

namespace download {

std::optional<QString> prefixRule(const QString &text)
{
    if (text.left(kPrefix.size()) == kPrefix)
        return std::nullopt;
    return kPrefix;
}

bool accepted(const QString &text)
{
    return text.left(kPrefix.size()) == kPrefix && text != kPrefix;
}

namespace {

// The address as wget receives it: the child process passes every argument
// in the local 8-bit encoding.
QByteArray addressBytes(const QString &url)
{
    return url.toLocal8Bit();
}

bool isReserved(char c)
{
    return QByteArrayView(":/?#[]@!$&'()*+,;=").contains(c);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArray unescape(const QByteArray &text, bool keepReserved)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
            && hexValue(text[i + 2]) >= 0) {
            const char decoded = static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            if (!(keepReserved && isReserved(decoded))) {
                out += decoded;
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// wget first unescapes the whole address except reserved characters, then
// each piece of the file name once more, and escapes what no file name on
// this system should hold.
QByteArray localPiece(const QByteArray &piece)
{
    const QByteArray decoded = unescape(unescape(piece, true), false);
    QByteArray out;
    for (const char c : decoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 32 || byte == 127)
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

} // namespace

QByteArray wgetFileName(const QString &url, long nameMax, bool utf8Locale)
{
    QByteArray address = addressBytes(url);
    address.truncate(address.indexOf('#') < 0 ? address.size() : address.indexOf('#'));
    const qsizetype scheme = address.indexOf("://");
    const qsizetype hostStart = scheme < 0 ? 0 : scheme + 3;
    const qsizetype queryAt = address.indexOf('?', hostStart);
    const QByteArray beforeQuery = queryAt < 0 ? address : address.left(queryAt);
    const qsizetype pathAt = beforeQuery.indexOf('/', hostStart);
    if ((pathAt < 0 ? beforeQuery.size() : pathAt) == hostStart)
        return {};
    const QByteArray path = pathAt < 0 ? QByteArray() : beforeQuery.mid(pathAt);
    QByteArray segment = path.mid(path.lastIndexOf('/') + 1);
    // wget resolves "." and ".." in the path as it reads it, so an address
    // that ends in one of them names a folder.
    const QByteArray read = utf8Locale ? segment : unescape(segment, true);
    if (read == "." || read == "..")
        segment.clear();

    QByteArray name = segment.isEmpty() ? QByteArrayLiteral("index.html") : localPiece(segment);
    // An escaped ".." comes out of decoding; as a whole name wget writes it
    // escaped again, so that it can never climb out of the folder. An
    // escaped "." as a whole name is the folder itself, which wget cannot
    // write.
    if (name == ".." && queryAt < 0)
        name = QByteArrayLiteral("%2E%2E");
    else if (name == "." && queryAt < 0)
        return {};
    if (queryAt >= 0)
        name += '?' + localPiece(address.mid(queryAt + 1));
    constexpr long kSpare = 19;
    if (nameMax - kSpare > 0 && name.size() > nameMax - kSpare)
        name.truncate(nameMax - kSpare);
    return name;
}

std::optional<QString> requestAddress(const QString &url, bool utf8Locale)
{
    const QString address = url.left(url.indexOf(QLatin1Char('#')) < 0 ? url.size() : url.indexOf(QLatin1Char('#')));
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    const qsizetype queryAt = address.indexOf(QLatin1Char('?'), scheme < 0 ? 0 : scheme + 3);
    const qsizetype pathAt = address.indexOf(QLatin1Char('/'), scheme < 0 ? 0 : scheme + 3);
    if (pathAt < 0 || (queryAt >= 0 && pathAt > queryAt))
        return address;
    const qsizetype pathEnd = queryAt < 0 ? address.size() : queryAt;
    const QStringList segments = address.mid(pathAt + 1, pathEnd - pathAt - 1).split(QLatin1Char('/'));
    QStringList resolved;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QString &segment = segments[i];
        const QByteArray read = unescape(segment.toLatin1(), true);
        const bool dot = segment == QStringLiteral(".") || (!utf8Locale && read == ".");
        const bool dotDot = segment == QStringLiteral("..") || (!utf8Locale && read == "..");
        if (!dot && !dotDot && (read == "." || read == ".."))
            return std::nullopt;
        if (dotDot && !resolved.isEmpty())
            resolved.removeLast();
        if (!dot && !dotDot)
            resolved << segment;
        else if (i == segments.size() - 1)
            resolved << QString(); // a path ending in a dot segment names a folder
    }
    return address.left(pathAt + 1) + resolved.join(QLatin1Char('/')) + address.mid(pathEnd);
}

} // namespace download
