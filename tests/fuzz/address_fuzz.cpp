// The name wget writes, for arbitrary text: always a name in the folder,
// never a path, and cut only by the folder's limit.
#include "download/address_rules.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString url = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QByteArray whole = download::wgetFileName(url, -1);
    if (whole.contains('/') || whole.contains('\0') || whole == "." || whole == "..")
        std::abort(); // a name that could leave the folder or name no file
    if (download::wgetFileName(url, 255) != whole.left(255 - 19))
        std::abort(); // the limit cuts the same name, and only at its end
    return 0;
}
