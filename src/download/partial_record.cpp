#include "download/partial_record.h"

#include "platform/file_length.h"
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

std::optional<QString> validatorof(const std::optional<QString> &etag,
                                   const std::optional<QString> &lastModified)
{
    // A weak ETag may stay the same when the bytes change.
    if (etag && !etag->startsWith(QStringLiteral("W/")))
        return etag;
    return lastModified;
}

bool isstale(const std::optional<FileVersion> &recorded, const FileVersion &current,
             std::optional<qint64> partialLength)
{
    return recorded && partialLength && *partialLength > 0 && *recorded != current;
}

std::optional<FileVersion> recordedversion(const QByteArray &path)
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

void recordversion(const QByteArray &path, const std::optional<FileVersion> &version)
{
    if (version)
        platform::writeSetting(kStore, kSection, keyFor(path),
                               QString::number(version->size) + QLatin1Char(' ') + version->validator);
    else if (recordedversion(path))
        platform::removeSetting(kStore, kSection, keyFor(path));
}

Prepared preparepartial(const QByteArray &path, const std::optional<QString> &validator, qint64 size)
{
    if (!validator) {
        recordversion(path, std::nullopt);
        return {};
    }
    const FileVersion current{*validator, size};
    Prepared prepared;
    if (isstale(recordedversion(path), current, platform::fileLength(path))) {
        prepared.setAside = platform::setAside(path);
        if (!prepared.setAside)
            return {false, std::nullopt};
    }
    recordversion(path, current);
    return prepared;
}

void finishpartial(const QByteArray &path, qint64 size)
{
    if (const auto length = platform::fileLength(path); length && *length >= size)
        recordversion(path, std::nullopt);
}

} // namespace download
