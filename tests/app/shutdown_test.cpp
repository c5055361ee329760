#include "support/helpers.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <csignal>

namespace {

// True once no process but `except` has `marker` among its arguments.
bool goneWithin(const QString &marker, int milliseconds, qint64 except = 0)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QList<int> found = testing::processesWith(marker);
        found.removeAll(int(except));
        if (found.isEmpty())
            return true;
        if (clock.elapsed() > milliseconds)
            return false;
        QTest::qWait(20);
    }
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
        QTest::addColumn<QString>("path");   // "" for the bare prefix: idle
        QTest::addColumn<QStringList>("timing"); // close, [pause] in ms
        QTest::addColumn<bool>("kill");
        QTest::addColumn<bool>("partial");
        QTest::addColumn<bool>("termIgnored"); // as some launchers start programs
        const QString slow = QStringLiteral("/x/rate=500000/f.bin");
        const QString silent = QStringLiteral("/x/headdelay=never/f.bin");
        QTest::newRow("closed when idle") << "" << QStringList{"500"} << false << false << false;
        QTest::newRow("closed while probing") << silent << QStringList{"2000"} << false << false << false;
        QTest::newRow("closed while downloading") << slow << QStringList{"2000"} << false << true << false;
        QTest::newRow("closed while stopping") << slow << QStringList{"2050", "2000"} << false << true << false;
        QTest::newRow("killed while probing") << silent << QStringList{"-1"} << true << false << false;
        QTest::newRow("killed while downloading") << slow << QStringList{"-1"} << true << true << false;
        QTest::newRow("closed, TERM ignored") << slow << QStringList{"2000"} << false << true << true;
        QTest::newRow("killed, TERM ignored") << slow << QStringList{"-1"} << true << true << true;
        QTest::newRow("paused, TERM ignored") << slow << QStringList{"-1", "1500"} << true << true << true;
    }
    void endsAndLeavesNoDownloader()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, timing);
        QFETCH(bool, kill);
        testing::Sandbox sandbox;
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("f.bin")), 4 << 20);
        testing::TestServer server(root.path());
        const QString url = path.isEmpty() ? QStringLiteral("http://") : server.url(path);
        QFETCH(bool, termIgnored);
        QProcess brindle;
        const QStringList arguments = QStringList{qEnvironmentVariable("BRINDLE_SHUTDOWN_HELPER"), url} + timing;
        // An ignored signal stays ignored across exec.
        const QString shell = termIgnored ? QStringLiteral("trap '' TERM; exec \"$@\"") : QStringLiteral("exec \"$@\"");
        brindle.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), shell, QStringLiteral("sh")} + arguments);
        QVERIFY(brindle.waitForStarted());

        if (kill) {
            QTest::qWait(2000);
            if (timing.size() > 1)
                QVERIFY2(goneWithin(url, 1000, brindle.processId()), "Pause left wget running");
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
        const qint64 written = QFileInfo(QStringLiteral("f.bin")).size();
        QFETCH(bool, partial);
        if (partial)
            QVERIFY2(written > 0 && written < (4 << 20), qPrintable(QString::number(written)));
        else
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "shutdown_test.moc"
