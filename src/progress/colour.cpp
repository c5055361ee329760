#include "progress/colour.h"

#include <cmath>

namespace progress {

std::optional<std::int32_t> invertColor(std::int32_t color)
{
    const std::int64_t inverted = std::int64_t{16777215} - color;
    if (inverted > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(inverted);
}

namespace {

// Nearest integer, halves to even, for the small values of a gradient: adding
// and removing 1.5 * 2^52 leaves the current (nearest-even) rounding's result.
double roundHalfEven(double value)
{
    constexpr double kShift = 6755399441055744.0;
    if (!(value > -1e15 && value < 1e15))
        return std::nearbyint(value);
    return (value + kShift) - kShift;
}

void keepInRange(std::uint8_t &channel, double value)
{
    const double rounded = roundHalfEven(value);
    if (rounded >= 0.0 && rounded <= 255.0)
        channel = static_cast<std::uint8_t>(rounded);
}

} // namespace

Gradient::Gradient(int size, std::int32_t startColor, std::int32_t endColor)
    : solid_(startColor == endColor), startColor_(startColor)
{
    const Channels from = splitColor(startColor);
    const Channels to = splitColor(endColor);
    const std::uint8_t starts[3] = {from.red, from.green, from.blue};
    const std::uint8_t ends[3] = {to.red, to.green, to.blue};
    for (int k = 0; k < 3; ++k) {
        from_[k] = starts[k];
        // Deliberately the end channel's value over the size plus 5, not the
        // difference of the two colours: a channel moves by about the end
        // colour's own value over the bar's width, so a full bar never quite
        // reaches the end colour (the window's green-to-grey bar ends near
        // RGB(98, 157, 98)). Only a start value below the end value moves
        // up; an equal one moves down, away from it.
        step_[k] = (ends[k] / (size + 5.0)) * (starts[k] < ends[k] ? 1.0 : -1.0);
    }
}

std::int32_t Gradient::advanceTo(int position)
{
    if (solid_)
        return startColor_;
    keepInRange(lastInRange_.red, step_[0] * position + from_[0]);
    keepInRange(lastInRange_.green, step_[1] * position + from_[1]);
    keepInRange(lastInRange_.blue, step_[2] * position + from_[2]);
    return lastInRange_.red + 256 * lastInRange_.green + 65536 * lastInRange_.blue;
}

} // namespace progress
