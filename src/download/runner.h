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

    // Starts the program with exactly these arguments (and `input` as its
    // standard input, when given, and `keepOpen` inherited, see
    // ChildProcess::start) and returns once it has ended, its handle closed
    // and what is left of its process group ended, with how it ended.
    // Returns the reason at once when the program cannot be started.
    // Should the end be impossible to watch (no descriptors left), the
    // program is stopped and the run returns.
    //
    // Brindle's command starts one run at a time. A run started while
    // another waits (from an event handled in its loop) is nested inside
    // it: the outer run returns only after the nested one has, and at once
    // then if its own program has ended meanwhile.
    Result runAndWait(const QString &program, const QStringList &arguments,
                      const std::optional<QByteArray> &input = std::nullopt, int keepOpen = -1);

    // Ends the downloader of the run started last, with its process group,
    // and only while that run still waits on it: Pause and closing the
    // window. Once a nested run has returned, this reaches nothing, not even
    // the outer run's downloader.
    void terminate();

private:
    // The process of the run started last, which lives in that run's frame;
    // cleared when that run returns.
    platform::ChildProcess *waitedProcess_ = nullptr;
};

} // namespace download
