#include "support/bounded_run.h"

#include "support/helpers.h"

namespace testing {

std::optional<QString> run(download::Runner &runner, const QString &program, const QStringList &arguments,
                           const std::optional<QByteArray> &input, double seconds)
{
    const Deadline deadline(seconds, "a run");
    return runner.runAndWait(program, arguments, input).notStarted;
}

} // namespace testing
