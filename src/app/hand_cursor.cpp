#include "app/hand_cursor.h"

#include <QBitmap>
#include <QPainter>

namespace app {
namespace {

// 'X' black, 'o' white, anything else transparent; the tip of the finger is
// the hot spot.
constexpr const char *kHand[] = {
    "      XX",
    "     XooX",
    "     XooX",
    "     XooX",
    "     XooX",
    "     XooXXX",
    "     XooXooXXX",
    "     XooXooXooXX",
    " XX  XooXooXooXoX",
    "XooX XooooooooXooX",
    "XoooXXoooooooooooX",
    " XoooXoooooooooooX",
    "  XooXoooooooooooX",
    "  XoooooooooooooX",
    "   XooooooooooooX",
    "   XoooooooooooX",
    "    XooooooooooX",
    "    XoooooooooX",
    "     XooooooooX",
    "     XXXXXXXXXX",
};
constexpr int kSize = 32;

} // namespace

QCursor handCursor()
{
    QBitmap shape(kSize, kSize);
    QBitmap mask(kSize, kSize);
    shape.fill(Qt::color0);
    mask.fill(Qt::color0);
    {
        QPainter shapePainter(&shape);
        QPainter maskPainter(&mask);
        shapePainter.setPen(Qt::color1);
        maskPainter.setPen(Qt::color1);
        int row = 0;
        for (const char *line : kHand) {
            for (int column = 0; line[column] != '\0' && column < kSize; ++column) {
                if (line[column] == 'X' || line[column] == 'o')
                    maskPainter.drawPoint(column, row);
                if (line[column] == 'X')
                    shapePainter.drawPoint(column, row);
            }
            ++row;
        }
    }
    return QCursor(shape, mask, 6, 0);
}

} // namespace app
