#pragma once
// The file's digest as a server publishes it, read from the headers of the
// size request's answers (the redirects on the way included): Repr-Digest
// (sha-256, sha-512), Digest (SHA-256, SHA-512, MD5), Content-MD5 on an
// answer that is the whole file, and x-goog-hash's md5. These functions
// take and return values; the requests and the hashing are the caller's.
//
// A digest decides only when every one published can be read and all that
// name one algorithm agree: a malformed header, digests that disagree, or
// only algorithms Brindle does not know decide nothing, and say why.

#include "platform/file_hasher.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace download {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One answer on the way to the file: its HTTP status and headers.
struct AnsweredHeaders
{
    int status = 0;
    HeaderList headers;
};

struct PublishedDigest
{
    platform::HashAlgorithm algorithm = platform::HashAlgorithm::Sha256;
    QByteArray value; // the digest's bytes, decoded
    bool operator==(const PublishedDigest &) const = default;
};

struct DigestFinding
{
    // The digest that decides whether a finished file is the server's.
    std::optional<PublishedDigest> digest;
    // Why the published digests decide nothing; empty when none was
    // published, or when one decides.
    QString undecided;
};

// The digest the answers publish. Of several that agree, SHA-256 decides
// before SHA-512 and MD5 (the quickest to check where the processor has
// SHA instructions).
DigestFinding publishedDigest(const QList<AnsweredHeaders> &answers);

// The algorithm's name as the log line shows it ("SHA-256").
QString algorithmName(platform::HashAlgorithm algorithm);

} // namespace download
