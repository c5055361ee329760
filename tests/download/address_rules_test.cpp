#include "download/address_rules.h"
#include "platform/file_length.h"
#include "support/helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <unistd.h>

using namespace download;

class AddressRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void prefixAndAcceptance_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keepsText");
        QTest::addColumn<bool>("isAccepted");
        QTest::newRow("address") << "http://host/f.zip" << true << true;
        QTest::newRow("bare prefix") << "http://" << true << false;
        QTest::newRow("one slash deleted") << "http:/host/f.zip" << false << false;
        QTest::newRow("https") << "https://host/f.zip" << false << false;
        QTest::newRow("upper case") << "HTTP://host/f.zip" << false << false;
        QTest::newRow("leading blank") << " http://host/f.zip" << false << false;
        QTest::newRow("one letter") << "x" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("blank after prefix") << "http:// " << true << true;
    }
    void prefixAndAcceptance()
    {
        QFETCH(QString, text);
        QFETCH(bool, keepsText);
        const auto replacement = prefixrule(text);
        QCOMPARE(!replacement.has_value(), keepsText);
        if (replacement) // the replacement itself passes, so the rule stops there
            QVERIFY(!prefixrule(*replacement));
        QFETCH(bool, isAccepted);
        QCOMPARE(accepted(text), isAccepted);
    }

    // The display must look for the very name wget writes: run the real
    // wget on each address and find the file by the rule, byte for byte.
    void wgetfilenameMatchesWget_data()
    {
        QTest::addColumn<QString>("path"); // after http://127.0.0.1:port
        const QString gen = QStringLiteral("/x/gen=10/");
        QTest::newRow("plain") << gen + "f.bin";
        QTest::newRow("space") << gen + "a%20b.zip";
        QTest::newRow("utf-8") << gen + "d%C3%A9.bin";
        QTest::newRow("latin-1 bytes") << gen + "%E9t%E9.bin";
        QTest::newRow("question mark") << gen + "q%3Fx";
        QTest::newRow("percent") << gen + "p%25y";
        QTest::newRow("double escape") << gen + "a%2520b";
        QTest::newRow("slash") << gen + "s%2Ft";
        QTest::newRow("control") << gen + "c%01d";
        QTest::newRow("tab") << gen + "t%09u";
        QTest::newRow("query") << gen + "f.zip?id=3";
        QTest::newRow("slash in query") << gen + "get?f=a/b.zip";
        QTest::newRow("escaped query") << gen + "g?k=%3F%25";
        QTest::newRow("fragment") << gen + "f.zip#part";
        QTest::newRow("300-byte name") << gen + QString(300, QLatin1Char('n'));
        QTest::newRow("long signed query") << gen + "x.bin?X-Signature=" + QString(400, QLatin1Char('s'));
        QTest::newRow("cut inside a character") << gen + QString(235, QLatin1Char('u')) + "%C3%A9.bin";
        QTest::newRow("folder") << gen + "dir/";
        QTest::newRow("folder with query") << gen + "dir/?k=v";
        QTest::newRow("no path") << "";
        QTest::newRow("no path, query") << "?k=v";
    }
    void wgetfilenameMatchesWget()
    {
        QFETCH(QString, path);
        testing::Sandbox sandbox;
        QTemporaryDir site; // its index.html answers the addresses without a path
        testing::makeFile(site.filePath(QStringLiteral("index.html")), 10);
        testing::TestServer server(site.path());
        const QString url = server.url(path);
        QCOMPARE(QProcess::execute(QStringLiteral("wget"), {QStringLiteral("-q"), QStringLiteral("-c"), url}), 0);
        const QByteArray folder = platform::workingDirectory();
        const QList<QByteArray> written = testing::namesIn(folder);
        QCOMPARE(written.size(), 1);
        const QByteArray name = wgetfilename(url, platform::longestName(folder));
        const auto length = platform::fileLength(folder + '/' + name);
        // Qt cannot remove a name that is not UTF-8.
        ::unlink((folder + '/' + written.first()).constData());
        QCOMPARE(name, written.first());
        QCOMPARE(length, std::optional<qint64>(10));
    }

    void noHostNamesNoFile()
    {
        QCOMPARE(wgetfilename(QStringLiteral("http://"), 255), QByteArray());
        QCOMPARE(wgetfilename(QStringLiteral("http:///f.bin"), 255), QByteArray());
    }
};

QTEST_GUILESS_MAIN(AddressRulesTest)
#include "address_rules_test.moc"
