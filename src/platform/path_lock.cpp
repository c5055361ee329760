#include "platform/path_lock.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The locks this process holds, by path; the UI thread alone takes them.
std::map<QByteArray, std::weak_ptr<PathLock>> &held()
{
    static std::map<QByteArray, std::weak_ptr<PathLock>> locks;
    return locks;
}

// The lock file for a path: named by the path's hash, so any name fits.
QByteArray lockFileFor(const QByteArray &path)
{
    // Qt makes and checks the fallback: owned by this user, mode 0700. Asked
    // once, as Qt warns on every call where XDG_RUNTIME_DIR is unset.
    static const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    const QByteArray folder = QFile::encodeName(runtime) + "/brindle";
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info {};
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return {};
    return folder + '/' + QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex() + ".lock";
}

} // namespace

PathLock::Taken PathLock::take(const QByteArray &path)
{
    if (const auto found = held().find(path); found != held().end())
        return {found->second.lock(), false};
    const QByteArray file = lockFileFor(path);
    if (file.isEmpty())
        return {};
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return {};
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool elsewhere = errno == EWOULDBLOCK;
        ::close(fd);
        return {nullptr, elsewhere};
    }
    std::shared_ptr<PathLock> lock(new PathLock(path, fd));
    held()[path] = lock;
    return {lock, false};
}

PathLock::~PathLock()
{
    // The lock file stays: removing it could let two takers lock two files.
    held().erase(path_);
    ::close(fd_);
}

} // namespace platform
