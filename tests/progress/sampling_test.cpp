#include "progress/sampling.h"

#include <QTest>

using namespace progress;

namespace {
constexpr qint64 kMB = 1024 * 1024;
}

class SamplingTest : public QObject
{
    Q_OBJECT
private slots:
    void tick_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<qint64>("length"); // -1: the file cannot be measured
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("percent");
        const QString c = QStringLiteral("C");
        QTest::newRow("before any download") << c << qint64(0) << qint64(-1) << "0" << "prev" << 0;
        QTest::newRow("under 5243 bytes shows 0") << c << qint64(5242) << qint64(5242) << "0" << "0" << 0;
        QTest::newRow("three quarters") << c << 2 * kMB << 3 * kMB / 2 << "2" << "1.5" << 75;
        QTest::newRow("a third") << c << 3 * kMB << kMB << "3" << "1" << 33;
        QTest::newRow("62.5 ties to even") << c << 8 * kMB << 5 * kMB << "8" << "5" << 62;
        QTest::newRow("bigger than total caps") << c << kMB << 3 * kMB << "1" << "3" << 100;
        QTest::newRow("missing file keeps caption") << c << 4 * kMB << qint64(-1) << "4" << "prev" << 0;
        QTest::newRow("above 4 GiB") << c << 5000 * kMB << 2500 * kMB << "5000" << "2500" << 50;
        QTest::newRow("two decimals") << c << qint64(1234567) << qint64(0) << "1.18" << "0" << 0;
        QTest::newRow("no group separator") << "en_US" << 12345 * kMB << 6000 * kMB << "12345" << "6000" << 49;
        QTest::newRow("comma locale") << "de_DE" << 7 * kMB / 2 << 5 * kMB / 4 << "3,5" << "1,25" << 36;
        QTest::newRow("comma locale under 1 MB") << "de_DE" << kMB / 2 << kMB / 4 << "0,5" << "0,25" << 50;
        QTest::newRow("negative size") << c << qint64(-5) << qint64(-1) << "0" << "prev" << 0;
    }
    void tick()
    {
        QFETCH(qint64, length);
        QFETCH(qint64, totalBytes);
        QFETCH(QString, locale);
        const auto result = sampleTick(totalBytes,
                                       length < 0 ? std::nullopt : std::optional<qint64>(length),
                                       QStringLiteral("prev"), QLocale(locale));
        QFETCH(QString, total);
        QCOMPARE(result.total, total);
        QFETCH(QString, current);
        QCOMPARE(result.current, current);
        QFETCH(int, percent);
        QCOMPARE(result.percent, std::optional<std::uint8_t>(percent));
    }

    void roundingAndText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("half") << 1.5 << "1.5";
        QTest::newRow("two places") << 12.344 << "12.34";
        QTest::newRow("half to even") << 0.125 << "0.12";
        QTest::newRow("negative zero") << -0.001 << "0";
        QTest::newRow("large") << 8796093022207.99 << "8796093022207.99";
    }
    void roundingAndText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(textOfDouble(roundToHundredths(value), QLocale::c()), text);
    }
};

QTEST_GUILESS_MAIN(SamplingTest)
#include "sampling_test.moc"
