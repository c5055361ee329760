#include "platform/child_process.h"

#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

int pidfdOpen(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int pidfd, int signal)
{
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

// The process group of the process /proc names `pid`; -1 when it is gone or
// has ended (a zombie writes nothing more).
pid_t processGroupOf(const char *pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char stat[512];
    const ssize_t got = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (got <= 0)
        return -1;
    stat[got] = '\0';
    // "pid (name) state ppid pgrp ...": the name may hold anything, ")" too.
    const char *afterName = std::strrchr(stat, ')');
    char state = 0;
    int parent = 0;
    int group = -1;
    if (!afterName || std::sscanf(afterName + 1, " %c %d %d", &state, &parent, &group) != 3 || state == 'Z')
        return -1;
    return group;
}

// Marks every descriptor from `first` to `last` close-on-exec, with
// close_range where the kernel has it (Linux 5.11), else one by one up to the
// soft limit on descriptors. Marked, not closed: the Landlock ruleset and the
// error pipe are still needed before exec.
void closeOnExec(unsigned first, unsigned last)
{
    if (first > last || ::syscall(SYS_close_range, first, last, CLOSE_RANGE_CLOEXEC) == 0
        || (errno != ENOSYS && errno != EINVAL))
        return;
    // Descriptors lie below the soft limit (but for any opened before it
    // was lowered); without one, below the kernel's default ceiling, 2^20.
    rlimit limit{};
    const rlim_t ceiling = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                               ? limit.rlim_cur
                               : rlim_t(1) << 20;
    const rlim_t end = std::min<rlim_t>(ceiling, rlim_t(last) + 1);
    for (rlim_t fd = first; fd < end && fd <= INT_MAX; ++fd)
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

// Leaves the child only its standard streams and `kept` (-1 for none) across
// exec, whatever a library of Brindle's opened without close-on-exec.
void keepOnlyAcrossExec(int kept)
{
    if (kept < 3) {
        closeOnExec(3, ~0u);
        return;
    }
    closeOnExec(3, static_cast<unsigned>(kept) - 1);
    closeOnExec(static_cast<unsigned>(kept) + 1, ~0u);
}

// Only async-signal-safe calls between fork and exec.
// A failure to confine is written as its errno negated.
[[noreturn]] void execChild(const char *path, char *const argv[], pid_t parent, int input, int output,
                            int inheritedDescriptor, const Confinement *confinement, int errorPipe)
{
    // An ignored signal stays ignored across exec: a Brindle started with
    // SIGTERM ignored would hand wget a Pause it cannot hear. Every signal
    // goes back to its default, unblocked, before anything can arrive.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr); // SIGKILL, SIGSTOP and gaps refuse
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    // SIGKILL, which nothing can ignore: wget keeps nothing a kill loses.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int failure = 0;
    if (::getppid() != parent)
        ::_exit(127); // the parent died before the death signal was armed
    // Before exec, so the group exists before start() returns.
    ::setpgid(0, 0);

    const int null = ::open("/dev/null", O_RDWR);
    // dup2 onto itself keeps close-on-exec, so an input already on 0 has it cleared.
    const bool inputReady = input < 0 || (input == 0 ? ::fcntl(0, F_SETFD, 0) == 0 : ::dup2(input, 0) == 0);
    if (null < 0 || (input < 0 && ::dup2(null, 0) < 0) || !inputReady || ::dup2(output >= 0 ? output : null, 1) < 0
        || ::dup2(null, 2) < 0 || (inheritedDescriptor >= 0 && ::fcntl(inheritedDescriptor, F_SETFD, 0) != 0)) {
        failure = errno;
    } else {
        if (null > 2)
            ::close(null);
        keepOnlyAcrossExec(inheritedDescriptor);
        // Last, so everything before it may still reach what it needs.
        if (confinement && (failure = -confinement->applyInChild()) != 0) {
            [[maybe_unused]] const auto written = ::write(errorPipe, &failure, sizeof failure);
            ::_exit(127);
        }
        ::execv(path, argv);
        failure = errno;
    }
    [[maybe_unused]] const auto written = ::write(errorPipe, &failure, sizeof failure);
    ::_exit(127);
}

// Changes this whole process's SIGCHLD disposition: an ignored SIGCHLD, or
// SA_NOCLDWAIT, lets the kernel reap children at once, so either goes back
// to the default. A handler of the toolkit's own stays.
void stopKernelReapingChildren()
{
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) != 0
        || (current.sa_handler != SIG_IGN && !(current.sa_flags & SA_NOCLDWAIT)))
        return;
    if (current.sa_handler == SIG_IGN)
        current.sa_handler = SIG_DFL;
    current.sa_flags &= ~SA_NOCLDWAIT;
    ::sigaction(SIGCHLD, &current, nullptr);
}

// The input as an anonymous file in memory, positioned at its start; -1 when
// it cannot be made.
int inputFile(const QByteArray &input)
{
    const int fd = ::memfd_create("brindle-input", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    for (qsizetype written = 0; written < input.size();) {
        const ssize_t got = ::write(fd, input.constData() + written, input.size() - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(fd);
            return -1;
        }
        written += got;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

ChildProcess::Started ChildProcess::start(const QString &program, const QStringList &arguments,
                                          const std::optional<QByteArray> &input, int inheritedDescriptor,
                                          const std::optional<Reach> &reach, bool keepsOutput)
{
    stopKernelReapingChildren();
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return {std::nullopt, QStringLiteral("%1: program not found").arg(program)};

    // Everything the child needs is prepared before fork.
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(path));
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    std::optional<Confinement> confinement;
    if (reach)
        confinement.emplace(Confinement::prepare(storage.front(), *reach));

    // Kept above the standard streams, which the child sets up anew.
    const int keptFd = inheritedDescriptor >= 0 ? ::fcntl(inheritedDescriptor, F_DUPFD_CLOEXEC, 3) : -1;
    if (inheritedDescriptor >= 0 && keptFd < 0)
        return {std::nullopt, QString::fromLocal8Bit(std::strerror(errno))};
    const auto closeKept = qScopeGuard([keptFd] {
        if (keptFd >= 0)
            ::close(keptFd);
    });
    const int inputFd = input ? inputFile(*input) : -1;
    if (input && inputFd < 0)
        return {std::nullopt, QString::fromLocal8Bit(std::strerror(errno))};
    const int outputFd = keepsOutput ? ::memfd_create("brindle-output", MFD_CLOEXEC) : -1;
    const auto closeOutput = qScopeGuard([&outputFd] {
        if (outputFd >= 0)
            ::close(outputFd);
    });
    int errorPipe[2];
    if ((keepsOutput && outputFd < 0) || ::pipe2(errorPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        if (inputFd >= 0)
            ::close(inputFd);
        return {std::nullopt, QString::fromLocal8Bit(std::strerror(error))};
    }

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        if (inputFd >= 0)
            ::close(inputFd);
        return {std::nullopt, QString::fromLocal8Bit(std::strerror(error))};
    }
    if (pid == 0)
        execChild(storage.front().constData(), argv.data(), parent, inputFd, outputFd, keptFd,
                  confinement ? &*confinement : nullptr, errorPipe[1]);

    if (inputFd >= 0)
        ::close(inputFd);
    ::close(errorPipe[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = ::read(errorPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        ::waitpid(pid, nullptr, 0);
        const QString reason = QString::fromLocal8Bit(std::strerror(std::abs(childError)));
        return {std::nullopt, childError < 0 ? QStringLiteral("%1: not confined: %2").arg(program, reason)
                                             : QStringLiteral("%1: %2").arg(program, reason)};
    }
    ChildProcess child(pid, pidfdOpen(pid), keepsOutput ? ::fcntl(outputFd, F_DUPFD_CLOEXEC, 0) : -1);
    return {std::move(child), QString(), confinement ? confinement->parts() : 0u};
}

ChildProcess::ChildProcess(ChildProcess &&other) noexcept
    : pid_(other.pid_), pidfd_(other.pidfd_), output_(other.output_), reaped_(other.reaped_)
{
    other.pid_ = -1;
    other.pidfd_ = -1;
    other.output_ = -1;
    other.reaped_ = true;
}

ChildProcess::~ChildProcess()
{
    close();
}

ChildProcess::State ChildProcess::state() const
{
    if (reaped_ || pid_ <= 0)
        return State::Failed;
    if (pidfd_ >= 0) {
        pollfd entry{pidfd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 0);
        if (ready > 0)
            return State::Ended;
        return ready == 0 || errno == EINTR ? State::Running : State::Failed;
    }
    // WNOWAIT leaves the child unreaped, so its pid stays pinned and kill()
    // can never reach another process.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == EINTR ? State::Running : State::Failed;
    return info.si_pid == pid_ ? State::Ended : State::Running;
}

std::optional<int> ChildProcess::exitStatus() const
{
    siginfo_t info{};
    if (reaped_ || pid_ <= 0 || ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0
        || info.si_pid != pid_)
        return std::nullopt;
    return info.si_code == CLD_EXITED ? info.si_status : -info.si_status;
}

bool ChildProcess::signal(int signal)
{
    if (reaped_ || pid_ <= 0)
        return false;
    // The unreaped child pins its pid, and with it the group's id, so
    // neither can reach another process. The child itself is signalled
    // apart, in case it left its group.
    const bool child = (pidfd_ >= 0 ? pidfdSendSignal(pidfd_, signal) : ::kill(pid_, signal)) == 0;
    const bool group = ::kill(-pid_, signal) == 0;
    return child || group;
}

bool ChildProcess::terminate()
{
    return signal(SIGTERM);
}

bool ChildProcess::kill()
{
    return signal(SIGKILL);
}

std::vector<int> ChildProcess::killRestOfGroup()
{
    std::vector<int> left;
    if (reaped_ || pid_ <= 0 || state() != State::Ended)
        return left;
    // Also those /proc does not show (another user's, under hidepid).
    ::kill(-pid_, SIGKILL);
    DIR *processes = ::opendir("/proc");
    if (!processes)
        return left;
    while (const dirent *entry = ::readdir(processes)) {
        char *end = nullptr;
        const long member = std::strtol(entry->d_name, &end, 10);
        if (member <= 0 || *end != '\0' || member == pid_ || processGroupOf(entry->d_name) != pid_)
            continue;
        // Opened before it is checked again, so the pidfd names that very process.
        const int pidfd = pidfdOpen(static_cast<pid_t>(member));
        if (pidfd < 0)
            continue;
        if (processGroupOf(entry->d_name) == pid_ && pidfdSendSignal(pidfd, SIGKILL) == 0)
            left.push_back(pidfd);
        else
            ::close(pidfd);
    }
    ::closedir(processes);
    return left;
}

void ChildProcess::close()
{
    if (!reaped_ && pid_ > 0) {
        signal(SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        reaped_ = true;
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

QByteArray ChildProcess::output(qsizetype limit) const
{
    if (output_ < 0)
        return {};
    QByteArray bytes(limit, Qt::Uninitialized);
    const ssize_t got = ::pread(output_, bytes.data(), static_cast<size_t>(limit), 0);
    bytes.resize(got > 0 ? got : 0);
    return bytes;
}

std::optional<ProgramFile> programOnPath(const QString &program)
{
    const QString path = QStandardPaths::findExecutable(program);
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return ProgramFile{path, info.st_dev, info.st_ino, qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

} // namespace platform
