#pragma once
// Runs the downloader as a hidden child and waits for it while the window
// keeps handling its events. A whole download lives inside one runAndWait():
// every click, display tick and close during it is handled, nested, in the
// first step of a wait cycle.

#include "platform/child_process.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace download {

class Runner
{
public:
    // One wait cycle: handle pending events, wait up to 50 ms for the end,
    // then sleep 500 ms; leave once the wait reports the end or fails. The
    // window's display tick (MainWindow's kTickMilliseconds, 500) runs only in the
    // event step, so during a download the display moves once a cycle,
    // about every 550 ms: change the tick and the cycle together.
    static constexpr int kWaitMilliseconds = 50;
    static constexpr int kSleepMilliseconds = 500;

    // Starts the program with exactly these arguments (and `input` as its
    // standard input, when given) and returns once it has ended, its handle
    // closed. Returns the reason at once, without a cycle and leaving
    // waitedHandle() alone, when the program cannot be started.
    std::optional<QString> runAndWait(const QString &program, const QStringList &arguments,
                                   const std::optional<QByteArray> &input = std::nullopt);

    // Ends the downloader in waitedHandle(), but only while a run still
    // waits on it: Pause and closing the window.
    void terminate();

    // The handle of the downloader started last while its run waits; 0 when
    // none was started or its run has returned.
    int waitedHandle() const;

private:
    // The process of the innermost waiting run, which lives in that run's
    // frame; cleared when that run returns.
    platform::ChildProcess *waitedProcess_ = nullptr;
};

} // namespace download
