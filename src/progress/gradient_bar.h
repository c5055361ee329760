#pragma once
// The bar's widgets: the gradient bar, which keeps its drawing in a persistent
// image and tells assistive technology the percentage it shows, and the
// label placed inside it.

#include "progress/bar_drawing.h"

#include <QImage>
#include <QLabel>
#include <QWidget>

namespace progress {

class GradientBar : public QWidget, public BarCanvas
{
    Q_OBJECT
public:
    // Outer size in twips; `twipsPerPixel` converts it to pixels.
    GradientBar(double widthTwips, double heightTwips, int twipsPerPixel, QWidget *parent = nullptr);

    // The percentage the drawing shows, 0 to 100, as assistive technology
    // reads it; a change is announced as a value change.
    int percent() const { return percent_; }
    void setPercent(int percent);

    double widthInTwips() const override { return widthTwips_; }
    double heightInTwips() const override { return heightTwips_; }
    void setWidthInTwips(double twips) override;
    void setHeightInTwips(double twips) override;
    int widthInPixels() const override { return image_.width(); }
    int heightInPixels() const override { return image_.height(); }
    void clear() override;
    void fillColumns(const std::int32_t *colours, int count, int yFrom, int yTo) override;
    void fillRow(int y, int xFrom, int xTo, std::int32_t colour) override;

    const QImage &image() const { return image_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void resizeToTwips();

    double widthTwips_;
    double heightTwips_;
    int twipsPerPixel_;
    QRgb background_;
    QImage image_;
    int percent_ = 0;
};

// Adapts a QLabel to the bar's label, keeping fractional positions.
class LabelOnBar : public BarLabel
{
public:
    explicit LabelOnBar(QLabel *label);

    double width() const override { return width_; }
    double height() const override { return label_->height(); }
    void setLeft(double pixels) override;
    void setTop(double pixels) override;
    void setWidth(double pixels) override;
    void setText(const QString &text) override;
    void setTextColor(std::int32_t colour) override;

private:
    void place();

    QLabel *label_;
    double left_;
    double top_;
    double width_;
    std::int32_t foreColor_ = -1;
};

} // namespace progress
