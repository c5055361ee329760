#include "progress/colour.h"

#include <cmath>

namespace progress {

Channels splitcolor(std::int32_t color)
{
    return {static_cast<std::uint8_t>(color & 255),
            static_cast<std::uint8_t>((color / 256) & 255),
            static_cast<std::uint8_t>((color / 65536) & 255)};
}

std::optional<std::int32_t> invertcolor(std::int32_t color)
{
    const std::int64_t inverted = std::int64_t{16777215} - color;
    if (inverted > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(inverted);
}

namespace {

// The slope comes from the end channel alone, over the area's size plus 5.
void step(std::uint8_t &channel, std::uint8_t from, std::uint8_t to, int i, int size)
{
    const double direction = from < to ? 1.0 : -1.0;
    const double value = std::nearbyint(((to / (size + 5.0)) * i) * direction + from);
    if (value >= 0.0 && value <= 255.0)
        channel = static_cast<std::uint8_t>(value);
}

} // namespace

std::int32_t gradientcolor(int i, int size, std::int32_t startcolor, std::int32_t endcolor,
                           Channels &channels)
{
    if (startcolor == endcolor)
        return startcolor;
    const Channels from = splitcolor(startcolor);
    const Channels to = splitcolor(endcolor);
    step(channels.red, from.red, to.red, i, size);
    step(channels.green, from.green, to.green, i, size);
    step(channels.blue, from.blue, to.blue, i, size);
    return channels.red + 256 * channels.green + 65536 * channels.blue;
}

} // namespace progress
