#pragma once
// Files in the folder that the downloader writes into: lengths, the folder
// and its name limit, and keeping a file aside. Paths are the bytes the file
// system sees, so a name in any encoding is found.

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <optional>

namespace platform {

// Length in bytes of a regular file; nothing for a missing file, a folder or
// anything that cannot be inspected.
std::optional<qint64> lengthOnDisk(const QByteArray &path);

// The process's current working directory, which a started downloader inherits.
QByteArray workingDirectory();

// The longest file name the folder takes, in bytes; -1 when it sets no limit
// or cannot be asked.
long longestName(const QByteArray &folder);

// The regular files "<path>.N" beside the file (N a number), newest first by
// their modification time.
QList<QByteArray> copiesBeside(const QByteArray &path);

// Renames the file to the first free "<path>.1", "<path>.2", ... (the way
// wget numbers copies), never replacing anything that exists. The new path,
// or nothing when the file could not be moved.
std::optional<QByteArray> renameToFreeCopy(const QByteArray &path);

} // namespace platform
