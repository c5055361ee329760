#include "download/runner.h"

#include "platform/child_end_notifier.h"

#include <QEventLoop>

namespace download {

namespace {
// How long a paused downloader has to end by itself before it is killed.
constexpr int kTermGraceMilliseconds = 500;
} // namespace

Runner::Runner()
{
    escalation_.setSingleShot(true);
    escalation_.setInterval(kTermGraceMilliseconds);
    QObject::connect(&escalation_, &QTimer::timeout, [this] {
        if (waitedProcess_ && stoppedRun_ == runs_)
            waitedProcess_->kill();
    });
}

Runner::Result Runner::runAndWait(const QString &program, const QStringList &arguments,
                                  const std::optional<QByteArray> &input, int inheritedDescriptor,
                                  const std::optional<platform::Reach> &reach)
{
    auto started = platform::ChildProcess::start(program, arguments, input, inheritedDescriptor, reach);
    confinement_ = started.confinement;
    if (!started.process)
        return {started.error, std::nullopt};
    const std::optional<int> status = wait(*started.process);
    started.process->close();
    return {std::nullopt, status};
}

std::optional<QByteArray> Runner::outputOf(const QString &program, const QStringList &arguments,
                                           const platform::Reach &reach, qsizetype limit)
{
    auto started = platform::ChildProcess::start(program, arguments, std::nullopt, -1, reach, true);
    if (!started.process)
        return std::nullopt;
    const std::optional<int> status = wait(*started.process);
    const QByteArray output = started.process->output(limit);
    started.process->close();
    return status == 0 ? std::optional(output) : std::nullopt;
}

std::optional<int> Runner::wait(platform::ChildProcess &process)
{
    ++runs_;
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

    if (waitedProcess_ == &process) {
        waitedProcess_ = nullptr;
        escalation_.stop();
    }
    return process.exitStatus();
}

void Runner::stop()
{
    if (!waitedProcess_)
        return;
    waitedProcess_->terminate();
    stoppedRun_ = runs_;
    escalation_.start();
}

void Runner::kill()
{
    if (waitedProcess_)
        waitedProcess_->kill();
}

} // namespace download
