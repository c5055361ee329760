#pragma once
// What keeps a partial file from being continued with another version's
// bytes: when a run starts, the server's validator for the file and its size
// are recorded, keyed by the file's absolute path; the record goes once the
// file is complete. A later press whose server answers with another
// validator or size sets the partial file aside and fetches the new version
// whole, as a browser does with the validator of its first response.

#include <QByteArray>
#include <QString>
#include <optional>

namespace download {

struct FileVersion
{
    QString validator; // a strong ETag, else the Last-Modified date
    qint64 size = 0;
    bool operator==(const FileVersion &) const = default;
};

// A strong ETag (not "W/...") when there is one, else Last-Modified; nothing
// when the server sent neither, and the version cannot be told.
std::optional<QString> validatorOf(const std::optional<QString> &etag,
                                   const std::optional<QString> &lastModified);

// True when continuing `partialLength` bytes recorded as `recorded` with the
// server's `current` version would mix two versions.
bool isStale(const std::optional<FileVersion> &recorded, const FileVersion &current,
             std::optional<qint64> partialLength);

// The record for a file, kept privately in Brindle's settings folder.
std::optional<FileVersion> recordedVersion(const QByteArray &path);
void recordVersion(const QByteArray &path, const std::optional<FileVersion> &version);

struct Prepared
{
    // False when a stale partial file could not be set aside: continuing it
    // would mix versions, so nothing may run.
    bool ready = true;
    std::optional<QByteArray> setAside; // the stale file's new name
};

// Before a run: sets a stale partial file aside under the next free copy
// name and records the server's version (or forgets the file when the
// server sent no validator).
Prepared preparePartial(const QByteArray &path, const std::optional<QString> &validator, qint64 size);

// After a run: forgets the file once it is complete.
void finishPartial(const QByteArray &path, qint64 size);

} // namespace download
