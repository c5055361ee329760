#pragma once
// How the address reaches wget: as its argument, or, when it holds a
// password, through wget's standard input, where no other user can read it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace download {

struct DownloaderCall
{
    QStringList arguments;
    std::optional<QByteArray> input; // wget's standard input, when used
};

// `wget -c <address>` exactly, the address as one argument; for an address
// with a password `wget -c -i -` reading the address as one line, every
// blank and control byte written as %XX, which wget sends and names the file
// by as it would the raw byte, so no byte can start a second address.
DownloaderCall wgetCall(const QString &address);

} // namespace download
