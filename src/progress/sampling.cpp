#include "progress/sampling.h"

#include <algorithm>
#include <cmath>

namespace progress {

double roundToHundredths(double value)
{
    const double rounded = std::nearbyint(value * 100) / 100;
    return rounded == 0 ? 0.0 : rounded; // no "-0"
}

QString textOfDouble(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

QString megabytes(qint64 bytes, const QLocale &locale)
{
    return textOfDouble(roundToHundredths(static_cast<double>(bytes) / 1024 / 1024), locale);
}

Tick sampleTick(qint64 totalBytes, std::optional<qint64> lengthOnDisk, const QString &previousCurrent,
                const QLocale &locale)
{
    Tick tick{megabytes(totalBytes, locale), lengthOnDisk ? megabytes(*lengthOnDisk, locale) : previousCurrent,
              std::nullopt};

    std::int64_t percentage = 0;
    if (tick.total != QStringLiteral("0")) {
        bool currentOk = false;
        bool totalOk = false;
        const double current = locale.toDouble(tick.current, &currentOk);
        const double total = locale.toDouble(tick.total, &totalOk);
        if (currentOk && totalOk && total != 0) {
            const double ratio = std::nearbyint(current / total * 100);
            if (ratio >= INT32_MIN && ratio <= INT32_MAX)
                percentage = static_cast<std::int64_t>(ratio);
        }
    }
    const std::int64_t capped = std::min<std::int64_t>(percentage, 100);
    if (capped >= 0 && capped <= 255)
        tick.percent = static_cast<std::uint8_t>(capped);
    return tick;
}

} // namespace progress
