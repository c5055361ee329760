#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "platform/files_on_disk.h"
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
        const auto replacement = prefixRule(text);
        QCOMPARE(!replacement.has_value(), keepsText);
        if (replacement) // the replacement itself passes, so the rule stops there
            QVERIFY(!prefixRule(*replacement));
        QFETCH(bool, isAccepted);
        QCOMPARE(accepted(text), isAccepted);
    }

    // Only an address with a password leaves the command line.
    void passwordIsFound_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("password");
        QTest::newRow("user and password") << "http://alice:secret@h/f" << true;
        QTest::newRow("@ in the password") << "http://alice:s@c@h/f" << true;
        QTest::newRow("empty password") << "http://alice:@h:8080/f" << true;
        QTest::newRow("user alone") << "http://alice@h:8080/f" << false;
        QTest::newRow("port") << "http://h:8080/f" << false;
        QTest::newRow("@ in the path") << "http://h:80/a:b@c" << false;
        QTest::newRow("@ in the query") << "http://h?u=a:b@c" << false;
        QTest::newRow("@ in the fragment") << "http://h#a:b@c" << false;
    }
    void passwordIsFound()
    {
        QFETCH(QString, address);
        QFETCH(bool, password);
        QCOMPARE(holdsPassword(address), password);
    }

    // The display must look for the very name wget writes: run the real
    // wget on each address, as Brindle hands it over, and find the file by
    // the rule, byte for byte.
    void wgetFileNameMatchesWget_data()
    {
        QTest::addColumn<QString>("path"); // after http://127.0.0.1:port
        QTest::addColumn<bool>("withPassword");
        const QString gen = QStringLiteral("/x/gen=10/");
        QTest::newRow("password") << gen + "f.bin" << true;
        QTest::newRow("password, raw blank and tab") << gen + "a b\tc.zip?k= v" << true;
        QTest::newRow("password, escapes") << gen + "%E9t%E9%20x.bin" << true;
        QTest::newRow("password, no path") << "" << true;
        QTest::newRow("plain") << gen + "f.bin" << false;
        QTest::newRow("space") << gen + "a%20b.zip" << false;
        QTest::newRow("utf-8") << gen + "d%C3%A9.bin" << false;
        QTest::newRow("latin-1 bytes") << gen + "%E9t%E9.bin" << false;
        QTest::newRow("question mark") << gen + "q%3Fx" << false;
        QTest::newRow("percent") << gen + "p%25y" << false;
        QTest::newRow("double escape") << gen + "a%2520b" << false;
        QTest::newRow("slash") << gen + "s%2Ft" << false;
        QTest::newRow("control") << gen + "c%01d" << false;
        QTest::newRow("tab") << gen + "t%09u" << false;
        QTest::newRow("query") << gen + "f.zip?id=3" << false;
        QTest::newRow("slash in query") << gen + "get?f=a/b.zip" << false;
        QTest::newRow("escaped query") << gen + "g?k=%3F%25" << false;
        QTest::newRow("fragment") << gen + "f.zip#part" << false;
        QTest::newRow("300-byte name") << gen + QString(300, QLatin1Char('n')) << false;
        QTest::newRow("long signed query") << gen + "x.bin?X-Signature=" + QString(400, QLatin1Char('s')) << false;
        QTest::newRow("cut inside a character") << gen + QString(235, QLatin1Char('u')) + "%C3%A9.bin" << false;
        QTest::newRow("folder") << gen + "dir/" << false;
        QTest::newRow("folder with query") << gen + "dir/?k=v" << false;
        QTest::newRow("no path") << "" << false;
        QTest::newRow("no path, query") << "?k=v" << false;
        QTest::newRow("dot-dot") << gen + "dir/.." << false;
        QTest::newRow("dot") << gen + "dir/." << false;
        QTest::newRow("dot-dot, query") << gen + "dir/..?k=v" << false;
        QTest::newRow("escaped dot-dot") << gen + "%2e%2e" << false;
        QTest::newRow("escaped dot") << gen + "dir/%2E" << false;
        QTest::newRow("half-escaped dot-dot") << gen + ".%2e" << false;
        QTest::newRow("double-escaped dot-dot") << gen + "%252e%252e" << false;
        QTest::newRow("escaped dot, query") << gen + "dir/%2E?k=v" << false;
        QTest::newRow("escaped dot-dot, query") << gen + "%2e%2e?k=v" << false;
        QTest::newRow("three dots") << gen + "..." << false;
        QTest::newRow("password, dot-dot") << gen + "dir/.." << true;
    }
    void wgetFileNameMatchesWget()
    {
        QFETCH(QString, path);
        QFETCH(bool, withPassword);
        testing::Sandbox sandbox;
        QTemporaryDir site; // its index.html answers the addresses without a path
        testing::makeFile(site.filePath(QStringLiteral("index.html")), 10);
        testing::TestServer server(site.path());
        QString url = server.url(path);
        if (withPassword)
            url.insert(QStringLiteral("http://").size(), QStringLiteral("alice:secret@"));
        const DownloaderCall call = wgetCall(url);
        QProcess wget;
        wget.start(QStringLiteral("wget"), QStringList{QStringLiteral("-q")} + call.arguments);
        wget.write(call.input.value_or(QByteArray()));
        wget.closeWriteChannel();
        QVERIFY(wget.waitForFinished());
        const QByteArray folder = platform::workingDirectory();
        const QList<QByteArray> written = testing::namesIn(folder);
        const QByteArray name = wgetFileName(url, platform::longestName(folder));
        if (written.isEmpty()) { // wget could write nothing, as for the folder "."
            QCOMPARE(name, QByteArray());
            return;
        }
        QCOMPARE(wget.exitCode(), 0);
        QCOMPARE(written.size(), 1);
        const auto length = platform::lengthOnDisk(folder + '/' + name);
        // Qt cannot remove a name that is not UTF-8.
        ::unlink((folder + '/' + written.first()).constData());
        QCOMPARE(name, written.first());
        QCOMPARE(length, std::optional<qint64>(10));
    }

    void noHostNamesNoFile()
    {
        QCOMPARE(wgetFileName(QStringLiteral("http://"), 255), QByteArray());
        QCOMPARE(wgetFileName(QStringLiteral("http:///f.bin"), 255), QByteArray());
    }
};

QTEST_GUILESS_MAIN(AddressRulesTest)
#include "address_rules_test.moc"
