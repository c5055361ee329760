#pragma once
// File lengths and the folder that the downloader writes into. Paths are the
// bytes the file system sees, so a name in any encoding is found.

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace platform {

// Length in bytes of a regular file; nothing for a missing file, a folder or
// anything that cannot be inspected.
std::optional<qint64> fileLength(const QByteArray &path);

// The process's current working directory, which a started downloader inherits.
QByteArray workingDirectory();

// The longest file name the folder takes, in bytes; -1 when it sets no limit
// or cannot be asked.
long longestName(const QByteArray &folder);

} // namespace platform
