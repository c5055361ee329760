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
// Inline: the bar unpacks a colour for every column it draws.
inline Channels splitColor(std::int32_t color)
{
    return {static_cast<std::uint8_t>(color & 255), static_cast<std::uint8_t>((color / 256) & 255),
            static_cast<std::uint8_t>((color / 65536) & 255)};
}

// 16777215 - color; nothing when the difference leaves 32 bits.
std::optional<std::int32_t> invertColor(std::int32_t color);

// The colours along a bar whose drawing area is `size` pixels long: each
// channel moves from the start colour's value by the end value / (size + 5)
// per pixel, up when the start value is below the end value and down
// otherwise, so a channel equal in both moves away from it. A walk along one bar: positions are asked
// for in order, and a channel whose value at a position would leave 0..255
// keeps the last in-range value this walk gave it (0 before any). Start a new
// Gradient for every bar drawn.
class Gradient
{
public:
    Gradient(int size, std::int32_t startColor, std::int32_t endColor);

    // The colour at `position`, carrying out-of-range channels over from the
    // positions walked before.
    std::int32_t advanceTo(int position);

private:
    bool solid_;
    std::int32_t startColor_;
    double from_[3];
    double step_[3]; // signed slope per pixel
    Channels lastInRange_;
};

} // namespace progress
