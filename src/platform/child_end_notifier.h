#pragma once
// Tells the event loop that a child process has ended, the moment it ends,
// at no cost while it runs: no thread, no timer, no polling. Through the
// child's pidfd where the system grants one; otherwise through a pipe that a
// SIGCHLD handler writes to, after which the child is checked without
// reaping it, so its pid stays pinned.

#include "platform/child_process.h"

#include <QObject>

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

    // True once the child has ended or can no longer be waited on; ended()
    // has then been emitted, exactly once.
    bool hasEnded() const { return ended_; }
    // False when neither the pidfd nor the SIGCHLD pipe could be set up
    // (no descriptors left): no end will ever be reported.
    bool isWatching() const { return notifier_ || childSignalPipe_; }

signals:
    void ended();

private:
    void check();

    ChildProcess &process_;
    QSocketNotifier *notifier_ = nullptr;        // on the pidfd, owned
    QSocketNotifier *childSignalPipe_ = nullptr; // shared by every notifier
    bool ended_ = false;
};

} // namespace platform
