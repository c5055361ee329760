#include "progress/drawprogress.h"

#include "progress/colour.h"

#include <cmath>
#include <vector>

namespace progress {

int wholepixels(double twips, int tpp)
{
    return static_cast<int>(static_cast<long long>(std::nearbyint(twips)) / tpp);
}

std::int32_t drawprogress(std::uint8_t percent, PictureArea &pic, BarLabel &lbl, bool showcaption,
                          bool horizontal, std::int32_t highcolor, std::int32_t lowcolor,
                          std::int32_t startcolor, std::int32_t endcolor, int tpp)
{
    if (highcolor == -1) {
        const auto inverted = invertcolor(startcolor);
        if (!inverted)
            return -1;
        highcolor = *inverted;
    }
    if (lowcolor == -1) {
        const auto inverted = invertcolor(endcolor);
        if (!inverted)
            return -1;
        lowcolor = *inverted;
    }
    if (percent > 100)
        percent = 100;

    pic.cls();
    if (tpp <= 0)
        return -1;

    const QString caption = QString::number(percent) + QLatin1Char('%');
    Channels channels;
    if (horizontal) {
        if (pic.width() < kHorizontalMinWidth)
            pic.setWidth(kHorizontalMinWidth);
        if (pic.height() < kHorizontalMinHeight)
            pic.setHeight(kHorizontalMinHeight);
        // A quarter of the label's width, not a half, on purpose: the
        // centred text of a label wider than its caption then sits over the
        // bar's middle.
        lbl.setLeft(pic.width() / 2 / tpp - lbl.width() / 4);
        lbl.setTop(pic.height() / 2 / tpp - lbl.height() / 2);
        if (showcaption)
            lbl.setCaption(caption);
        // From 49 % the fill reaches under the caption, so the text turns to
        // the colour that reads on the bar rather than on the empty area.
        lbl.setForeColor(percent >= 49 ? highcolor : lowcolor);

        const int n = wholepixels(pic.width(), tpp);
        const int limit = static_cast<int>(std::nearbyint(percent / 100.0 * n));
        const int h = wholepixels(pic.height(), tpp);
        const int size = pic.scaleWidth();
        // The colour depends on the column only: one colour per column, and
        // the rows are painted from that one line.
        const Gradient gradient(size, startcolor, endcolor);
        std::vector<std::int32_t> colours(static_cast<std::size_t>(limit) + 1);
        for (int x = 0; x <= limit; ++x)
            colours[static_cast<std::size_t>(x)] = gradient.at(x, channels);
        pic.fillColumns(colours.data(), limit + 1, 0, h);
    } else {
        if (pic.height() < kVerticalMinHeight)
            pic.setHeight(kVerticalMinHeight);
        if (pic.width() < kVerticalMinWidth)
            pic.setWidth(kVerticalMinWidth);
        lbl.setLeft(0);
        lbl.setWidth(wholepixels(pic.width(), tpp));
        lbl.setTop(pic.height() / 2 / tpp - lbl.height() / 2);
        if (showcaption)
            lbl.setCaption(caption);
        // Deliberately 47 here, not 49: a fill rising from the bottom reaches
        // the lower edge of the centred caption a little before half way.
        lbl.setForeColor(percent >= 47 ? highcolor : lowcolor);

        const int w = wholepixels(pic.width(), tpp);
        const int limit = static_cast<int>(std::nearbyint(percent / 100.0 * wholepixels(pic.height(), tpp)));
        const int size = pic.scaleHeight();
        const Gradient gradient(size, startcolor, endcolor);
        // Grows upwards: position 0 lands on the row just below the area.
        for (int y = 0; y <= limit; ++y)
            pic.fillRow(size - y, 0, w, gradient.at(y, channels));
    }
    return 0;
}

} // namespace progress
