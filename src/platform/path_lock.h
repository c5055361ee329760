#pragma once
// One writer per file: an advisory lock (flock) tied to a file's absolute
// path, held on a lock file in Brindle's private runtime folder
// ($XDG_RUNTIME_DIR/brindle, or Qt's private fallback under the temporary
// folder), never next to the file. The descriptor is close-on-exec, so no
// child ever holds it, and the kernel releases the lock when the last holder
// in this process lets go or the process dies, however it dies.

#include <QByteArray>
#include <memory>

namespace platform {

class PathLock
{
public:
    struct Taken;

    // Takes the lock for `path`. Within this process every taker of the same
    // path shares one lock, so a nested run never shuts out the run it is
    // nested in. `heldElsewhere` when another process holds it; neither a
    // lock nor `heldElsewhere` when the lock folder cannot be used.
    static Taken take(const QByteArray &path);

    PathLock(const PathLock &) = delete;
    PathLock &operator=(const PathLock &) = delete;
    ~PathLock();

private:
    PathLock(QByteArray path, int fd) : path_(std::move(path)), fd_(fd) {}

    QByteArray path_;
    int fd_;
};

struct PathLock::Taken
{
    std::shared_ptr<PathLock> lock;
    bool heldElsewhere = false;
};

} // namespace platform
