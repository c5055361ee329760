#include "progress/colour.h"
#include "progress/drawprogress.h"

#include <QTest>
#include <vector>

using namespace progress;

namespace {

constexpr int kTpp = 15;
constexpr std::int32_t kBackground = -2;

// A plain pixel buffer whose drawing area follows its outer size.
class Buffer : public PictureArea
{
public:
    Buffer(double w, double h, int tpp = kTpp) : w_(w), h_(h), tpp_(tpp) { cls(); }
    double width() const override { return w_; }
    double height() const override { return h_; }
    // Like a picture box, a resized area starts out blank.
    void setWidth(double t) override { w_ = t; blank(); }
    void setHeight(double t) override { h_ = t; blank(); }
    int scaleWidth() const override { return wholepixels(w_, tpp_); }
    int scaleHeight() const override { return wholepixels(h_, tpp_); }
    void cls() override
    {
        ++clears;
        blank();
    }
    void blank() { pixels.assign(size_t(scaleWidth()) * scaleHeight(), kBackground); }
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
    std::int32_t at(int x, int y) const { return pixels[size_t(y) * scaleWidth() + x]; }
    int paintedColumns() const
    {
        int n = 0;
        while (n < scaleWidth() && at(n, 0) != kBackground)
            ++n;
        return n;
    }
    int clears = 0;
    std::vector<std::int32_t> pixels;

private:
    void set(int x, int y, std::int32_t c)
    {
        if (x >= 0 && y >= 0 && x < scaleWidth() && y < scaleHeight())
            pixels[size_t(y) * scaleWidth() + x] = c;
    }
    double w_, h_;
    int tpp_;
};

struct Label : BarLabel
{
    double width() const override { return w; }
    double height() const override { return 17; }
    void setLeft(double p) override { left = p; }
    void setTop(double p) override { top = p; }
    void setWidth(double p) override { w = p; }
    void setCaption(const QString &c) override { caption = c; }
    void setForeColor(std::int32_t c) override { fore = c; }
    double left = 0, top = 0, w = 33;
    QString caption = QStringLiteral("old");
    std::int32_t fore = 0;
};

} // namespace

class DrawProgressTest : public QObject
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
        QTest::newRow("0 paints one column") << 0 << 4215.0 << 1 << "0%" << false;
        QTest::newRow("50 of 201 ties to even") << 50 << 3015.0 << 101 << "50%" << true;
        QTest::newRow("small raised to 201") << 7 << 300.0 << 15 << "7%" << false;
        QTest::newRow("48 low colour") << 48 << 4215.0 << 136 << "48%" << false;
        QTest::newRow("49 high colour") << 49 << 4215.0 << 139 << "49%" << true;
        QTest::newRow("100 full") << 100 << 4215.0 << 281 << "100%" << true;
        QTest::newRow("255 counts as 100") << 255 << 4215.0 << 281 << "100%" << true;
    }
    void horizontalFill()
    {
        QFETCH(int, percent);
        QFETCH(double, widthTwips);
        Buffer pic(widthTwips, 375);
        Label lbl;
        QCOMPARE(drawprogress(std::uint8_t(percent), pic, lbl, true, true, 111, 222, 65280, 6579300, kTpp), 0);
        QCOMPARE(pic.width(), std::max(widthTwips, kHorizontalMinWidth));
        QFETCH(int, columns);
        QCOMPARE(pic.paintedColumns(), columns);
        QFETCH(QString, caption);
        QCOMPARE(lbl.caption, caption);
        QFETCH(bool, high);
        QCOMPARE(lbl.fore, high ? 111 : 222);
        QCOMPARE(pic.at(0, 0), 65280);
        QCOMPARE(pic.at(0, pic.scaleHeight() - 1), 65280);
    }

    void limitRoundsInDoublePrecision()
    {
        // At 20 twips a pixel the bar is 150 pixels; 7 % of it evaluates to
        // 10.500000000000002, so the limit is 11 and columns 0 to 11 are painted.
        Buffer pic(3015, 375, 20);
        Label lbl;
        drawprogress(7, pic, lbl, true, true, 1, 2, 65280, 6579300, 20);
        QCOMPARE(pic.scaleWidth(), 150);
        QCOMPARE(pic.paintedColumns(), 12);
        // Vertical: rows ScaleHeight - 0 (outside) up to ScaleHeight - 11.
        Buffer tall(495, 3015, 20);
        drawprogress(7, tall, lbl, true, false, 1, 2, 65280, 6579300, 20);
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
        Buffer pic(300, 200);
        Label lbl;
        lbl.left = 7; // the draw sets both
        lbl.w = 50;
        drawprogress(std::uint8_t(percent), pic, lbl, false, false, 111, 222, 65280, 6579300, kTpp);
        QCOMPARE(pic.width(), kVerticalMinWidth);
        QCOMPARE(pic.height(), kVerticalMinHeight);
        QFETCH(bool, high);
        QCOMPARE(lbl.fore, high ? 111 : 222);
        QCOMPARE(lbl.caption, QStringLiteral("old")); // caption off
        QCOMPARE(lbl.left, 0.0);
        QCOMPARE(lbl.w, 33.0);
        QCOMPARE(lbl.top, 3015.0 / 2 / kTpp - 17.0 / 2);
    }

    void verticalZeroPaintsOnlyBelowTheArea()
    {
        Buffer pic(495, 3015);
        Label lbl;
        drawprogress(0, pic, lbl, true, false, 1, 2, 65280, 6579300, kTpp);
        QVERIFY(std::all_of(pic.pixels.begin(), pic.pixels.end(), [](auto c) { return c == kBackground; }));
    }

    void sizesAndLabelPlacement()
    {
        Buffer small(300, 200);
        Label lbl;
        drawprogress(0, small, lbl, true, true, 1, 2, 3, 4, kTpp);
        QCOMPARE(small.width(), 3015.0);
        QCOMPARE(small.height(), 255.0);
        Buffer big(4000, 400);
        drawprogress(0, big, lbl, true, true, 1, 2, 3, 4, kTpp);
        QCOMPARE(big.width(), 4000.0);
        QCOMPARE(lbl.left, 4000.0 / 2 / kTpp - 33.0 / 4); // a quarter, not a half
        QCOMPARE(lbl.top, 400.0 / 2 / kTpp - 17.0 / 2);
        drawprogress(0, big, lbl, true, false, 1, 2, 3, 4, kTpp);
        QCOMPARE(big.width(), 4000.0);
        QCOMPARE(big.height(), 3015.0);
    }

    void gradientColours()
    {
        const Gradient bar(197, 65280, 6579300);
        Channels channels;
        for (int i = 0; i < 100; ++i)
            bar.at(i, channels);
        QCOMPARE(bar.at(100, channels), 50 + 205 * 256 + 50 * 65536);
        // Brindle's own bar, 281 pixels: the slope is end / (S + 5), which
        // column 10 tells apart from a slope over S + 4, (4, 251, 4).
        const Gradient window(281, 65280, 6579300);
        Channels fromStart;
        for (int i = 0; i < 10; ++i)
            window.at(i, fromStart);
        QCOMPARE(window.at(10, fromStart), 3 + 252 * 256 + 3 * 65536);
        // Equal colours give a solid bar.
        Channels solid;
        QCOMPARE(Gradient(197, 123456, 123456).at(77, solid), 123456);
        // Red climbs from 200 by 250/(S+5) until it would pass 255, then
        // keeps the last value in range, whatever that was.
        const Gradient red(195, 200, 250);
        Channels climbing;
        std::int32_t last = 0;
        for (int i = 0; i <= 200; ++i)
            last = red.at(i, climbing);
        QCOMPARE(last & 255, 255);
        Channels fresh;
        QCOMPARE(red.at(45, fresh) & 255, 0);
    }

    void derivedTextColours()
    {
        Buffer pic(4215, 375);
        Label lbl;
        drawprogress(60, pic, lbl, true, true, -1, -1, 65280, 6579300, kTpp);
        QCOMPARE(lbl.fore, 16711935);
        drawprogress(10, pic, lbl, true, true, -1, -1, 65280, 6579300, kTpp);
        QCOMPARE(lbl.fore, 10197915);
    }

    void overflowingInversionDrawsNothing()
    {
        QVERIFY(!invertcolor(-2130706433));
        QCOMPARE(invertcolor(-2130706432), std::optional<std::int32_t>(INT32_MAX));
        Buffer pic(4215, 375);
        Label lbl;
        const int clears = pic.clears;
        QCOMPARE(drawprogress(50, pic, lbl, true, true, -1, 1, -2130706433, 0, kTpp), -1);
        QCOMPARE(pic.clears, clears);
        QCOMPARE(lbl.caption, QStringLiteral("old"));
    }

    void splitsNegativeColours()
    {
        const Channels c = splitcolor(-1);
        QCOMPARE(int(c.red), 255);
        QCOMPARE(int(c.green), 0); // -1 / 256 truncates to 0
        QCOMPARE(int(splitcolor(-65536).blue), 255);
    }
};

QTEST_GUILESS_MAIN(DrawProgressTest)
#include "drawprogress_test.moc"
