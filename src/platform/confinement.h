#pragma once
// What a child may reach once it runs: prepared in full before fork, applied
// in the child between fork and exec with nothing but system calls, so it
// holds from the program's first instruction and for every process the
// program starts, wrappers and their wget alike.
//
// - no_new_privs: nothing the child executes gains privileges.
// - Landlock, files: read and execute the system (/usr, /etc, the root's
//   library and program folders, the resolver's configuration wherever
//   /etc/resolv.conf leads); read the files named as readable; read and
//   write the one file named as writable (the file itself, by its inode);
//   read /dev/zero and /dev/urandom, read and write /dev/null. Nothing
//   else: no folder can be listed or written outside the system, no file
//   made or removed, and, from ABI 3 (Linux 6.2), none truncated.
// - Landlock, network (ABI 4): TCP connect only to the ports named, bind
//   nowhere. UDP (the resolver's) is not Landlock's to confine.
// - Landlock, signals (ABI 6, its scoping): no signal to, and no abstract Unix socket
//   of, any process outside the child's own.
// - seccomp: no Unix socket of any kind (socket, socketpair), no packet or
//   raw socket, no ptrace or process_vm_readv/writev (another process's
//   /proc/<pid>/mem is closed by the file rules, where Landlock applies),
//   no io_uring (which would bypass the rest), no setsid or setpgid (which
//   would leave wget's process group); each refused with EACCES. The
//   program is built by libseccomp, loaded with the first confinement
//   prepared (loaded_library.h), in the parent.
//
// Each part applies where the running kernel has it (its Landlock ABI is
// asked at run time), the filter where libseccomp could be loaded; what
// applied is part of the result.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <memory>

namespace platform {

struct Reach
{
    // The one file the child writes, as an open descriptor on it; -1 for none.
    int writableFile = -1;
    // Files the child only reads (configuration); those missing are left out.
    QByteArrayList readableFiles;
    // TCP ports the child may connect to.
    QList<quint16> ports;
};

class Confinement
{
public:
    // What applies, as flags.
    enum Part : unsigned {
        Files = 1u << 0,
        Network = 1u << 1,
        Signals = 1u << 2,  // signals to, and abstract Unix sockets of, processes outside the child's own
        SocketsAndPtrace = 1u << 3 // no_new_privs and the seccomp filter
    };

    // Prepares the confinement for a child that executes `program` (an
    // absolute path, readable and executable to it).
    static Confinement prepare(const QByteArray &program, const Reach &reach);

    Confinement(Confinement &&other) noexcept;
    Confinement &operator=(Confinement &&) = delete;
    ~Confinement();

    // The parts that applyInChild() applies.
    unsigned parts() const { return parts_; }

    // Confines the calling process for good: only async-signal-safe calls,
    // for the child between fork and exec. 0 on success, else the errno of
    // the step that failed.
    int applyInChild() const noexcept;

    // The system-call filter: built once, kept for the program's life.
    struct Filter;

private:
    Confinement(int ruleset, unsigned parts, const Filter *filter)
        : ruleset_(ruleset), parts_(parts), filter_(filter)
    {
    }

    int ruleset_ = -1; // the Landlock ruleset, close-on-exec; -1 for none
    unsigned parts_ = 0;
    const Filter *filter_ = nullptr;
};

// The Landlock ABI of the running kernel; 0 where it has none.
int landlockAbi();

} // namespace platform
