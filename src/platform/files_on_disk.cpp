#include "platform/files_on_disk.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<qint64> lengthOnDisk(const QByteArray &path)
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

std::optional<QByteArray> setAside(const QByteArray &path)
{
    for (int copy = 1; copy > 0; ++copy) {
        const QByteArray candidate = path + '.' + QByteArray::number(copy);
        if (::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, candidate.constData(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno == EINVAL) {
            // A file system without no-replace renames: a new link fails on
            // an existing name just the same.
            if (::link(path.constData(), candidate.constData()) == 0) {
                ::unlink(path.constData());
                return candidate;
            }
        }
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace platform
