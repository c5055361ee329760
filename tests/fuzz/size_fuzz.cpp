// Content-Length text in a point and a comma locale.
#include "download/size_conversion.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        const auto bytes = download::toSize(text, locale);
        if (bytes && download::toSize(locale.toString(*bytes), locale) != bytes)
            std::abort(); // a size written by the locale reads back unchanged
    }
    return 0;
}
