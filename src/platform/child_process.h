#pragma once
// A hidden child process that can be waited on and terminated without ever
// reaching a recycled process id: the child stays unreaped until close(), and
// every wait and signal goes through a pidfd.

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace platform {

class ChildProcess
{
public:
    enum class Wait { TimedOut, Ended, Failed };

    struct Started;

    // Starts `program` (found on PATH) with exactly `arguments`, no shell,
    // standard streams on /dev/null, the current directory and environment
    // inherited. The child receives SIGTERM when this process dies.
    static Started start(const QString &program, const QStringList &arguments);

    ChildProcess(ChildProcess &&other) noexcept;
    ChildProcess &operator=(ChildProcess &&) = delete;
    ChildProcess(const ChildProcess &) = delete;
    ~ChildProcess();

    // The pidfd, or -1 when it could not be opened.
    int handle() const { return pidfd_; }

    // Waits up to `milliseconds` for the end. Fails at once without a handle.
    Wait wait(int milliseconds);
    // Sends SIGTERM to a child that has not been reaped yet; false otherwise.
    bool terminate();
    // Releases the handle and reaps the child. A child still running at this
    // point is ended first, so nothing is left running unwatched. Idempotent.
    void close();

private:
    ChildProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}

    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

struct ChildProcess::Started
{
    std::optional<ChildProcess> process;
    QString error; // why it could not be started, when `process` is empty
};

} // namespace platform
