#pragma once
// One writer per file: an advisory lock (flock) on the download file itself,
// its inode, so every path that leads to it (another spelling, a symbolic or
// hard link, a bind mount, another user's or runtime folder's Brindle)
// meets the same lock. The descriptor is close-on-exec, so no child ever
// holds it, and the kernel releases the lock when the last holder in this
// process lets go or the process dies, however it dies. No lock file is
// left anywhere.

#include <QByteArray>
#include <memory>
#include <sys/types.h>

namespace platform {

class FileLock
{
public:
    enum class Outcome {
        Taken,         // this process holds the file's lock
        HeldElsewhere, // another process holds it
        Unavailable,   // the file cannot be opened or locked: nothing may write it
        Unsupported,   // the file system offers no locking, for no Brindle at all
    };
    struct Taken;

    // Locks the file at `path`, first creating it empty (mode 0666 less the
    // umask, as wget would) when it does not exist, so that its writer can
    // be told before it starts. Within this process every taker of the same
    // file shares one lock, so a nested run never shuts out the run it is
    // nested in. Follows symbolic links, as wget does when it writes.
    static Taken take(const QByteArray &path);

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    // Lets go; a file this lock created that is still empty is removed.
    ~FileLock();

private:
    FileLock(QByteArray path, int fd, dev_t device, ino_t inode, bool created)
        : path_(std::move(path)), fd_(fd), device_(device), inode_(inode), created_(created)
    {
    }

    QByteArray path_;
    int fd_;
    dev_t device_;
    ino_t inode_;
    bool created_;
};

struct FileLock::Taken
{
    std::shared_ptr<FileLock> lock; // set when Taken
    Outcome outcome = Outcome::Unavailable;
};

} // namespace platform
