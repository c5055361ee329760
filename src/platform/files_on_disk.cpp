#include "platform/files_on_disk.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
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

QList<QByteArray> copiesBeside(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : path.left(slash);
    const QByteArray prefix = path.mid(slash + 1) + '.';
    DIR *entries = ::opendir(folder.constData());
    if (!entries)
        return {};
    QList<std::pair<timespec, QByteArray>> copies;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArrayView name(entry->d_name);
        const QByteArrayView number = name.sliced(std::min(prefix.size(), name.size()));
        if (!name.startsWith(prefix) || number.isEmpty()
            || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const QByteArray copy = folder + '/' + name.toByteArray();
        struct stat info {};
        if (::lstat(copy.constData(), &info) == 0 && S_ISREG(info.st_mode))
            copies.append({info.st_mtim, copy});
    }
    ::closedir(entries);
    std::sort(copies.begin(), copies.end(), [](const auto &a, const auto &b) {
        return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec > b.first.tv_sec : a.first.tv_nsec > b.first.tv_nsec;
    });
    QList<QByteArray> newestFirst;
    for (const auto &copy : std::as_const(copies))
        newestFirst << copy.second;
    return newestFirst;
}

std::optional<QByteArray> renameToFreeCopy(const QByteArray &path)
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
