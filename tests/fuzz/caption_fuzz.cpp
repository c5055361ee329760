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
    // The bar's percentage is read back from the captions, so they must
    // read back as the megabytes they were written from.
    bool ok = false;
    const double total = locale.toDouble(tick.total, &ok);
    if (!ok || total != progress::roundToHundredths(static_cast<double>(serverSize) / 1024 / 1024))
        std::abort();
    return 0;
}
