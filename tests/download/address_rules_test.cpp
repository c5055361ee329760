#include "download/address_rules.h"
#include "support/helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace download;

class AddressRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void rightfilenameTable_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("path") << "http://host/dir/file.zip" << "file.zip";
        QTest::newRow("query kept") << "http://host/file.zip?id=3" << "file.zip?id=3";
        QTest::newRow("slash in query") << "http://host/get?f=a/b.zip" << "b.zip";
        QTest::newRow("host only") << "http://host" << "host";
        QTest::newRow("trailing slash") << "http://host/dir/" << "";
        QTest::newRow("bare prefix") << "http://" << "";
        QTest::newRow("no slash") << "file.zip" << "file.zip";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("backslash is ordinary") << "http://h/a\\b#c:d" << "a\\b#c:d";
    }
    void rightfilenameTable()
    {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        QCOMPARE(rightfilename(url), expected);
    }

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
    // wget on each address and find the file by the rule.
    void wgetfilenameMatchesWget_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::newRow("plain") << "f.bin";
        QTest::newRow("space") << "a%20b.zip";
        QTest::newRow("utf-8") << "d%C3%A9.bin";
        QTest::newRow("question mark") << "q%3Fx";
        QTest::newRow("percent") << "p%25y";
        QTest::newRow("double escape") << "a%2520b";
        QTest::newRow("slash") << "s%2Ft";
        QTest::newRow("control") << "c%01d";
        QTest::newRow("tab") << "t%09u";
        QTest::newRow("query") << "f.zip?id=3";
        QTest::newRow("slash in query") << "get?f=a/b.zip";
        QTest::newRow("escaped query") << "g?k=%3F%25";
        QTest::newRow("fragment") << "f.zip#part";
    }
    void wgetfilenameMatchesWget()
    {
        QFETCH(QString, tail);
        testing::Sandbox sandbox;
        testing::TestServer server(sandbox.work());
        const QString url = server.url(QStringLiteral("/x/gen=10/") + tail);
        QCOMPARE(QProcess::execute(QStringLiteral("wget"), {QStringLiteral("-q"), QStringLiteral("-c"), url}), 0);
        const QStringList written = QDir().entryList(QDir::Files);
        QCOMPARE(written.size(), 1);
        QCOMPARE(wgetfilename(url), written.first());
    }

    void wgetfilenameWithoutFile()
    {
        QCOMPARE(wgetfilename(QStringLiteral("http://host/dir/")), QString());
        QCOMPARE(wgetfilename(QStringLiteral("http://")), QString());
    }
};

QTEST_GUILESS_MAIN(AddressRulesTest)
#include "address_rules_test.moc"
