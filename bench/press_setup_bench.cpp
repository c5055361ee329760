// What a press adds before wget starts: the confinement prepared (Landlock
// ruleset and rules, the seccomp filter built once), and the file's lock
// taken with the look through /proc for another writer; then the whole
// start of a child to its end, confined and not.
#include "download/downloader_call.h"
#include "platform/child_process.h"
#include "platform/confinement.h"
#include "platform/file_lock.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <poll.h>

namespace {

QByteArray scratchFile()
{
    static QTemporaryDir folder;
    return folder.filePath(QStringLiteral("f.bin")).toLocal8Bit();
}

void prepareConfinement(benchmark::State &state)
{
    const auto lock = platform::FileLock::take(scratchFile());
    const platform::Reach reach = download::wgetReach(lock.lock->descriptor(), {80, 443}, qgetenv("HOME"), {});
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::Confinement::prepare("/usr/bin/wget", reach).parts());
}

void takeLock(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::FileLock::take(scratchFile()).outcome);
}

void startAndEnd(benchmark::State &state)
{
    const bool confined = state.range(0) != 0;
    const auto lock = platform::FileLock::take(scratchFile());
    const platform::Reach reach = download::wgetReach(lock.lock->descriptor(), {80, 443}, qgetenv("HOME"), {});
    for (auto _ : state) {
        auto started = platform::ChildProcess::start(QStringLiteral("true"), {}, std::nullopt, -1,
                                                     confined ? std::optional(reach) : std::nullopt);
        pollfd end{started.process->handle(), POLLIN, 0}; // a pidfd, readable at the end
        ::poll(&end, 1, -1);
        started.process->close();
    }
}

} // namespace

BENCHMARK(prepareConfinement)->Unit(benchmark::kMicrosecond);
BENCHMARK(takeLock)->Unit(benchmark::kMicrosecond);
BENCHMARK(startAndEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
