// One display tick from arbitrary sizes, previous caption and locale.
#include "progress/sampling.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    if (size < 17)
        return 0;
    qint64 serverSize = 0;
    qint64 length = 0;
    std::memcpy(&serverSize, data, 8);
    std::memcpy(&length, data + 8, 8);
    const QLocale locale = data[16] & 1 ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    const QString previous = QString::fromUtf8(reinterpret_cast<const char *>(data + 17),
                                               static_cast<qsizetype>(size - 17));
    const auto tick = progress::sampleTick(serverSize, data[16] & 2 ? std::optional<qint64>(length) : std::nullopt,
                                           previous, locale);
    if (tick.percent && *tick.percent > 100)
        std::abort();
    return 0;
}
