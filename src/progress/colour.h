#pragma once
// Packed colours: red + 256 * green + 65536 * blue in a signed 32-bit value.

#include <cstdint>
#include <optional>

namespace progress {

struct Channels
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// Low, middle and high byte, with truncating division for negative values.
Channels splitcolor(std::int32_t color);

// 16777215 - color; nothing when the difference leaves 32 bits.
std::optional<std::int32_t> invertcolor(std::int32_t color);

// The colours along a bar whose drawing area is `size` pixels long: each
// channel moves from the start colour's value towards the end colour's by the
// end value / (size + 5) per pixel.
class Gradient
{
public:
    Gradient(int size, std::int32_t startcolor, std::int32_t endcolor);

    // The colour at position `i`. `channels` carries each channel's last
    // in-range value from one position to the next (a channel that would
    // leave 0..255 keeps it); start a bar with zeroed channels.
    std::int32_t at(int i, Channels &channels) const;

private:
    bool solid_;
    std::int32_t startcolor_;
    double from_[3];
    double step_[3]; // signed slope per pixel
};


} // namespace progress
