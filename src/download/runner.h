#pragma once
// Runs the downloader as a hidden child and waits for it while the window
// keeps handling its events. A whole download lives inside one runAndWait():
// the wait is a nested event loop that the downloader's end wakes, so every
// click, key, repaint, accessibility request, display tick and close during
// the download is handled, nested, the moment it arrives, and the run
// returns the moment the downloader has ended.

#include "platform/child_process.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

namespace download {

class Runner
{
public:
    struct Result
    {
        // Why the program could not be started; nothing when it ran.
        std::optional<QString> notStarted;
        // How it ended (see ChildProcess::exitStatus); nothing when it
        // did not start or its end could not be watched.
        std::optional<int> exitStatus;
    };

    Runner();

    // Starts the program with exactly these arguments (and `input` as its
    // standard input, when given, and `inheritedDescriptor` handed down, see
    // ChildProcess::start) and returns once it has ended, its handle closed
    // and what is left of its process group ended, with how it ended.
    // Returns the reason at once when the program cannot be started.
    // Should the end be impossible to watch (no descriptors left), the
    // program is killed with its group and reaped, and the run returns. Otherwise it returns once no
    // process of its group is left: what outlives the program is killed
    // (see ChildEndNotifier). With `reach`, the program and all it starts
    // are confined to it (confinement.h).
    //
    // Brindle's command starts one run at a time. A run started while
    // another waits (from an event handled in its loop) is nested inside
    // it: the outer run returns only after the nested one has, and at once
    // then if its own program has ended meanwhile.
    Result runAndWait(const QString &program, const QStringList &arguments,
                      const std::optional<QByteArray> &input = std::nullopt, int inheritedDescriptor = -1,
                      const std::optional<platform::Reach> &reach = std::nullopt);

    // Ends the downloader of the run started last, with its process group,
    // and only while that run still waits on it. Once a nested run has
    // returned, this reaches nothing, not even the outer run's downloader.
    // stop() is Pause: SIGTERM to the group first, so wget ends as it
    // chooses; if wget still runs half a second later, the group is killed,
    // whatever it ignores. Once wget has ended, what is left of its group
    // is killed at once (see runAndWait). kill() is closing: the group is
    // killed at once (wget keeps nothing a kill loses).
    void stop();
    void kill();

    // Runs the program as runAndWait does, without input or lock, and
    // returns the first `limit` bytes of its standard output, once it has
    // ended by itself with status 0; nothing when it could not start or
    // did not end so.
    std::optional<QByteArray> outputOf(const QString &program, const QStringList &arguments,
                                       const platform::Reach &reach, qsizetype limit);

    // The Confinement::Part flags that applied to the run started last.
    unsigned confinement() const { return confinement_; }

private:
    // Waits in a nested event loop until `process` has ended, as
    // runAndWait says, and returns how it ended; leaves it unreaped.
    std::optional<int> wait(platform::ChildProcess &process);

    // The process of the run started last, which lives in that run's frame;
    // cleared when that run returns.
    platform::ChildProcess *waitedProcess_ = nullptr;
    // Counts the runs started, so a late escalation reaches only the run
    // that was stopped.
    quint64 runs_ = 0;
    quint64 stoppedRun_ = 0;
    QTimer escalation_; // Pause's kill, half a second after its SIGTERM
    unsigned confinement_ = 0;
};

} // namespace download
