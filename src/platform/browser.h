#pragma once
// Opening a web address in the user's browser, or a folder in the file
// manager.

#include <QString>
#include <optional>

namespace platform {

// Starts `xdg-open` with the address (a web page's, or a folder's file:), detached,
// without waiting for it.
// Returns the reason when it could not be started.
std::optional<QString> openInBrowser(const QString &address);

} // namespace platform
