#include "download/digest.h"

namespace download {
namespace {

using platform::HashAlgorithm;

struct Entry
{
    HashAlgorithm algorithm;
    QByteArray value;
};

// What the headers held: the digests read, whether any was malformed
// (and where), whether any named an algorithm not known here.
struct Reading
{
    QList<Entry> entries;
    QString malformed;
    bool unknown = false;
};

qsizetype lengthOf(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return 32;
    case HashAlgorithm::Sha512:
        return 64;
    case HashAlgorithm::Md5:
        return 16;
    }
    return 0;
}

// Padded base64 of exactly the algorithm's length; nothing otherwise.
std::optional<QByteArray> decoded(const QByteArray &text, HashAlgorithm algorithm)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    const auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != lengthOf(algorithm))
        return std::nullopt;
    return result.decoded;
}

// The first malformed header names the finding.
void noteMalformed(Reading &reading, const QByteArray &header)
{
    if (reading.malformed.isEmpty())
        reading.malformed = QString::fromLatin1(header);
}

// Adds one digest: a known algorithm's value must decode.
void add(Reading &reading, const QByteArray &header, std::optional<HashAlgorithm> algorithm, const QByteArray &text)
{
    if (!algorithm) {
        reading.unknown = true;
        return;
    }
    if (const auto value = decoded(text, *algorithm))
        reading.entries.append({*algorithm, *value});
    else
        noteMalformed(reading, header);
}

// Repr-Digest (a structured dictionary): sha-256=:base64:, parameters ignored.
void readReprDigest(Reading &reading, const QByteArray &value)
{
    for (const QByteArray &item : value.split(',')) {
        const QByteArray member = item.split(';').first().trimmed();
        const qsizetype equals = member.indexOf('=');
        const QByteArray key = equals < 0 ? member : member.left(equals);
        std::optional<HashAlgorithm> algorithm;
        if (key == "sha-256")
            algorithm = HashAlgorithm::Sha256;
        else if (key == "sha-512")
            algorithm = HashAlgorithm::Sha512;
        const QByteArray bytes = equals < 0 ? QByteArray() : member.mid(equals + 1);
        const bool sequence = bytes.size() >= 2 && bytes.startsWith(':') && bytes.endsWith(':');
        if (key.isEmpty() || (algorithm && !sequence)) {
            noteMalformed(reading, "Repr-Digest");
            continue;
        }
        add(reading, "Repr-Digest", algorithm, sequence ? bytes.mid(1, bytes.size() - 2) : bytes);
    }
}

// Digest, and x-goog-hash: name=base64, a comma between; the names of
// Digest in any case, x-goog-hash's as sent.
void readNamedList(Reading &reading, const QByteArray &header, const QByteArray &value, bool anyCase)
{
    for (const QByteArray &item : value.split(',')) {
        const QByteArray member = item.trimmed();
        const qsizetype equals = member.indexOf('=');
        if (equals <= 0) {
            noteMalformed(reading, header);
            continue;
        }
        const QByteArray key = anyCase ? member.left(equals).toUpper() : member.left(equals);
        std::optional<HashAlgorithm> algorithm;
        if (anyCase && key == "SHA-256")
            algorithm = HashAlgorithm::Sha256;
        else if (anyCase && key == "SHA-512")
            algorithm = HashAlgorithm::Sha512;
        else if (key == (anyCase ? "MD5" : "md5"))
            algorithm = HashAlgorithm::Md5;
        add(reading, header, algorithm, member.mid(equals + 1).trimmed());
    }
}

} // namespace

DigestFinding publishedDigest(const QList<AnsweredHeaders> &answers)
{
    Reading reading;
    for (const AnsweredHeaders &answer : answers) {
        for (const auto &[name, value] : answer.headers) {
            const QByteArray key = name.toLower();
            if (key == "repr-digest")
                readReprDigest(reading, value);
            else if (key == "digest")
                readNamedList(reading, "Digest", value, true);
            else if (key == "x-goog-hash")
                readNamedList(reading, "x-goog-hash", value, false);
            // Content-MD5 is the digest of the answer's body: the whole
            // file only in a 200.
            else if (key == "content-md5" && answer.status == 200)
                add(reading, "Content-MD5", HashAlgorithm::Md5, value.trimmed());
        }
    }
    DigestFinding finding;
    if (!reading.malformed.isEmpty()) {
        finding.undecided = QStringLiteral("malformed ") + reading.malformed;
        return finding;
    }
    for (const Entry &entry : std::as_const(reading.entries)) {
        for (const Entry &other : std::as_const(reading.entries)) {
            if (other.algorithm == entry.algorithm && other.value != entry.value) {
                finding.undecided = QStringLiteral("the published digests disagree");
                return finding;
            }
        }
    }
    for (const HashAlgorithm algorithm : {HashAlgorithm::Sha256, HashAlgorithm::Sha512, HashAlgorithm::Md5}) {
        for (const Entry &entry : std::as_const(reading.entries)) {
            if (entry.algorithm == algorithm) {
                finding.digest = PublishedDigest{algorithm, entry.value};
                return finding;
            }
        }
    }
    if (reading.unknown)
        finding.undecided = QStringLiteral("no digest algorithm known here");
    return finding;
}

QString algorithmName(platform::HashAlgorithm algorithm)
{
    switch (algorithm) {
    case platform::HashAlgorithm::Sha256:
        return QStringLiteral("SHA-256");
    case platform::HashAlgorithm::Sha512:
        return QStringLiteral("SHA-512");
    case platform::HashAlgorithm::Md5:
        return QStringLiteral("MD5");
    }
    return {};
}

} // namespace download
