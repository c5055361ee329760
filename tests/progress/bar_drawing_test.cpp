#include "progress/colour.h"
#include "progress/bar_drawing.h"
#include "progress/gradient_bar.h"
#include "progress/twips.h"

#include <QTest>
#include <vector>

using namespace progress;

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr std::int32_t kBackground = -2;

// A plain pixel buffer whose drawing area follows its outer size.
class Buffer : public BarCanvas
{
public:
    Buffer(double w, double h, int twipsPerPixel = kTwipsPerPixel) : w_(w), h_(h), twipsPerPixel_(twipsPerPixel) { clear(); }
    double widthInTwips() const override { return w_; }
    double heightInTwips() const override { return h_; }
    // Like the bar widget, a resized area starts out blank.
    void setWidthInTwips(double t) override { w_ = t; blank(); }
    void setHeightInTwips(double t) override { h_ = t; blank(); }
    int widthInPixels() const override { return wholePixels(w_, twipsPerPixel_); }
    int heightInPixels() const override { return wholePixels(h_, twipsPerPixel_); }
    void clear() override
    {
        ++clears;
        blank();
    }
    void blank() { pixels.assign(size_t(widthInPixels()) * heightInPixels(), kBackground); }
    void fillColumns(const std::int32_t *c, int count, int y0, int y1) override
    {
        for (int x = 0; x < count; ++x)
            for (int y = y0; y <= y1; ++y)
                set(x, y, c[x]);
    }
    void fillRow(int y, int x0, int x1, std::int32_t c) override
    {
        for (int x = x0; x <= x1; ++x)
            set(x, y, c);
    }
    std::int32_t at(int x, int y) const { return pixels[size_t(y) * widthInPixels() + x]; }
    int paintedColumns() const
    {
        int n = 0;
        while (n < widthInPixels() && at(n, 0) != kBackground)
            ++n;
        return n;
    }
    int clears = 0;
    std::vector<std::int32_t> pixels;

private:
    void set(int x, int y, std::int32_t c)
    {
        if (x >= 0 && y >= 0 && x < widthInPixels() && y < heightInPixels())
            pixels[size_t(y) * widthInPixels() + x] = c;
    }
    double w_, h_;
    int twipsPerPixel_;
};

struct Label : BarLabel
{
    double width() const override { return w; }
    double height() const override { return 17; }
    void setLeft(double p) override { left = p; }
    void setTop(double p) override { top = p; }
    void setWidth(double p) override { w = p; }
    void setText(const QString &c) override { caption = c; }
    void setTextColor(std::int32_t c) override { fore = c; }
    double left = 0, top = 0, w = 33;
    QString caption = QStringLiteral("old");
    std::int32_t fore = 0;
};

} // namespace

class BarDrawingTest : public QObject
{
    Q_OBJECT
private slots:
    // Filled columns and text colour of the horizontal bar.
    void horizontalFill_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("widthTwips");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("high");
        QTest::addColumn<QString>("locale"); // the caption's
        QTest::newRow("0 paints one column") << 0 << 4215.0 << 1 << "0%" << false << "C";
        QTest::newRow("50 of 201 ties to even") << 50 << 3015.0 << 101 << "50%" << true << "C";
        QTest::newRow("small raised to 201") << 7 << 300.0 << 15 << "7%" << false << "C";
        QTest::newRow("48 low colour") << 48 << 4215.0 << 136 << "48%" << false << "C";
        QTest::newRow("49 high colour") << 49 << 4215.0 << 139 << "49%" << true << "C";
        QTest::newRow("100 full") << 100 << 4215.0 << 281 << "100%" << true << "C";
        QTest::newRow("255 counts as 100") << 255 << 4215.0 << 281 << "100%" << true << "C";
        QTest::newRow("75 in Arabic digits") << 75 << 4215.0 << 212 << QString::fromUtf8("٧٥٪؜") << true << "ar_EG";
    }
    void horizontalFill()
    {
        QFETCH(int, percent);
        QFETCH(double, widthTwips);
        Buffer canvas(widthTwips, 375);
        Label label;
        QFETCH(QString, locale);
        QCOMPARE(drawProgress(std::uint8_t(percent), canvas, label, true, true, 111, 222, 65280, 6579300, kTwipsPerPixel,
                              QLocale(locale)),
                 0);
        QCOMPARE(canvas.widthInTwips(), std::max(widthTwips, kHorizontalMinWidth));
        QFETCH(int, columns);
        QCOMPARE(canvas.paintedColumns(), columns);
        QFETCH(QString, caption);
        QCOMPARE(label.caption, caption);
        QFETCH(bool, high);
        QCOMPARE(label.fore, high ? 111 : 222);
        QCOMPARE(canvas.at(0, 0), 65280);
        QCOMPARE(canvas.at(0, canvas.heightInPixels() - 1), 65280);
    }

    void limitRoundsInDoublePrecision()
    {
        // At 20 twips a pixel the bar is 150 pixels; 7 % of it evaluates to
        // 10.500000000000002, so the limit is 11 and columns 0 to 11 are painted.
        Buffer canvas(3015, 375, 20);
        Label label;
        drawProgress(7, canvas, label, true, true, 1, 2, 65280, 6579300, 20);
        QCOMPARE(canvas.widthInPixels(), 150);
        QCOMPARE(canvas.paintedColumns(), 12);
        // Vertical, counted from the bottom: rows height - 0 (outside) up to
        // height - 11.
        Buffer tall(495, 3015, 20);
        drawProgress(7, tall, label, true, false, 1, 2, 65280, 6579300, 20);
        QVERIFY(tall.at(0, 150 - 11) != kBackground);
        QCOMPARE(tall.at(0, 150 - 12), kBackground);
    }

    void verticalThresholdsAndLabel_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("high");
        QTest::newRow("46") << 46 << false;
        QTest::newRow("47") << 47 << true;
    }
    void verticalThresholdsAndLabel()
    {
        QFETCH(int, percent);
        Buffer canvas(300, 200);
        Label label;
        label.left = 7; // the draw sets both
        label.w = 50;
        drawProgress(std::uint8_t(percent), canvas, label, false, false, 111, 222, 65280, 6579300, kTwipsPerPixel);
        QCOMPARE(canvas.widthInTwips(), kVerticalMinWidth);
        QCOMPARE(canvas.heightInTwips(), kVerticalMinHeight);
        QFETCH(bool, high);
        QCOMPARE(label.fore, high ? 111 : 222);
        QCOMPARE(label.caption, QStringLiteral("old")); // caption off
        QCOMPARE(label.left, 0.0);
        QCOMPARE(label.w, 33.0);
        QCOMPARE(label.top, 3015.0 / 2 / kTwipsPerPixel - 17.0 / 2);
    }

    void verticalZeroPaintsOnlyBelowTheArea()
    {
        Buffer canvas(495, 3015);
        Label label;
        drawProgress(0, canvas, label, true, false, 1, 2, 65280, 6579300, kTwipsPerPixel);
        QVERIFY(std::all_of(canvas.pixels.begin(), canvas.pixels.end(), [](auto c) { return c == kBackground; }));
    }

    void sizesAndLabelPlacement()
    {
        Buffer small(300, 200);
        Label label;
        drawProgress(0, small, label, true, true, 1, 2, 3, 4, kTwipsPerPixel);
        QCOMPARE(small.widthInTwips(), 3015.0);
        QCOMPARE(small.heightInTwips(), 255.0);
        Buffer big(4000, 400);
        drawProgress(0, big, label, true, true, 1, 2, 3, 4, kTwipsPerPixel);
        QCOMPARE(big.widthInTwips(), 4000.0);
        QCOMPARE(label.left, 4000.0 / 2 / kTwipsPerPixel - 33.0 / 4); // a quarter, not a half
        QCOMPARE(label.top, 400.0 / 2 / kTwipsPerPixel - 17.0 / 2);
        drawProgress(0, big, label, true, false, 1, 2, 3, 4, kTwipsPerPixel);
        QCOMPARE(big.widthInTwips(), 4000.0);
        QCOMPARE(big.heightInTwips(), 3015.0);
    }

    void gradientColours()
    {
        Gradient bar(197, 65280, 6579300);
        for (int i = 0; i < 100; ++i)
            bar.advanceTo(i);
        QCOMPARE(bar.advanceTo(100), 50 + 205 * 256 + 50 * 65536);
        // Brindle's own bar, 281 pixels: the slope is end / (S + 5), which
        // column 10 tells apart from a slope over S + 4, (4, 251, 4).
        Gradient window(281, 65280, 6579300);
        for (int i = 0; i < 10; ++i)
            window.advanceTo(i);
        QCOMPARE(window.advanceTo(10), 3 + 252 * 256 + 3 * 65536);
        // Equal colours give a solid bar.
        QCOMPARE(Gradient(197, 123456, 123456).advanceTo(77), 123456);
        // Red climbs from 200 by 250/(S+5) until it would pass 255, then
        // keeps the last value in range, whatever that was.
        Gradient red(195, 200, 250);
        std::int32_t last = 0;
        for (int i = 0; i <= 200; ++i)
            last = red.advanceTo(i);
        QCOMPARE(last & 255, 255);
        QCOMPARE(Gradient(195, 200, 250).advanceTo(45) & 255, 0);
    }

    void derivedTextColours()
    {
        Buffer canvas(4215, 375);
        Label label;
        drawProgress(60, canvas, label, true, true, -1, -1, 65280, 6579300, kTwipsPerPixel);
        QCOMPARE(label.fore, 16711935);
        drawProgress(10, canvas, label, true, true, -1, -1, 65280, 6579300, kTwipsPerPixel);
        QCOMPARE(label.fore, 10197915);
    }

    void overflowingInversionDrawsNothing()
    {
        QVERIFY(!invertColor(-2130706433));
        QCOMPARE(invertColor(-2130706432), std::optional<std::int32_t>(INT32_MAX));
        Buffer canvas(4215, 375);
        Label label;
        const int clears = canvas.clears;
        QCOMPARE(drawProgress(50, canvas, label, true, true, -1, 1, -2130706433, 0, kTwipsPerPixel), -1);
        QCOMPARE(canvas.clears, clears);
        QCOMPARE(label.caption, QStringLiteral("old"));
    }

    void splitsNegativeColours()
    {
        const Channels c = splitColor(-1);
        QCOMPARE(int(c.red), 255);
        QCOMPARE(int(c.green), 0); // -1 / 256 truncates to 0
        QCOMPARE(int(splitColor(-65536).blue), 255);
    }

    // The widget paints a packed colour with the channels the gradient reads
    // from it: a solid bar and a gradient starting in the same colour begin
    // in the same pixel, negative colours too.
    void widgetPaintsTheGradientsChannels_data()
    {
        QTest::addColumn<std::int32_t>("colour");
        QTest::newRow("green") << std::int32_t{65280};
        QTest::newRow("-1") << std::int32_t{-1};
        QTest::newRow("-256") << std::int32_t{-256};
    }
    void widgetPaintsTheGradientsChannels()
    {
        QFETCH(std::int32_t, colour);
        Label label;
        GradientBar solid(4215, 375, kTwipsPerPixel);
        QCOMPARE(drawProgress(100, solid, label, true, true, 1, 2, colour, colour, kTwipsPerPixel), 0);
        GradientBar fading(4215, 375, kTwipsPerPixel);
        QCOMPARE(drawProgress(100, fading, label, true, true, 1, 2, colour, 6579300, kTwipsPerPixel), 0);
        QCOMPARE(fading.image().pixel(0, 0), solid.image().pixel(0, 0));
    }
};

QTEST_MAIN(BarDrawingTest)
#include "bar_drawing_test.moc"
