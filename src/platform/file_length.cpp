#include "platform/file_length.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<qint64> fileLength(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<qint64>(info.st_size);
}

QString workingDirectory()
{
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return QString();
    return QFile::decodeName(buffer);
}

} // namespace platform
