#include "download/download_folder.h"

#include "download/address_rules.h"
#include "platform/files_on_disk.h"

namespace download {

DownloadFolder DownloadFolder::current()
{
    const QByteArray folder = platform::workingDirectory();
    return {folder, platform::longestName(folder)};
}

QByteArray DownloadFolder::fileFor(const QString &address) const
{
    const QByteArray name = wgetFileName(address, nameMax);
    return name.isEmpty() || path.isEmpty() ? QByteArray() : path + '/' + name;
}

} // namespace download
