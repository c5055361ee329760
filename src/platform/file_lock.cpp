#include "platform/file_lock.h"

#include "platform/files_on_disk.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {
namespace {

bool isFile(const struct stat &info, dev_t device, ino_t inode)
{
    return info.st_dev == device && info.st_ino == inode;
}

// Whether `path` leads to the file, following links as wget does.
bool leadsTo(const QByteArray &path, dev_t device, ino_t inode)
{
    struct stat now {};
    return ::stat(path.constData(), &now) == 0 && isFile(now, device, inode);
}

// The path of a file just made through `path`, free of symbolic links.
std::optional<QByteArray> resolved(const QByteArray &path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.constData(), buffer) == nullptr)
        return std::nullopt;
    return QByteArray(buffer);
}

// Opens the file for locking, creating it empty when it is missing. Never
// blocks, not even on a FIFO under the file's name.
int openForLock(const QByteArray &path, bool &made)
{
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0666);
    made = fd >= 0;
    if (fd < 0 && errno == EEXIST) {
        fd = ::open(path.constData(), kFlags);
        // A symbolic link to a missing file: wget would make the file it
        // names, and so does this.
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.constData(), kFlags | O_CREAT, 0666);
            made = fd >= 0;
        }
    }
    return fd;
}

// Whether a process other than this one has the file open for writing, as
// /proc shows it: each descriptor checked by the inode it leads to, then by
// its access mode. Processes whose descriptors this user may not read are
// not seen.
bool seenWritingInProc(dev_t device, ino_t inode)
{
    DIR *processes = ::opendir("/proc");
    if (!processes)
        return false;
    const long self = ::getpid();
    bool written = false;
    while (!written) {
        const dirent *process = ::readdir(processes);
        if (!process)
            break;
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        char path[320];
        std::snprintf(path, sizeof path, "/proc/%ld/fd", pid);
        const int descriptorsFd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *descriptors = descriptorsFd >= 0 ? ::fdopendir(descriptorsFd) : nullptr;
        if (!descriptors) {
            if (descriptorsFd >= 0)
                ::close(descriptorsFd);
            continue;
        }
        while (const dirent *descriptor = ::readdir(descriptors)) {
            struct stat file {};
            if (descriptor->d_name[0] == '.' || ::fstatat(descriptorsFd, descriptor->d_name, &file, 0) != 0
                || !isFile(file, device, inode))
                continue;
            std::snprintf(path, sizeof path, "/proc/%ld/fdinfo/%s", pid, descriptor->d_name);
            const int info = ::open(path, O_RDONLY | O_CLOEXEC);
            char text[256] = {};
            const ssize_t got = info >= 0 ? ::read(info, text, sizeof text - 1) : -1;
            if (info >= 0)
                ::close(info);
            const char *flags = got > 0 ? std::strstr(text, "flags:") : nullptr;
            if (flags && (std::strtol(flags + 6, nullptr, 8) & O_ACCMODE) != O_RDONLY) {
                written = true;
                break;
            }
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return written;
}

// Whether any process has the file open for writing. The kernel answers at
// once for every process on this machine: a read lease is granted only on
// a file that no one has open for writing. Where no lease can be taken (the
// file is another user's, the file system has none, leases are off),
// /proc is looked through instead.
bool writtenElsewhere(int fd, dev_t device, ino_t inode)
{
    // A lease broken in the moment it is held signals its holder: SIGURG,
    // which does nothing by default, rather than SIGIO, which ends it.
    ::fcntl(fd, F_SETSIG, SIGURG);
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN || seenWritingInProc(device, inode);
}

} // namespace

FileLock::Taken FileLock::take(const QByteArray &path)
{
    // A file replaced between opening and locking is opened again, so the
    // lock always ends up on the file the path names.
    for (int attempt = 0; attempt < 8; ++attempt) {
        bool made = false;
        const int fd = openForLock(path, made);
        if (fd < 0)
            return {};
        struct stat file {};
        if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
            ::close(fd);
            return {};
        }
        std::unique_ptr<FileLock> lock(
            new FileLock(path, fd, file.st_dev, file.st_ino, made ? resolved(path) : std::nullopt));
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        const int error = errno;
        const bool unsupported = locked != 0 && (error == ENOLCK || error == EOPNOTSUPP);
        // A writer that holds no lock (its wrapper closed the descriptor,
        // or the file system has no locks) is still a writer.
        if ((locked == 0 || unsupported) && writtenElsewhere(fd, file.st_dev, file.st_ino)) {
            lock->createdPath_.reset();
            return {nullptr, Outcome::HeldElsewhere};
        }
        if (unsupported)
            return {std::move(lock), Outcome::OpenUnlocked};
        if (locked != 0) {
            // A file another Brindle locked is its own, even one made here a
            // moment ago, and stays.
            if (error == EWOULDBLOCK)
                lock->createdPath_.reset();
            return {nullptr, error == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Unavailable};
        }
        if (leadsTo(path, file.st_dev, file.st_ino))
            return {std::move(lock), Outcome::Taken};
    }
    return {};
}

FileLock::~FileLock()
{
    removeIfMadeAndEmpty();
    ::close(fd_);
}

std::optional<qint64> FileLock::length() const
{
    struct stat file {};
    if (::fstat(fd_, &file) != 0)
        return std::nullopt;
    return static_cast<qint64>(file.st_size);
}

std::optional<QByteArray> FileLock::read(qint64 offset, qint64 count) const
{
    QByteArray bytes(count, Qt::Uninitialized);
    qint64 got = 0;
    while (got < count) {
        const ssize_t part = ::pread(fd_, bytes.data() + got, count - got, offset + got);
        if (part < 0 && errno == EINTR)
            continue;
        if (part < 0)
            return std::nullopt;
        if (part == 0)
            break;
        got += part;
    }
    bytes.truncate(got);
    return bytes;
}

std::optional<QByteArray> FileLock::setAside()
{
    if (!leadsTo(path_, device_, inode_))
        return std::nullopt;
    auto moved = platform::renameToFreeCopy(path_);
    if (moved)
        createdPath_.reset();
    return moved;
}

bool FileLock::takePlaceOf(FileLock &empty)
{
    struct stat held {};
    struct stat there {};
    // Both still locked, so no other Brindle can have begun on either.
    if (!leadsTo(path_, device_, inode_) || ::fstat(empty.fd_, &held) != 0 || held.st_size != 0
        || ::lstat(empty.path_.constData(), &there) != 0 || !S_ISREG(there.st_mode)
        || !isFile(there, empty.device_, empty.inode_) || ::rename(path_.constData(), empty.path_.constData()) != 0)
        return false;
    path_ = empty.path_;
    createdPath_.reset();
    empty.createdPath_.reset(); // its file is gone, replaced
    return true;
}

void FileLock::markOrigin(const QString &origin) const
{
    const QByteArray value = origin.toUtf8();
    ::fsetxattr(fd_, "user.xdg.origin.url", value.constData(), size_t(value.size()), 0);
}

void FileLock::removeIfMadeAndEmpty()
{
    if (!createdPath_)
        return;
    struct stat file {};
    struct stat there {};
    // Removed while still locked, so no other Brindle can have begun on it;
    // lstat, so a link put in the file's place is never taken for it.
    if (::fstat(fd_, &file) == 0 && file.st_size == 0 && ::lstat(createdPath_->constData(), &there) == 0
        && S_ISREG(there.st_mode) && isFile(there, device_, inode_))
        ::unlink(createdPath_->constData());
    createdPath_.reset();
}

} // namespace platform
