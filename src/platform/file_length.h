#pragma once
// File lengths and the folder that the downloader writes into.

#include <QString>
#include <optional>

namespace platform {

// Length in bytes of a regular file; nothing for a missing file, a folder or
// anything that cannot be inspected.
std::optional<qint64> fileLength(const QString &path);

// The process's current working directory, which a started downloader inherits.
QString workingDirectory();

} // namespace platform
