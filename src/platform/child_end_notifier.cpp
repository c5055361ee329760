#include "platform/child_end_notifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// The write end of the SIGCHLD pipe, for the handler, and the disposition
// the handler replaced, which it still calls.
int childSignalWriteEnd = -1;
struct sigaction replacedDisposition {};

void onChildSignal(int signal, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    // Non-blocking: a full pipe already holds a wake-up.
    [[maybe_unused]] const auto written = ::write(childSignalWriteEnd, "x", 1);
    errno = savedErrno;
    if (replacedDisposition.sa_flags & SA_SIGINFO) {
        if (replacedDisposition.sa_sigaction)
            replacedDisposition.sa_sigaction(signal, info, context);
    } else if (replacedDisposition.sa_handler != SIG_DFL && replacedDisposition.sa_handler != SIG_IGN) {
        replacedDisposition.sa_handler(signal);
    }
}

// Every SIGCHLD of this process, delivered to the event loop as a readable
// pipe. Made once, on the first child started without a pidfd, and kept for
// the life of the program; nothing when the pipe cannot be made.
QSocketNotifier *childSignals()
{
    static QSocketNotifier *const notifier = []() -> QSocketNotifier * {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return nullptr;
        childSignalWriteEnd = ends[1];
        struct sigaction handler {};
        handler.sa_sigaction = onChildSignal;
        handler.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
        sigemptyset(&handler.sa_mask);
        if (::sigaction(SIGCHLD, &handler, &replacedDisposition) != 0) {
            ::close(ends[0]);
            ::close(ends[1]);
            childSignalWriteEnd = -1;
            return nullptr;
        }
        auto *readable = new QSocketNotifier(ends[0], QSocketNotifier::Read);
        QObject::connect(readable, &QSocketNotifier::activated, readable, [readEnd = ends[0]] {
            char drained[64];
            while (::read(readEnd, drained, sizeof drained) > 0) {
            }
        });
        return readable;
    }();
    return notifier;
}

} // namespace

ChildEndNotifier::ChildEndNotifier(ChildProcess &process, QObject *parent)
    : QObject(parent), process_(process)
{
    if (process_.hasPidfd()) {
        // A pidfd turns readable when its process ends.
        notifier_ = new QSocketNotifier(process_.handle(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ChildEndNotifier::check);
    } else if ((childSignalPipe_ = childSignals())) {
        // Connected after the pipe's own drain, so a check follows each wake-up.
        connect(childSignalPipe_, &QSocketNotifier::activated, this, &ChildEndNotifier::check);
    }
    check();
}

ChildEndNotifier::~ChildEndNotifier()
{
    closeMembers();
}

void ChildEndNotifier::check()
{
    if (childEnded_ || process_.state() == ChildProcess::State::Running)
        return;
    childEnded_ = true;
    // A pidfd stays readable once its process has ended: stop listening, or
    // every later turn of the event loop would wake again.
    if (notifier_)
        notifier_->setEnabled(false);
    if (childSignalPipe_)
        disconnect(childSignalPipe_, nullptr, this, nullptr);
    endRestOfGroup();
}

void ChildEndNotifier::endRestOfGroup()
{
    closeMembers();
    // Looked for again after the last went: one may have started another.
    for (const int pidfd : process_.killRestOfGroup()) {
        auto *gone = new QSocketNotifier(pidfd, QSocketNotifier::Read, this);
        members_.emplace_back(pidfd, gone);
        connect(gone, &QSocketNotifier::activated, this, [this, gone] {
            gone->setEnabled(false);
            for (const auto &member : members_) {
                if (member.second->isEnabled())
                    return;
            }
            endRestOfGroup();
        });
    }
    if (!members_.empty())
        return;
    ended_ = true;
    emit ended();
}

void ChildEndNotifier::closeMembers()
{
    // Maybe from inside a notifier's own signal: deleted later, heard no more.
    for (const auto &[pidfd, notifier] : members_) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        ::close(pidfd);
    }
    members_.clear();
}

} // namespace platform
