#include "download/size_conversion.h"

#include <cmath>

namespace download {

std::optional<qint64> toSize(const QString &text, const QLocale &locale)
{
    const QString number = text.trimmed();
    if (number.isEmpty())
        return std::nullopt;
    bool ok = false;
    // Whole numbers first, exactly: a double cannot hold every 64-bit size.
    const qint64 whole = locale.toLongLong(number, &ok);
    if (ok)
        return whole;
    const double value = locale.toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    // 2^63 is the first double outside the range.
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(rounded);
}

} // namespace download
