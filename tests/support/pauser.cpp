#include "support/pauser.h"

namespace testing {

Pauser::Pauser(download::DownloadCommand &command, std::chrono::milliseconds tick, PressNow pressNow)
{
    QObject::connect(&timer_, &QTimer::timeout, [this, &command, pressNow = std::move(pressNow)] {
        if (command.state() != download::DownloadCommand::State::Downloading) {
            running_.invalidate();
            return;
        }
        if (!running_.isValid())
            running_.start();
        if (!pressNow || pressNow(std::chrono::milliseconds(running_.elapsed())))
            command.click();
    });
    timer_.start(tick);
}

} // namespace testing
