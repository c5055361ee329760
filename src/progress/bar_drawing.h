#pragma once
// The gradient progress bar: repaints a canvas filled to a percentage
// (one column beyond it, so 0 % paints one) and places a percentage label
// over it.

#include <QLocale>
#include <QString>
#include <cstdint>

namespace progress {

// A drawing area whose outer size is in twips and whose pixels are addressed
// from (0, 0) at the top left. Fills outside the area are clipped.
class BarCanvas
{
public:
    virtual ~BarCanvas() = default;
    virtual double widthInTwips() const = 0;
    virtual double heightInTwips() const = 0;
    virtual void setWidthInTwips(double twips) = 0;
    virtual void setHeightInTwips(double twips) = 0;
    virtual int widthInPixels() const = 0;
    virtual int heightInPixels() const = 0;
    // Clears the area to its background colour.
    virtual void clear() = 0;
    // Paints column x in colours[x] for x below count, every row from yFrom
    // to yTo inclusive.
    virtual void fillColumns(const std::int32_t *colours, int count, int yFrom, int yTo) = 0;
    // Paints (x, y) for every x from xFrom to xTo inclusive.
    virtual void fillRow(int y, int xFrom, int xTo, std::int32_t colour) = 0;
};

// A label placed in the canvas's pixel coordinates; positions keep fractions.
class BarLabel
{
public:
    virtual ~BarLabel() = default;
    virtual double width() const = 0;
    virtual double height() const = 0;
    virtual void setLeft(double pixels) = 0;
    virtual void setTop(double pixels) = 0;
    virtual void setWidth(double pixels) = 0;
    virtual void setText(const QString &text) = 0;
    virtual void setTextColor(std::int32_t colour) = 0;
};

// Minimum outer sizes, in twips.
inline constexpr double kHorizontalMinWidth = 3015;
inline constexpr double kHorizontalMinHeight = 255;
inline constexpr double kVerticalMinHeight = 3015;
inline constexpr double kVerticalMinWidth = 495;

// The percentage label's text, "75%", in the locale's digits and sign.
QString percentText(int percent, const QLocale &locale);

// Draws the bar, its caption written in `locale`. -1 for textColorOverFill or textColorOverEmpty derives that
// text colour from the inverted start or end colour. Percentages above 100 count as 100.
// Returns 0 when drawn, -1 when a failure stopped it: an inverted colour
// out of range, before anything is drawn, or no usable twips per pixel,
// after the canvas was cleared.
std::int32_t drawProgress(std::uint8_t percent, BarCanvas &canvas, BarLabel &label,
                          bool showCaption, bool horizontal, std::int32_t textColorOverFill,
                          std::int32_t textColorOverEmpty, std::int32_t startColor,
                          std::int32_t endColor, int twipsPerPixel, const QLocale &locale = QLocale::c());

// The colours and orientation that Brindle's window always uses.
inline constexpr std::int32_t kBarTextColorOverFill = 16777215; // white
inline constexpr std::int32_t kBarTextColorOverEmpty = 65280;   // green
inline constexpr std::int32_t kBarStartColor = 65280;           // green
inline constexpr std::int32_t kBarEndColor = 6579300;           // grey, RGB(100, 100, 100)

inline std::int32_t drawWindowBar(std::uint8_t percent, BarCanvas &canvas, BarLabel &label,
                                  int twipsPerPixel, const QLocale &locale = QLocale::c())
{
    return drawProgress(percent, canvas, label, true, true, kBarTextColorOverFill,
                        kBarTextColorOverEmpty, kBarStartColor, kBarEndColor, twipsPerPixel, locale);
}

} // namespace progress
