#pragma once
// A run of the runner whose wait is bounded.

#include "download/runner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace testing {

// Runs `program` with `runner` to its end; a wait whose wake-up is lost ends
// the test program with a message after `seconds`. Why it could not be
// started, when it could not.
std::optional<QString> run(download::Runner &runner, const QString &program, const QStringList &arguments,
                           const std::optional<QByteArray> &input = std::nullopt, double seconds = 10);

} // namespace testing
