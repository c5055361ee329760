#include "progress/bar_drawing.h"

#include "progress/colour.h"
#include "progress/twips.h"

#include <cmath>
#include <vector>

namespace progress {

QString percentText(int percent, const QLocale &locale)
{
    return locale.toString(percent) + locale.percent();
}

std::int32_t drawProgress(std::uint8_t percent, BarCanvas &canvas, BarLabel &label,
                          bool showCaption, bool horizontal, std::int32_t textColorOverFill,
                          std::int32_t textColorOverEmpty, std::int32_t startColor,
                          std::int32_t endColor, int twipsPerPixel, const QLocale &locale)
{
    if (textColorOverFill == -1) {
        const auto inverted = invertColor(startColor);
        if (!inverted)
            return -1;
        textColorOverFill = *inverted;
    }
    if (textColorOverEmpty == -1) {
        const auto inverted = invertColor(endColor);
        if (!inverted)
            return -1;
        textColorOverEmpty = *inverted;
    }
    if (percent > 100)
        percent = 100;

    canvas.clear();
    if (twipsPerPixel <= 0)
        return -1;

    const QString caption = percentText(percent, locale);
    if (horizontal) {
        if (canvas.widthInTwips() < kHorizontalMinWidth)
            canvas.setWidthInTwips(kHorizontalMinWidth);
        if (canvas.heightInTwips() < kHorizontalMinHeight)
            canvas.setHeightInTwips(kHorizontalMinHeight);
        // A quarter of the label's width, not a half, on purpose: the label,
        // and the text centred in it, sit a quarter of its width right of
        // the bar's middle.
        label.setLeft(canvas.widthInTwips() / 2 / twipsPerPixel - label.width() / 4);
        label.setTop(canvas.heightInTwips() / 2 / twipsPerPixel - label.height() / 2);
        if (showCaption)
            label.setText(caption);
        // From 49 % the fill reaches under the caption, so the text turns to
        // the colour that reads on the bar rather than on the empty area.
        label.setTextColor(percent >= 49 ? textColorOverFill : textColorOverEmpty);

        const int n = wholePixels(canvas.widthInTwips(), twipsPerPixel);
        const int limit = static_cast<int>(std::nearbyint(percent / 100.0 * n));
        const int h = wholePixels(canvas.heightInTwips(), twipsPerPixel);
        const int size = canvas.widthInPixels();
        // The colour depends on the column only: one colour per column, and
        // the rows are painted from that one line.
        Gradient gradient(size, startColor, endColor);
        std::vector<std::int32_t> colours(static_cast<std::size_t>(limit) + 1);
        for (int x = 0; x <= limit; ++x)
            colours[static_cast<std::size_t>(x)] = gradient.advanceTo(x);
        canvas.fillColumns(colours.data(), limit + 1, 0, h);
    } else {
        if (canvas.heightInTwips() < kVerticalMinHeight)
            canvas.setHeightInTwips(kVerticalMinHeight);
        if (canvas.widthInTwips() < kVerticalMinWidth)
            canvas.setWidthInTwips(kVerticalMinWidth);
        label.setLeft(0);
        label.setWidth(wholePixels(canvas.widthInTwips(), twipsPerPixel));
        label.setTop(canvas.heightInTwips() / 2 / twipsPerPixel - label.height() / 2);
        if (showCaption)
            label.setText(caption);
        // Deliberately 47 here, not 49: a fill rising from the bottom reaches
        // the lower edge of the centred caption a little before half way.
        label.setTextColor(percent >= 47 ? textColorOverFill : textColorOverEmpty);

        const int w = wholePixels(canvas.widthInTwips(), twipsPerPixel);
        const int rows = wholePixels(canvas.heightInTwips(), twipsPerPixel);
        const int limit = static_cast<int>(std::nearbyint(percent / 100.0 * rows));
        const int size = canvas.heightInPixels();
        Gradient gradient(size, startColor, endColor);
        // Grows upwards: position 0 lands on the row just below the area.
        for (int y = 0; y <= limit; ++y)
            canvas.fillRow(size - y, 0, w, gradient.advanceTo(y));
    }
    return 0;
}

} // namespace progress
