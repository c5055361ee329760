#include "platform/file_length.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<qint64> fileLength(const QByteArray &path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return static_cast<qint64>(info.st_size);
}

QByteArray workingDirectory()
{
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return {};
    return QByteArray(buffer);
}

long longestName(const QByteArray &folder)
{
    return ::pathconf(folder.constData(), _PC_NAME_MAX);
}

} // namespace platform
