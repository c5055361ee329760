#pragma once
// Tells the event loop that a child process has ended, the moment it ends,
// at no cost while it runs: no thread, no timer, no polling. Through the
// child's pidfd where the system grants one; otherwise through a pipe that a
// SIGCHLD handler writes to, after which the child is checked without
// reaping it, so its pid stays pinned.
//
// A run ends with its whole process group: at the child's end, whatever is
// left of its group (a wrapper's wget that ignored a SIGTERM, a process put
// in the background) is killed, and the end is told once each of those is
// gone too, woken by their pidfds; where the system grants none, they are
// killed and the end is told without waiting for them.

#include "platform/child_process.h"

#include <QObject>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace platform {

class ChildEndNotifier : public QObject
{
    Q_OBJECT
public:
    // Watches `process`, which must outlive this object. Checks it once
    // straight away, so an end before the watch began is not missed: see
    // hasEnded().
    explicit ChildEndNotifier(ChildProcess &process, QObject *parent = nullptr);

    ~ChildEndNotifier() override;

    // True once the child has ended or can no longer be waited on, and no
    // process of its group is left that could be seen; ended() has then
    // been emitted, exactly once.
    bool hasEnded() const { return ended_; }
    // False when neither the pidfd nor the SIGCHLD pipe could be set up
    // (no descriptors left): no end will ever be reported.
    bool isWatching() const { return notifier_ || childSignalPipe_; }

signals:
    void ended();

private:
    void check();
    // Kills what is left of the group and watches it go; ended() when none is.
    void endRestOfGroup();
    void closeMembers();

    ChildProcess &process_;
    QSocketNotifier *notifier_ = nullptr;        // on the pidfd, owned
    QSocketNotifier *childSignalPipe_ = nullptr; // shared by every notifier
    // pidfds of the group's processes that are left, with their notifiers.
    std::vector<std::pair<int, QSocketNotifier *>> members_;
    bool childEnded_ = false;
    bool ended_ = false;
};

} // namespace platform
