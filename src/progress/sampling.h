#pragma once
// One tick of the progress display: captions for the total and current size
// in megabytes, and the percentage that the bar shows.

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace progress {

// Rounds to two decimals, halves to even.
double roundToHundredths(double value);

// A double as the display writes it: up to 15 significant digits, no
// trailing zeros, the locale's decimal separator, no group separators.
QString textOfDouble(double value, const QLocale &locale);

// A size as the display writes it: MiB (bytes / 1,048,576, under captions
// that say MB), to two decimals, as textOfDouble writes them.
QString megabytes(qint64 bytes, const QLocale &locale);

struct Tick
{
    QString total;   // the total size label's new text
    QString current; // the current size label's new text
    // What to draw; nothing when the capped percentage is not a byte.
    std::optional<std::uint8_t> percent;
};

// `totalBytes` is the total the window shows (download::DownloadCommand's);
// `lengthOnDisk` the file's length, or nothing when it could not be read, in
// which case the current caption stays `previousCurrent`. The percentage is
// read back from the two captions, with the locale that wrote them, on
// purpose: the bar shows exactly the ratio of the numbers the user reads. So
// a file under 5,243 bytes, whose total reads "0", always shows 0 %.
Tick sampleTick(qint64 totalBytes, std::optional<qint64> lengthOnDisk, const QString &previousCurrent,
                const QLocale &locale = QLocale());

} // namespace progress
