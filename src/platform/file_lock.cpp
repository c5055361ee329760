#include "platform/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

using FileId = std::pair<dev_t, ino_t>;

// The locks this process holds, by file; the UI thread alone takes them.
std::map<FileId, std::weak_ptr<FileLock>> &held()
{
    static std::map<FileId, std::weak_ptr<FileLock>> locks;
    return locks;
}

bool namesFile(const QByteArray &path, const struct stat &file)
{
    struct stat now {};
    return ::stat(path.constData(), &now) == 0 && now.st_dev == file.st_dev && now.st_ino == file.st_ino;
}

// Opens the file for locking, creating it empty when it is missing. Never
// blocks, not even on a FIFO under the file's name.
int openForLock(const QByteArray &path, bool &created)
{
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST) {
        fd = ::open(path.constData(), kFlags);
        // A symbolic link to a missing file: wget would make the file it
        // names, and so does this.
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.constData(), kFlags | O_CREAT, 0666);
            created = fd >= 0;
        }
    }
    return fd;
}

} // namespace

FileLock::Taken FileLock::take(const QByteArray &path)
{
    // A file replaced between opening and locking is opened again, so the
    // lock always ends up on the file the path names.
    for (int attempt = 0; attempt < 8; ++attempt) {
        bool created = false;
        const int fd = openForLock(path, created);
        if (fd < 0)
            return {};
        struct stat file {};
        if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
            ::close(fd);
            return {};
        }
        const FileId id{file.st_dev, file.st_ino};
        if (const auto found = held().find(id); found != held().end()) {
            ::close(fd);
            return {found->second.lock(), Outcome::Taken};
        }
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int error = errno;
            ::close(fd);
            // A file another Brindle locked is its own, even one made here a
            // moment ago; one that no Brindle can lock is left to the run.
            if (error == EWOULDBLOCK)
                return {nullptr, Outcome::HeldElsewhere};
            if (error == ENOLCK || error == EOPNOTSUPP)
                return {nullptr, Outcome::Unsupported};
            if (created && ::stat(path.constData(), &file) == 0 && file.st_size == 0)
                ::unlink(path.constData());
            return {};
        }
        if (!namesFile(path, file)) {
            ::close(fd);
            continue;
        }
        std::shared_ptr<FileLock> lock(new FileLock(path, fd, file.st_dev, file.st_ino, created));
        held()[id] = lock;
        return {lock, Outcome::Taken};
    }
    return {};
}

FileLock::~FileLock()
{
    held().erase({device_, inode_});
    struct stat file {};
    // Removed while still locked, so no other Brindle can have begun on it.
    if (created_ && ::fstat(fd_, &file) == 0 && file.st_size == 0 && namesFile(path_, file))
        ::unlink(path_.constData());
    ::close(fd_);
}

} // namespace platform
