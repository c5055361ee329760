// The address rules on arbitrary text.
#include "download/address_rules.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString url = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const auto replaced = download::prefixRule(url); replaced && download::prefixRule(*replaced))
        std::abort(); // the rule must settle after its own change
    if (download::accepted(url) && !url.startsWith(download::kPrefix))
        std::abort();
    const QByteArray name = download::wgetFileName(url, 255);
    if (name.contains('/') || name.size() > 255 - 19)
        std::abort(); // a name that fits the folder, never a path
    return 0;
}
