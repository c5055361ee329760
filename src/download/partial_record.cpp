#include "download/partial_record.h"

#include "platform/files_on_disk.h"
#include "platform/settings_store.h"

#include <QCryptographicHash>

namespace download {
namespace {

// One store for every copy of Brindle, whatever its executable is called.
const QString kStore = QStringLiteral("partials");
const QString kSection = QStringLiteral("versions");

QString keyFor(const QByteArray &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex());
}

std::optional<QString> strongETag(const ServerAnswer &answer)
{
    // A weak ETag may stay the same when the bytes change.
    if (answer.etag && !answer.etag->startsWith(QStringLiteral("W/")))
        return answer.etag;
    return std::nullopt;
}

} // namespace

Validator chooseValidator(const ServerAnswer &answer, const std::optional<ServerAnswer> &again)
{
    if (const auto etag = strongETag(answer); etag && (!again || strongETag(*again) == etag))
        return Validator::ETag;
    if (answer.lastModified && (!again || again->lastModified == answer.lastModified))
        return Validator::LastModified;
    return Validator::None;
}

FileVersion versionOf(const ServerAnswer &answer, Validator validator)
{
    std::optional<QString> told;
    if (validator == Validator::ETag)
        told = strongETag(answer);
    else if (validator == Validator::LastModified)
        told = answer.lastModified;
    return {told.value_or(QString()), answer.size};
}

bool sameVersion(const FileVersion &recorded, const FileVersion &current)
{
    return recorded == current;
}

bool isStale(const std::optional<FileVersion> &recorded, const FileVersion &current,
             std::optional<qint64> lengthOnDisk)
{
    return lengthOnDisk && *lengthOnDisk > 0 && !(recorded && sameVersion(*recorded, current));
}

std::optional<FileVersion> recordedVersion(const QByteArray &path)
{
    // "<size> <validator>": the size never holds a blank.
    const QString text = platform::readSetting(kStore, kSection, keyFor(path), QString());
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    bool ok = false;
    const qint64 size = text.left(blank).toLongLong(&ok);
    if (blank < 0 || !ok)
        return std::nullopt;
    return FileVersion{text.mid(blank + 1), size};
}

void recordVersion(const QByteArray &path, const std::optional<FileVersion> &version)
{
    if (version)
        platform::writeSetting(kStore, kSection, keyFor(path),
                               QString::number(version->size) + QLatin1Char(' ') + version->validator);
    else
        platform::removeSetting(kStore, kSection, keyFor(path));
}

Prepared preparePartial(const QByteArray &path, const FileVersion &current)
{
    Prepared prepared;
    if (isStale(recordedVersion(path), current, platform::lengthOnDisk(path))) {
        prepared.setAside = platform::setAside(path);
        if (!prepared.setAside)
            return {false, std::nullopt};
    }
    recordVersion(path, current);
    return prepared;
}

void finishPartial(const QByteArray &path, const FileVersion &started,
                   const std::optional<FileVersion> &ended)
{
    const std::optional<qint64> length = platform::lengthOnDisk(path);
    if (length && *length > 0 && ended && !sameVersion(started, *ended) && platform::setAside(path))
        recordVersion(path, std::nullopt);
    else if (!length || *length == 0)
        recordVersion(path, std::nullopt);
}

} // namespace download
