#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "platform/files_on_disk.h"
#include "platform/http_probe.h"
#include "support/helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <langinfo.h>
#include <locale.h>
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
        QCOMPARE(!prefixRule(text).has_value(), keepsText);
        QFETCH(bool, isAccepted);
        QCOMPARE(accepted(text), isAccepted);
    }

    // Only an address with a password leaves the command line, and what is
    // shown of an address (the log) never holds the password.
    void passwordIsFound_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("password");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("origin"); // the file's attribute
        QTest::newRow("user and password") << "http://alice:secret@h/f" << true << "http://alice@h/f" << "http://h/f";
        QTest::newRow("@ in the password") << "http://alice:s@c@h/f" << true << "http://alice@h/f" << "http://h/f";
        QTest::newRow("empty password") << "http://alice:@h:8080/f" << true << "http://alice@h:8080/f" << "http://h:8080/f";
        QTest::newRow("user alone") << "http://alice@h:8080/f" << false << "http://alice@h:8080/f" << "http://h:8080/f";
        QTest::newRow("port") << "http://h:8080/f" << false << "http://h:8080/f" << "http://h:8080/f";
        QTest::newRow("@ in the path") << "http://h:80/a:b@c" << false << "http://h:80/a:b@c" << "http://h:80/a:b@c";
        QTest::newRow("@ in the query") << "http://h?u=a:b@c" << false << "http://h?u=a:b@c" << "http://h";
        QTest::newRow("@ in the fragment") << "http://h#a:b@c" << false << "http://h#a:b@c" << "http://h";
        QTest::newRow("a second line") << "http://a:pw@h/f\nbrindle.download: forged" << true
                                       << "http://a@h/f%0Abrindle.download: forged" << "http://h/f%0Abrindle.download:%20forged";
        // A full address pasted after the box's own prefix.
        QTest::newRow("doubled scheme") << "http://http://alice:pw@h/f" << true << "http://http://alice@h/f" << "http://http://alice@h/f";
        QTest::newRow("doubled, https") << "http://https://alice:pw@h:8443/f?q" << true
                                        << "http://https://alice@h:8443/f?q" << "http://https://alice@h:8443/f";
        QTest::newRow("C1 control and bidi override") << QString::fromUtf8("http://h/a\u0085b\u202Ec\u2066d") << false
                                                      << "http://h/a%C2%85b%E2%80%AEc%E2%81%A6d" << "http://h/a%C2%85b%E2%80%AEc%E2%81%A6d";
        QTest::newRow("space, letters beyond ASCII, marks no address holds bare, a % that begins no escape")
            << QString::fromUtf8("http://h/100%/a b\"<>\\^`{|}\u00e9%41%4.iso%?x y") << false
            << QString::fromUtf8("http://h/100%/a b\"<>\\^`{|}\u00e9%41%4.iso%?x y")
            << "http://h/100%25/a%20b%22%3C%3E%5C%5E%60%7B%7C%7D%C3%A9%41%254.iso%25";
    }
    void passwordIsFound()
    {
        QFETCH(QString, address);
        QFETCH(bool, password);
        QCOMPARE(holdsPassword(address), password);
        QTEST(shownAddress(address), "shown");
        QTEST(originAddress(address), "origin");
    }

    // The display must look for the very name wget writes: run the real
    // wget on each address, as Brindle hands it over, in each locale, and
    // find the file by the rule, byte for byte.
    void wgetFileNameMatchesWget_data()
    {
        QTest::addColumn<QString>("locale"); // the locale variables, as NAME=value words
        QTest::addColumn<QByteArray>("codeset"); // the locale's, so a missing locale cannot pass for it
        QTest::addColumn<QString>("path"); // after http://127.0.0.1:port
        QTest::addColumn<bool>("withPassword");
        const QString gen = QStringLiteral("/x/gen=10/");
        const QList<std::pair<const char *, QString>> paths{
            {"password", gen + "f.bin"},
            {"password, raw blank and tab", gen + "a b\tc.zip?k= v"},
            {"password, escapes", gen + "%E9t%E9%20x.bin"},
            {"password, no path", ""},
            {"password, dot-dot", gen + "dir/.."},
            {"password, escaped dot-dot", gen + "x/%2E%2E"},
            {"plain", gen + "f.bin"},
            {"space", gen + "a%20b.zip"},
            {"utf-8", gen + "d%C3%A9.bin"},
            {"latin-1 bytes", gen + "%E9t%E9.bin"},
            {"japanese", gen + "%E6%97%A5.bin"},
            {"japanese as typed", gen + QString::fromUtf8("\u65E5\u672C.bin")},
            {"question mark", gen + "q%3Fx"},
            {"percent", gen + "p%25y"},
            {"double escape", gen + "a%2520b"},
            {"slash", gen + "s%2Ft"},
            {"control", gen + "c%01d"},
            {"tab", gen + "t%09u"},
            {"query", gen + "f.zip?id=3"},
            {"slash in query", gen + "get?f=a/b.zip"},
            {"escaped query", gen + "g?k=%3F%25"},
            {"fragment", gen + "f.zip#part"},
            {"300-byte name", gen + QString(300, QLatin1Char('n'))},
            {"long signed query", gen + "x.bin?X-Signature=" + QString(400, QLatin1Char('s'))},
            {"cut inside a character", gen + QString(235, QLatin1Char('u')) + "%C3%A9.bin"},
            {"folder", gen + "dir/"},
            {"folder with query", gen + "dir/?k=v"},
            {"no path", ""},
            {"no path, query", "?k=v"},
            {"dot-dot", gen + "dir/.."},
            {"dot", gen + "dir/."},
            {"dot-dot, query", gen + "dir/..?k=v"},
            {"escaped dot-dot", gen + "%2e%2e"},
            {"escaped dot-dot in a folder", gen + "x/%2E%2E"},
            {"escaped dot", gen + "dir/%2E"},
            {"escaped dot at the root", "/%2e"},
            {"half-escaped dot-dot", gen + "dir/.%2e"},
            {"double-escaped dot-dot", gen + "%252e%252e"},
            {"escaped dot, query", gen + "dir/%2E?k=v"},
            {"escaped dot-dot, query", gen + "%2e%2e?k=v"},
            {"three dots", gen + "..."},
        };
        // A category naming a locale that is not installed leaves wget all in C.
        for (const auto &[locale, codeset] :
             {std::pair{"LC_ALL=C", "ANSI_X3.4-1968"}, {"LC_ALL=C.UTF-8", "UTF-8"}, {"LC_ALL=de_DE.UTF-8", "UTF-8"},
              {"LC_ALL=ja_JP.EUC-JP", "EUC-JP"}, {"LANG=de_DE.UTF-8 LC_TIME=xx_XX.UTF-8", "ANSI_X3.4-1968"}}) {
            for (const auto &[name, path] : paths) {
                QTest::addRow("%s: %s", locale, name) << QString::fromLatin1(locale) << QByteArray(codeset) << path
                                                      << QByteArray(name).startsWith("password");
            }
        }
    }
    void wgetFileNameMatchesWget()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, codeset);
        QFETCH(QString, path);
        QFETCH(bool, withPassword);
        testing::Sandbox sandbox;
        QTemporaryDir site; // its index.html answers the addresses without a path
        testing::makeFile(site.filePath(QStringLiteral("index.html")), 10);
        testing::TestServer server(site.path());
        QString url = server.url(path);
        if (withPassword)
            url.insert(QStringLiteral("http://").size(), QStringLiteral("alice:secret@"));
        // wget runs in the locale Brindle's children inherit.
        const QList<const char *> variables{"LC_ALL", "LANG", "LC_CTYPE", "LC_TIME"};
        QList<std::optional<QByteArray>> previous;
        for (const char *variable : variables) {
            previous.append(qEnvironmentVariableIsSet(variable) ? std::optional(qgetenv(variable)) : std::nullopt);
            qunsetenv(variable);
        }
        for (const QString &setting : locale.split(QLatin1Char(' ')))
            qputenv(setting.section(QLatin1Char('='), 0, 0).toLatin1(), setting.section(QLatin1Char('='), 1).toLatin1());
        const locale_t childLocale = ::newlocale(LC_ALL_MASK, "", locale_t{});
        const QByteArray childCodeset = childLocale == locale_t{} ? "ANSI_X3.4-1968" : ::nl_langinfo_l(CODESET, childLocale);
        if (childLocale != locale_t{})
            ::freelocale(childLocale);
        const DownloaderCall call = wgetCall(url);
        QProcess wget;
        wget.start(QStringLiteral("wget"), QStringList{QStringLiteral("-q")} + call.arguments);
        for (qsizetype i = 0; i < variables.size(); ++i) {
            if (previous[i])
                qputenv(variables[i], *previous[i]);
            else
                qunsetenv(variables[i]);
        }
        QVERIFY2(childCodeset == codeset, "de_DE.UTF-8 or ja_JP.EUC-JP is missing (tools/setup.sh test makes them)");
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

    // The size and the comparison reach the file wget reaches: Qt's client,
    // given requestAddress(), sends the path real wget sends; where it
    // cannot, the address it would send reaches another file.
    void requestMatchesWget_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("path"); // after /x/echo=1
        for (const char *locale : {"C", "C.UTF-8", "ja_JP.EUC-JP"}) {
            for (const char *path : {"/a/./b/../c", "/a/b/..", "/a/%2e/b", "/d/.%2E/f", "/f.bin#part",
                                     "/a%2Fb%20c", "/d%C3%A9/\u65E5"})
                QTest::addRow("%s: %s", locale, path) << QString::fromLatin1(locale) << QString::fromUtf8(path);
        }
    }
    void requestMatchesWget()
    {
        QFETCH(QString, locale);
        QFETCH(QString, path);
        testing::Sandbox sandbox;
        testing::TestServer server(sandbox.work());
        const QString url = server.url(QStringLiteral("/x/echo=1") + path);
        QProcess wget;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), locale);
        wget.setProcessEnvironment(environment);
        wget.start(QStringLiteral("wget"), QStringList{QStringLiteral("-q"), QStringLiteral("-O"), QStringLiteral("-")}
                                               + wgetCall(url).arguments);
        QVERIFY(wget.waitForFinished());
        QCOMPARE(wget.exitCode(), 0);
        const QByteArray wgetSent = wget.readAllStandardOutput();
        QVERIFY(!wgetSent.isEmpty());
        // Nothing when the request failed, so a failure never passes for a match.
        const auto qtSends = [](const QString &address) {
            platform::HttpProbe probe;
            return probe.sendAndWait({{address, {{0, 4096}}}}).first().rangeBytes.value(0);
        };
        const auto requested = requestAddress(url);
        const std::optional<QByteArray> qtSent = qtSends(requested.value_or(url));
        QVERIFY(qtSent);
        if (requested)
            QCOMPARE(*qtSent, wgetSent);
        else
            QVERIFY(*qtSent != wgetSent);
    }

    void noHostNamesNoFile()
    {
        QCOMPARE(wgetFileName(QStringLiteral("http://"), 255), QByteArray());
        QCOMPARE(wgetFileName(QStringLiteral("http:///f.bin"), 255), QByteArray());
    }
};

QTEST_GUILESS_MAIN(AddressRulesTest)
#include "address_rules_test.moc"
