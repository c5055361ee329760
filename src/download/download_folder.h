#pragma once
// The folder wget writes into and the file it writes there for an address.

#include <QByteArray>
#include <QString>

namespace download {

struct DownloadFolder
{
    // The working directory, which wget inherits and Brindle never changes.
    static DownloadFolder current();

    QByteArray path;  // absolute, without symbolic links; empty when it has no name (deleted)
    long nameMax;     // the longest file name the folder takes; -1 for no limit

    // The absolute path of the file wget writes for the address; empty when
    // it writes none, or the folder has no name.
    QByteArray fileFor(const QString &address) const;
};

} // namespace download
