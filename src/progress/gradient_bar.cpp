#include "progress/gradient_bar.h"

#include "progress/bar_accessible.h"
#include "progress/colour.h"
#include "progress/twips.h"

#include <QAccessible>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace progress {
namespace {

// The channels as the gradient reads them, so a solid bar and a gradient
// starting in the same colour look alike, negative colours too.
QRgb toRgb(std::int32_t colour)
{
    const Channels channels = splitColor(colour);
    return qRgb(channels.red, channels.green, channels.blue);
}

} // namespace

GradientBar::GradientBar(double widthTwips, double heightTwips, int twipsPerPixel, QWidget *parent)
    : QWidget(parent),
      widthTwips_(widthTwips),
      heightTwips_(heightTwips),
      twipsPerPixel_(twipsPerPixel > 0 ? twipsPerPixel : 15),
      // The workspace colour is read once so the bar never changes its look.
      background_(palette().color(QPalette::Dark).rgb())
{
    static const bool accessible = (QAccessible::installFactory(&BarAccessible::factory), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resizeToTwips();
}

void GradientBar::setPercent(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_)
        return;
    percent_ = percent;
    QAccessibleValueChangeEvent changed(this, percent_);
    QAccessible::updateAccessibility(&changed);
}

void GradientBar::resizeToTwips()
{
    const int w = std::max(0, wholePixels(widthTwips_, twipsPerPixel_));
    const int h = std::max(0, wholePixels(heightTwips_, twipsPerPixel_));
    setFixedSize(w, h);
    if (image_.width() != w || image_.height() != h) {
        image_ = QImage(w, h, QImage::Format_RGB32);
        image_.fill(background_);
    }
}

void GradientBar::setWidthInTwips(double twips)
{
    widthTwips_ = twips;
    resizeToTwips();
}

void GradientBar::setHeightInTwips(double twips)
{
    heightTwips_ = twips;
    resizeToTwips();
}

void GradientBar::clear()
{
    image_.fill(background_);
    // Every draw starts here, so one repaint request covers the whole draw.
    update();
}

void GradientBar::fillColumns(const std::int32_t *colours, int count, int yFrom, int yTo)
{
    const int columns = std::min(count, image_.width());
    const int first = std::max(yFrom, 0);
    const int last = std::min(yTo, image_.height() - 1);
    if (columns <= 0 || first > last)
        return;
    // One converted line, copied into every row.
    auto *top = reinterpret_cast<QRgb *>(image_.scanLine(first));
    std::transform(colours, colours + columns, top, toRgb);
    for (int y = first + 1; y <= last; ++y)
        std::copy_n(top, columns, reinterpret_cast<QRgb *>(image_.scanLine(y)));
}

void GradientBar::fillRow(int y, int xFrom, int xTo, std::int32_t colour)
{
    if (y < 0 || y >= image_.height())
        return;
    const int first = std::max(xFrom, 0);
    const int last = std::min(xTo, image_.width() - 1);
    if (first > last)
        return;
    auto *line = reinterpret_cast<QRgb *>(image_.scanLine(y));
    std::fill(line + first, line + last + 1, toRgb(colour));
}

void GradientBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

LabelOnBar::LabelOnBar(QLabel *label)
    : label_(label), left_(label->x()), top_(label->y()), width_(label->width())
{
}

void LabelOnBar::place()
{
    label_->setGeometry(static_cast<int>(std::lround(left_)), static_cast<int>(std::lround(top_)),
                        static_cast<int>(std::lround(width_)), label_->height());
}

void LabelOnBar::setLeft(double pixels)
{
    left_ = pixels;
    place();
}

void LabelOnBar::setTop(double pixels)
{
    top_ = pixels;
    place();
}

void LabelOnBar::setWidth(double pixels)
{
    width_ = pixels;
    place();
}

void LabelOnBar::setText(const QString &text)
{
    label_->setText(text);
}

void LabelOnBar::setTextColor(std::int32_t colour)
{
    if (colour == foreColor_)
        return;
    foreColor_ = colour;
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, QColor(toRgb(colour)));
    label_->setPalette(palette);
}

} // namespace progress
