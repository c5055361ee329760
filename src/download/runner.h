#pragma once
// Runs the downloader as a hidden child and waits for it while the window
// keeps handling its events.

#include "platform/child_process.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace download {

class Runner
{
public:
    // One wait cycle: handle pending events, wait up to 50 ms for the end,
    // then sleep 500 ms; leave once the wait reports the end or fails.
    static constexpr int kWaitMilliseconds = 50;
    static constexpr int kSleepMilliseconds = 500;

    // Starts the program with exactly these arguments and returns once it
    // has ended, its handle closed. Returns the reason at once, without a
    // cycle and leaving shnd() alone, when the program cannot be started.
    std::optional<QString> runwait(const QString &program, const QStringList &arguments);

    // Ends the downloader in shnd(), but only while a run still waits on it.
    void terminate();

    // The handle of the downloader started last while its run waits; 0 when
    // none was started or its run has returned.
    int shnd() const;

private:
    // The process of the run that set it, which lives in that run's frame;
    // cleared when that run returns.
    platform::ChildProcess *shnd_ = nullptr;
};

} // namespace download
