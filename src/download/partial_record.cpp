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

} // namespace

std::optional<QString> validatorOf(const std::optional<QString> &etag,
                                   const std::optional<QString> &lastModified)
{
    // A weak ETag may stay the same when the bytes change.
    if (etag && !etag->startsWith(QStringLiteral("W/")))
        return etag;
    return lastModified;
}

bool isStale(const std::optional<FileVersion> &recorded, const FileVersion &current,
             std::optional<qint64> partialLength)
{
    return recorded && partialLength && *partialLength > 0 && *recorded != current;
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
    else if (recordedVersion(path))
        platform::removeSetting(kStore, kSection, keyFor(path));
}

Prepared preparePartial(const QByteArray &path, const std::optional<QString> &validator, qint64 size)
{
    if (!validator) {
        recordVersion(path, std::nullopt);
        return {};
    }
    const FileVersion current{*validator, size};
    Prepared prepared;
    if (isStale(recordedVersion(path), current, platform::lengthOnDisk(path))) {
        prepared.setAside = platform::setAside(path);
        if (!prepared.setAside)
            return {false, std::nullopt};
    }
    recordVersion(path, current);
    return prepared;
}

void finishPartial(const QByteArray &path, qint64 size)
{
    if (const auto length = platform::lengthOnDisk(path); length && *length >= size)
        recordVersion(path, std::nullopt);
}

} // namespace download
