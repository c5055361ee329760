// The address rules on arbitrary text.
#include "download/address_rules.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString url = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString name = download::rightfilename(url);
    if (name.contains(QLatin1Char('/')) || !url.endsWith(name))
        std::abort();
    if (const auto replaced = download::prefixrule(url); replaced && download::prefixrule(*replaced))
        std::abort(); // the rule must settle after its own change
    if (download::accepted(url) && !url.startsWith(download::kPrefix))
        std::abort();
    if (download::wgetfilename(url).contains(QLatin1Char('/')))
        std::abort(); // a name, never a path
    return 0;
}
