#include "download/runner.h"

#include "platform/child_end_notifier.h"

#include <QEventLoop>

namespace download {

Runner::Result Runner::runAndWait(const QString &program, const QStringList &arguments,
                                          const std::optional<QByteArray> &input, int keepOpen)
{
    auto started = platform::ChildProcess::start(program, arguments, input, keepOpen);
    if (!started.process)
        return {started.error, std::nullopt};

    platform::ChildProcess &process = *started.process;
    // A nested run replaces waitedProcess_ with its own; this run keeps its
    // own process in its frame and never touches the nested one's.
    waitedProcess_ = &process;

    {
        QEventLoop loop;
        platform::ChildEndNotifier end(process);
        QObject::connect(&end, &platform::ChildEndNotifier::ended, &loop, &QEventLoop::quit);
        if (!end.hasEnded()) {
            if (end.isWatching())
                loop.exec();
            else
                process.terminate();
        }
    }

    if (waitedProcess_ == &process)
        waitedProcess_ = nullptr;
    const std::optional<int> status = process.exitStatus();
    process.close();
    return {std::nullopt, status};
}

void Runner::terminate()
{
    if (waitedProcess_)
        waitedProcess_->terminate();
}

} // namespace download
