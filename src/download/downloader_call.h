#pragma once
// How the address reaches wget: as its argument, or, when it holds a
// password, through wget's standard input, where no other user can read it.

#include "platform/confinement.h"

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

// `wget -c --local-encoding=UTF-8 --retry-on-http-error=429,503 <address>`
// exactly, the address as one argument; for an address with a password the
// same with `-i -` for the address, wget reading it as one line, every blank
// and control byte written as %XX, which wget sends and names the file by as
// it would the raw byte, so no byte can start a second address. The address
// is UTF-8, and wget is told so: it names the file and asks for it the same
// way in every locale (and whatever local_encoding a wgetrc sets). A 429 or
// 503 is a wait to wget, as it is to Brindle's own requests.
DownloaderCall wgetCall(const QString &address);

// What wget may reach (see confinement.h): the file it writes (`file`, a
// descriptor on it, or -1), its configuration under `home` (~/.wgetrc,
// ~/.netrc) and at `wgetrc` (its WGETRC, when set), its HSTS store
// (~/.wget-hsts) to read only, so a taken-over wget cannot drop another
// site's HSTS policy for the user's later runs; and TCP `ports` (those the
// size request went to) with 53, for a resolver answer too long for UDP.
platform::Reach wgetReach(int file, const QList<quint16> &ports, const QByteArray &home, const QByteArray &wgetrc);

// Whether `version`, what `wget --version` printed, names Wget2 ("GNU Wget2
// 2.1.0 - multithreaded ..."), which does not continue the empty file a press
// locks for it but writes `<name>.1` beside it. Only a first line that says
// so counts: anything else, nothing at all among it, is GNU Wget 1.x.
bool isWget2(QByteArrayView version);

} // namespace download
