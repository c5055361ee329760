#pragma once
// Pause pressed as a user presses it: while wget runs, at a timer's tick.

#include "download/download_command.h"

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>

namespace testing {

// At every tick (every `tick`, for the pauser's life) that finds wget
// running, asks `pressNow` with how long it has run (timed anew for each
// run, from the first tick that found it running) and presses Pause on
// `command` when it agrees; without `pressNow`, at the first such tick.
// `pressNow` may note what it sees.
class Pauser
{
public:
    using PressNow = std::function<bool(std::chrono::milliseconds running)>;
    Pauser(download::DownloadCommand &command, std::chrono::milliseconds tick, PressNow pressNow = {});

private:
    QTimer timer_;
    QElapsedTimer running_;
};

} // namespace testing
