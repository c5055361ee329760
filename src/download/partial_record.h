#pragma once
// What keeps a file from ever mixing two versions: Brindle continues only
// bytes it knows. When a run starts, the server's version of the file (a
// validator and the size) is recorded, keyed by the file's absolute path,
// and the record stays after the download completes; it goes when its file
// is gone. A file whose record disagrees with the server's version, or that
// has no record at all (a file Brindle never started), is set aside under
// the next free copy name and the server's version fetched whole. A version
// that changed while wget ran is caught when it ends, and the file set
// aside the same way.

#include <QByteArray>
#include <QString>
#include <optional>

namespace download {

struct FileVersion
{
    QString validator; // empty when the version has none
    qint64 size = 0;
    bool operator==(const FileVersion &) const = default;
};

// What one answer of the server says about the file.
struct ServerAnswer
{
    std::optional<QString> etag;
    std::optional<QString> lastModified;
    qint64 size = -1; // -1 when the answer gave no usable length
};

// Which header tells the server's versions apart.
enum class Validator { ETag, LastModified, None };

// A strong ETag (not "W/..."), else Last-Modified, else none. With `again`,
// a second answer a moment after the first, a header that differs between
// the two changes on every request, as some dynamic servers' ETags do, and
// is no validator.
Validator chooseValidator(const ServerAnswer &answer,
                          const std::optional<ServerAnswer> &again = std::nullopt);

// The answer's version, told by `validator`.
FileVersion versionOf(const ServerAnswer &answer, Validator validator);

// Whether two versions are one: a different size never is; with a validator
// on either side the validators decide (one without cannot be checked and
// counts as another version); with none on both, the size alone.
bool sameVersion(const FileVersion &recorded, const FileVersion &current);

// True when writing the server's `current` version into a file of
// `lengthOnDisk` bytes, recorded as `recorded`, could mix two versions: a
// file with bytes and no record, or a record of another version.
bool isStale(const std::optional<FileVersion> &recorded, const FileVersion &current,
             std::optional<qint64> lengthOnDisk);

// The record for a file, kept privately in Brindle's settings folder.
std::optional<FileVersion> recordedVersion(const QByteArray &path);
void recordVersion(const QByteArray &path, const std::optional<FileVersion> &version);

struct Prepared
{
    // False when a stale file could not be set aside: writing into it would
    // mix versions, so nothing may run.
    bool ready = true;
    std::optional<QByteArray> setAside; // the stale file's new name
};

// Just before a run: sets a stale file aside under the next free copy name
// and records the server's version.
Prepared preparePartial(const QByteArray &path, const FileVersion &current);

// After a run: `ended` is the server's version when the run ended by itself,
// asked again then. A version other than the one the run `started` with
// means the file may mix the two: it is set aside, so the next press fetches
// the new version whole. A file that is gone, or empty, loses its record.
void finishPartial(const QByteArray &path, const FileVersion &started,
                   const std::optional<FileVersion> &ended);

} // namespace download
