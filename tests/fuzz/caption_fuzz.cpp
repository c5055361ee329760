// One display tick from arbitrary sizes, previous caption and locale.
#include "progress/sampling.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    if (size < 17)
        return 0;
    qint64 totalBytes = 0;
    qint64 length = 0;
    std::memcpy(&totalBytes, data, 8);
    std::memcpy(&length, data + 8, 8);
    const QLocale locale = data[16] & 1 ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    const QString previous = QString::fromUtf8(reinterpret_cast<const char *>(data + 17),
                                               static_cast<qsizetype>(size - 17));
    const std::optional<qint64> measured = data[16] & 2 ? std::optional<qint64>(length) : std::nullopt;
    const auto tick = progress::sampleTick(totalBytes, measured, previous, locale);
    // The bar's percentage is read back from the captions, so each must read
    // back as the megabytes it was written from; a file that could not be
    // measured keeps the current caption as it was.
    const auto readsBackAs = [&locale](const QString &caption, qint64 bytes) {
        bool ok = false;
        const double megabytes = locale.toDouble(caption, &ok);
        return ok && megabytes == progress::roundToHundredths(static_cast<double>(bytes) / 1024 / 1024);
    };
    if (!readsBackAs(tick.total, totalBytes))
        std::abort();
    if (measured ? !readsBackAs(tick.current, *measured) : tick.current != previous)
        std::abort();
    return 0;
}
