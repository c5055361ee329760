#include "download/size_conversion.h"

#include <QTest>

using download::toSize;

class SizeConversionTest : public QObject
{
    Q_OBJECT
private slots:
    void convert_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected"); // -1: the conversion fails
        const QString c = QStringLiteral("C");
        QTest::newRow("digits") << c << "123" << qint64(123);
        QTest::newRow("blanks around") << c << " 123 " << qint64(123);
        QTest::newRow("zero") << c << "0" << qint64(0);
        QTest::newRow("negative") << c << "-5" << qint64(-5);
        QTest::newRow("above 2^31") << c << "3000000000" << qint64(3000000000);
        QTest::newRow("2^63 - 1") << c << "9223372036854775807" << qint64(9223372036854775807);
        QTest::newRow("above 2^63") << c << "9223372036854775808" << qint64(-1);
        QTest::newRow("half to even down") << c << "2.5" << qint64(2);
        QTest::newRow("half to even up") << c << "3.5" << qint64(4);
        QTest::newRow("not a number") << c << "abc" << qint64(-1);
        QTest::newRow("empty") << c << "" << qint64(-1);
        QTest::newRow("blank") << c << "  " << qint64(-1);
        QTest::newRow("trailing junk") << c << "12abc" << qint64(-1);
        QTest::newRow("comma locale") << "de_DE" << "2,5" << qint64(2);
        QTest::newRow("comma locale group") << "de_DE" << "1.234" << qint64(1234);
    }
    void convert()
    {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        QFETCH(QString, locale);
        const auto size = toSize(text, QLocale(locale));
        QCOMPARE(size.has_value(), expected != -1);
        if (size)
            QCOMPARE(*size, expected);
    }
};

QTEST_GUILESS_MAIN(SizeConversionTest)
#include "size_conversion_test.moc"
