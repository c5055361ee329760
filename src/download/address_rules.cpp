#include "download/address_rules.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <type_traits>

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

// The same split for text and for the bytes wget receives: every mark it
// looks for is ASCII.
template <typename Text>
AddressPieces splitAddress(Text address)
{
    const auto find = [](Text text, const char *mark, qsizetype from) {
        if constexpr (std::is_same_v<Text, QStringView>)
            return text.indexOf(QLatin1StringView(mark), from);
        else
            return text.indexOf(QByteArrayView(mark), from);
    };
    AddressPieces pieces;
    pieces.fragment = find(address, "#", 0);
    if (pieces.fragment < 0)
        pieces.fragment = address.size();
    const Text beforeFragment = address.first(pieces.fragment);
    const qsizetype scheme = find(beforeFragment, "://", 0);
    pieces.authority = scheme < 0 ? 0 : scheme + 3;
    pieces.query = find(beforeFragment, "?", pieces.authority);
    if (pieces.query < 0)
        pieces.query = pieces.fragment;
    pieces.path = find(beforeFragment.first(pieces.query), "/", pieces.authority);
    if (pieces.path < 0)
        pieces.path = pieces.query;
    return pieces;
}

// Where a password's ":" and the "@" after it are in an authority.
struct PasswordAt
{
    qsizetype colon = -1;
    qsizetype at = -1;
};

// The passwords of the address's authority and of every authority after a
// later "://" (a full address pasted after the box's own "http://"), last
// first, so that each can be cut out without moving the others.
QList<PasswordAt> passwordsOf(const QString &address)
{
    QList<qsizetype> authorities{piecesOf(address).authority};
    for (qsizetype scheme = address.indexOf(QStringLiteral("://")); scheme >= 0;
         scheme = address.indexOf(QStringLiteral("://"), scheme + 3)) {
        if (scheme + 3 > authorities.first())
            authorities.prepend(scheme + 3);
    }
    QList<PasswordAt> passwords;
    qsizetype before = address.size();
    for (const qsizetype start : authorities) {
        qsizetype end = start;
        while (end < address.size() && !QStringView(u"/?#").contains(address[end]))
            ++end;
        const QStringView authority = QStringView(address).sliced(start, std::min(end, before) - start);
        const qsizetype at = authority.lastIndexOf(u'@');
        const qsizetype colon = at < 0 ? -1 : authority.first(at).indexOf(u':');
        if (colon >= 0)
            passwords << PasswordAt{start + colon, start + at};
        before = start;
    }
    return passwords;
}

// Written as %XX of its UTF-8 bytes on a line shown to others: a control
// character (C0, DEL, C1), a line or paragraph separator, or a mark that
// turns the text after it around (bidirectional embeddings, overrides and
// isolates), so that what the line shows is what it holds.
bool isHiddenOnLine(char32_t letter)
{
    return letter < 32 || (letter >= 127 && letter <= 0x9F) || letter == 0x2028 || letter == 0x2029
           || (letter >= 0x202A && letter <= 0x202E) || (letter >= 0x2066 && letter <= 0x2069);
}

// The address as wget receives it: the child process passes every argument
// in UTF-8.
QByteArray addressBytes(const QString &url)
{
    return url.toUtf8();
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
    return percentEscaped(unescape(unescape(piece, true), false),
                          [](unsigned char byte) { return byte == '/' || isControl(byte); });
}

} // namespace

AddressPieces piecesOf(QStringView address)
{
    return splitAddress(address);
}

AddressPieces piecesOf(QByteArrayView address)
{
    return splitAddress(address);
}

bool isControl(unsigned char byte)
{
    return byte < 32 || byte == 127;
}

bool holdsPassword(const QString &address)
{
    return !passwordsOf(address).isEmpty();
}

QString shownAddress(const QString &address)
{
    QString shown = address;
    for (const PasswordAt &password : passwordsOf(address))
        shown.remove(password.colon, password.at - password.colon);
    return shownOnLine(shown);
}

QString originAddress(const QString &address)
{
    QString origin = address;
    for (const PasswordAt &password : passwordsOf(address))
        origin.remove(password.colon, password.at - password.colon);
    const AddressPieces pieces = piecesOf(origin);
    const QStringView authority = QStringView(origin).sliced(pieces.authority, pieces.path - pieces.authority);
    const qsizetype host = pieces.authority + authority.lastIndexOf(u'@') + 1;
    // An address as others read it, and as wget writes it: each byte that is
    // no printable ASCII, or that no address holds bare, escaped; a "%"
    // that begins no escape too, the escapes already there kept.
    QByteArray bytes = (origin.first(pieces.authority) + origin.sliced(host, pieces.query - host)).toUtf8();
    for (qsizetype percent = bytes.indexOf('%'); percent >= 0; percent = bytes.indexOf('%', percent + 1)) {
        if (percent + 2 >= bytes.size() || hexValue(bytes[percent + 1]) < 0 || hexValue(bytes[percent + 2]) < 0)
            bytes.insert(percent + 1, "25");
    }
    return QString::fromLatin1(percentEscaped(bytes, [](unsigned char byte) {
        return byte <= ' ' || byte >= 0x7F || QByteArrayView("\"<>\\^`{|}").contains(char(byte));
    }));
}

QString shownOnLine(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const char32_t letter : text.toUcs4()) {
        const QString one = QString::fromUcs4(&letter, 1);
        shown += isHiddenOnLine(letter) ? QString::fromLatin1(percentEscaped(one.toUtf8(), [](unsigned char) {
            return true;
        }))
                                        : one;
    }
    return shown;
}

QByteArray percentEscaped(QByteArrayView bytes, bool (*escaped)(unsigned char byte))
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (escaped(byte))
            out.append('%').append(kHex[byte >> 4]).append(kHex[byte & 15]);
        else
            out.append(c);
    }
    return out;
}

QByteArray wgetFileName(const QString &url, long nameMax)
{
    const QByteArray address = addressBytes(url);
    const AddressPieces pieces = piecesOf(address);
    if (pieces.path == pieces.authority)
        return {};
    const QByteArray path = address.sliced(pieces.path, pieces.query - pieces.path);
    QByteArray segment = path.mid(path.lastIndexOf('/') + 1);
    // wget resolves "." and ".." in the path as it reads it, so an address
    // that ends in one of them names a folder.
    if (segment == "." || segment == "..")
        segment.clear();

    const bool hasQuery = pieces.query < pieces.fragment;
    QByteArray name = segment.isEmpty() ? QByteArrayLiteral("index.html") : localPiece(segment);
    // An escaped ".." comes out of decoding; as a whole name wget writes it
    // escaped again, so that it can never climb out of the folder. An
    // escaped "." as a whole name is the folder itself, which wget cannot
    // write.
    if (name == ".." && !hasQuery)
        name = QByteArrayLiteral("%2E%2E");
    else if (name == "." && !hasQuery)
        return {};
    if (hasQuery)
        name += '?' + localPiece(address.sliced(pieces.query + 1, pieces.fragment - pieces.query - 1));
    constexpr long kSpare = 19;
    if (nameMax - kSpare > 0 && name.size() > nameMax - kSpare)
        name.truncate(nameMax - kSpare);
    return name;
}

std::optional<QString> requestAddress(const QString &url)
{
    const AddressPieces pieces = piecesOf(url);
    const QString address = url.first(pieces.fragment);
    if (pieces.path == pieces.query)
        return address;
    const QStringList segments = address.sliced(pieces.path + 1, pieces.query - pieces.path - 1).split(QLatin1Char('/'));
    QStringList resolved;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QString &segment = segments[i];
        const QByteArray read = unescape(segment.toLatin1(), true);
        const bool dot = segment == QStringLiteral(".");
        const bool dotDot = segment == QStringLiteral("..");
        if (!dot && !dotDot && (read == "." || read == ".."))
            return std::nullopt;
        if (dotDot && !resolved.isEmpty())
            resolved.removeLast();
        if (!dot && !dotDot)
            resolved << segment;
        else if (i == segments.size() - 1)
            resolved << QString(); // a path ending in a dot segment names a folder
    }
    return address.first(pieces.path + 1) + resolved.join(QLatin1Char('/')) + address.sliced(pieces.query);
}

} // namespace download
