#pragma once
// A hidden child process that can be waited on and terminated without ever
// reaching a recycled process id: the child stays unreaped until close(), so
// its pid stays pinned. Waits and signals go through a pidfd where the system
// grants one, and through the pinned pid where it does not.
//
// The child leads a process group of its own, and every process it starts
// without leaving that group belongs to the run: a "wget" on PATH may be a
// wrapper that runs the real one without exec. terminate() and close()
// reach the whole group; its id is the pinned pid, so it can name no other.

#include "platform/confinement.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace platform {

class ChildProcess
{
public:
    enum class State { Running, Ended, Failed };

    struct Started;

    // Starts `program` (found on PATH) with exactly `arguments` (in UTF-8,
    // whatever the locale), no shell, standard streams on /dev/null, the
    // current directory and environment inherited, every signal at its default and none blocked, whatever this
    // process was started with. The child receives SIGKILL when this process
    // dies. `input`, when given, is the child's standard input instead: an
    // anonymous in-memory file that only this user's processes can open,
    // for what must not show on a command line. `inheritedDescriptor`, when
    // not -1, is a descriptor whose open file the child inherits (as a
    // duplicate numbered 3 or above): a lock that must last as long as any
    // process of the run can write. The standard streams and that one are
    // all the child keeps of this process's descriptors: any other,
    // whatever opened it, is closed as it executes the program. `reach`, when
    // given, confines the child to it (see confinement.h) before it
    // executes the program; Started says which parts applied. With
    // `keepsOutput`, the child's standard output goes to an anonymous
    // in-memory file instead of /dev/null, for output() to read.
    //
    // An ignored SIGCHLD (inherited from whatever started Brindle) is put
    // back to its default first, so the kernel never reaps a child behind
    // this object's back and its pid stays pinned until close().
    static Started start(const QString &program, const QStringList &arguments,
                         const std::optional<QByteArray> &input = std::nullopt, int inheritedDescriptor = -1,
                         const std::optional<Reach> &reach = std::nullopt, bool keepsOutput = false);

    ChildProcess(ChildProcess &&other) noexcept;
    ChildProcess &operator=(ChildProcess &&) = delete;
    ChildProcess(const ChildProcess &) = delete;
    ~ChildProcess();

    // What designates the child until close(): its pidfd, or its pid where
    // the system grants no pidfd; -1 after close().
    int handle() const { return pidfd_ >= 0 ? pidfd_ : (reaped_ ? -1 : pid_); }
    bool hasPidfd() const { return pidfd_ >= 0; }

    // Whether the child still runs, asked without blocking and without
    // reaping it. Failed once the child is reaped. To be told of the end
    // instead of asking, see ChildEndNotifier.
    State state() const;
    // How the ended child ended, asked without reaping it: its exit code,
    // or the signal that ended it as a negative number; nothing while it
    // runs or once it is reaped.
    std::optional<int> exitStatus() const;
    // Send SIGTERM, or SIGKILL, to the child and its process group while
    // the child has not been reaped; false otherwise.
    bool terminate();
    bool kill();
    // Kills what is left of the child's process group once the child has
    // ended, before it is reaped (while its pid pins the group's id), and
    // returns pidfds of those processes, for the caller to watch until each
    // is gone (readable) and close. Nothing when none is left, or when the
    // child still runs or was reaped.
    std::vector<int> killRestOfGroup();
    // The first `limit` bytes the child wrote to its standard output, when
    // started with keepsOutput; empty otherwise, and after close().
    QByteArray output(qsizetype limit) const;
    // Releases the handle and reaps the child. A child still running at this
    // point is killed with its group, and what is left of its group after
    // the child ended by itself is killed, so nothing of the run goes on
    // unwatched. Idempotent.
    void close();

private:
    ChildProcess(pid_t pid, int pidfd, int output) : pid_(pid), pidfd_(pidfd), output_(output) {}
    // Sends `signal` to the unreaped child and its group.
    bool signal(int signal);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    int output_ = -1; // the memfd behind the child's standard output; -1 for none
    bool reaped_ = false;
};

// The file `program` names on PATH, as start() finds it, told apart from
// any other by its inode and change time: a program replaced under the same
// path is another. Nothing when PATH holds none.
struct ProgramFile
{
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 changed = 0; // nanoseconds
    bool operator==(const ProgramFile &) const = default;
};
std::optional<ProgramFile> programOnPath(const QString &program);

struct ChildProcess::Started
{
    std::optional<ChildProcess> process;
    QString error; // why it could not be started, when `process` is empty
    unsigned confinement = 0; // the Confinement::Part flags that applied
};

} // namespace platform
