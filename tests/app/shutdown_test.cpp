#include "support/helpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <csignal>

namespace {

bool goneWithin(const QString &marker, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!testing::processesWith(marker).isEmpty()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

// Brindle ends from inside a waiting handler, so each case runs the window
// in a child process.
class ShutdownTest : public QObject
{
    Q_OBJECT
private slots:
    void endsAndLeavesNoDownloader_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("closed while downloading") << "downloading";
        QTest::newRow("closed while probing") << "probing";
        QTest::newRow("killed while downloading") << "killed";
    }
    void endsAndLeavesNoDownloader()
    {
        QFETCH(QString, state);
        testing::Sandbox sandbox;
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("f.bin")), 4 << 20);
        testing::TestServer server(root.path());
        const QString url = server.url(state == QStringLiteral("probing")
                                           ? QStringLiteral("/x/headdelay=never/f.bin")
                                           : QStringLiteral("/x/rate=500000/f.bin"));
        QProcess brindle;
        brindle.start(qEnvironmentVariable("BRINDLE_SHUTDOWN_HELPER"),
                      {url, state == QStringLiteral("killed") ? QStringLiteral("-1") : QStringLiteral("2000")});
        QVERIFY(brindle.waitForStarted());

        if (state == QStringLiteral("killed")) {
            QTRY_VERIFY_WITH_TIMEOUT(!testing::processesWith(url).isEmpty(), 5000);
            QTest::qWait(1500);
            ::kill(static_cast<pid_t>(brindle.processId()), SIGKILL);
            QVERIFY(brindle.waitForFinished(5000));
        } else {
            QVERIFY(brindle.waitForReadyRead(10000));
            QCOMPARE(brindle.readLine().trimmed(), QByteArray("closing"));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(brindle.waitForFinished(5000));
            QVERIFY2(clock.elapsed() < 1000, "the program did not end at once");
            QCOMPARE(brindle.exitStatus(), QProcess::NormalExit);
            QCOMPARE(brindle.exitCode(), 0);
            QVERIFY(!brindle.readAll().contains("still running"));
        }
        QVERIFY2(goneWithin(url, 1000), "a wget outlived Brindle");
        const qint64 partial = QFileInfo(QStringLiteral("f.bin")).size();
        if (state == QStringLiteral("probing"))
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
        else
            QVERIFY2(partial > 0 && partial < (4 << 20), qPrintable(QString::number(partial)));
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "shutdown_test.moc"
