#pragma once
// One writer per file: an advisory lock (flock) on the download file itself,
// its inode, so every path that leads to it (another spelling, a symbolic or
// hard link, a bind mount, another user's or runtime folder's Brindle)
// meets the same lock. The descriptor is close-on-exec: only a run that is
// handed it (descriptor()) holds it too, and the kernel releases the lock
// when the last holder lets go or dies, however it dies. No lock file is
// left anywhere.
//
// The lock is also how Brindle looks at the file: its length and bytes are
// read through the locked descriptor, so they are the bytes of the very
// inode wget will write, whatever happens to the name.
//
// A lock is not all: take() also finds the file held when a process has it
// open for writing (the kernel's read lease refused, or, where no lease can
// be taken, seen in /proc by the inode each descriptor leads to), such as a
// wget whose wrapper closed the lock's descriptor, or one on a file system
// without locks.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace platform {

class FileLock
{
public:
    enum class Outcome {
        Taken,         // this process holds the file's lock
        HeldElsewhere, // another holder has it, in this process or another, or another process writes it
        Unavailable,   // the file cannot be opened or locked, or is no regular file: nothing may write it
        OpenUnlocked,  // the file system offers no locking, for no Brindle at all: go on with it open, unlocked
    };
    struct Taken;

    // Locks the file at `path`, first creating it empty (mode 0666 less the
    // umask, as wget would) when it does not exist, so that its writer can
    // be told before it starts. Follows symbolic links, as wget does when it
    // writes: a link to a missing file has that file made.
    static Taken take(const QByteArray &path);

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    // Lets go, after removeIfMadeAndEmpty().
    ~FileLock();

    // The locked descriptor, for a child that is to hold the lock for as
    // long as it or any process it starts runs.
    int descriptor() const { return fd_; }
    // The locked file's length now, wherever its name went (fstat through
    // the lock); nothing when it cannot be asked.
    std::optional<qint64> length() const;
    // `count` bytes of the file from `offset`, fewer where it ends; nothing
    // when it cannot be read.
    std::optional<QByteArray> read(qint64 offset, qint64 count) const;
    // Moves what is under the name, while the name still leads to the file
    // (the file itself, or the symbolic link that leads to it), to the first
    // free "<path>.1", "<path>.2", ...; the new path, or nothing when it
    // could not be moved. The lock stays on the file.
    std::optional<QByteArray> setAside();
    // Moves this file, while its path still leads to it, to `empty`'s path
    // in place of the empty regular file that `empty` locks there (never a
    // link, never a file with bytes). The lock stays on this file, which
    // answers to that path from then on; false when nothing moved.
    bool takePlaceOf(FileLock &empty);
    // Writes `origin` as the file's user.xdg.origin.url attribute, the
    // freedesktop one that browsers and wget --xattr write and file managers
    // show. A file system without user attributes keeps none, and that is
    // no error.
    void markOrigin(const QString &origin) const;
    // Removes the file this lock made, when it is still empty and still
    // under the name it was made with: the file itself, never a link or
    // another file put in its place.
    void removeIfMadeAndEmpty();

private:
    FileLock(QByteArray path, int fd, dev_t device, ino_t inode, std::optional<QByteArray> createdPath)
        : path_(std::move(path)), fd_(fd), device_(device), inode_(inode), createdPath_(std::move(createdPath))
    {
    }

    QByteArray path_;
    int fd_;
    dev_t device_;
    ino_t inode_;
    // Where the file was made, when this lock made it: the path itself, or
    // the file a symbolic link there pointed to, free of links.
    std::optional<QByteArray> createdPath_;
};

struct FileLock::Taken
{
    std::unique_ptr<FileLock> lock; // set when Taken or OpenUnlocked
    Outcome outcome = Outcome::Unavailable;
};

} // namespace platform
