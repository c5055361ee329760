#pragma once
// Opening a web address in the user's browser.

#include <QString>
#include <optional>

namespace platform {

// Starts `xdg-open` with the address, detached, without waiting for it.
// Returns the reason when it could not be started.
std::optional<QString> openInBrowser(const QString &address);

} // namespace platform
