#include "support/helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>
#include <csignal>
#include <unistd.h>

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

// Starts the window in shutdown_helper, with SIGTERM "ignored" or "blocked"
// when `termIs` says so.
void startHelper(QProcess &brindle, const QString &url, int pauseAfter, const QString &termIs = QString())
{
    QStringList arguments{qEnvironmentVariable("BRINDLE_SHUTDOWN_HELPER"), url};
    if (pauseAfter >= 0)
        arguments << QString::number(pauseAfter);
    if (termIs == QStringLiteral("ignored"))
        arguments = QStringList{QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec \"$@\""), QStringLiteral("sh")} + arguments;
    else if (termIs == QStringLiteral("blocked"))
        arguments = QStringList{QStringLiteral("-c"), QStringLiteral("import os, signal, sys; "
                        "signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM}); os.execv(sys.argv[1], sys.argv[1:])")} + arguments;
    const QString program = termIs == QStringLiteral("blocked") ? QStringLiteral("python3")
                            : termIs.isEmpty()                  ? arguments.takeFirst()
                                                                : QStringLiteral("sh");
    brindle.start(program, arguments);
    QVERIFY(brindle.waitForStarted());
}

// Brindle ends from inside a waiting handler, so each case runs the window
// in a child process.
class ShutdownTest : public QObject
{
    Q_OBJECT
private slots:
    void endsAndLeavesNoDownloader_data()
    {
        QTest::addColumn<QString>("path");   // "" for the bare prefix: idle
        QTest::addColumn<int>("closeAfter"); // ms; -1 kills instead, after 2 s
        QTest::addColumn<int>("pauseAfter"); // ms; -1 for no Pause
        QTest::addColumn<bool>("partial");
        // What a launcher may start Brindle with: SIGTERM ignored or blocked
        // is inherited across exec.
        QTest::addColumn<QString>("termIs");
        const QString slow = QStringLiteral("/x/rate=500000/f.bin");
        const QString silent = QStringLiteral("/x/headdelay=never/f.bin");
        QTest::newRow("closed when idle") << "" << 500 << -1 << false << "";
        QTest::newRow("closed while probing") << silent << 2000 << -1 << false << "";
        QTest::newRow("closed while downloading") << slow << 2000 << -1 << true << "";
        // The empty file the lock made goes with the window.
        QTest::newRow("closed before the first byte") << QStringLiteral("/x/stall=30/f.bin") << 2000 << -1 << false << "";
        QTest::newRow("closed while stopping") << slow << 2050 << 2000 << true << "";
        QTest::newRow("killed while probing") << silent << -1 << -1 << false << "";
        QTest::newRow("killed while downloading") << slow << -1 << -1 << true << "";
        QTest::newRow("closed, TERM ignored") << slow << 2000 << -1 << true << "ignored";
        QTest::newRow("killed, TERM ignored") << slow << -1 << -1 << true << "ignored";
        QTest::newRow("paused, TERM ignored") << slow << -1 << 1500 << true << "ignored";
        QTest::newRow("killed, TERM blocked") << slow << -1 << -1 << true << "blocked";
        QTest::newRow("paused, TERM blocked") << slow << -1 << 1500 << true << "blocked";
    }
    void endsAndLeavesNoDownloader()
    {
        QFETCH(QString, path);
        QFETCH(int, closeAfter);
        QFETCH(int, pauseAfter);
        testing::Sandbox sandbox;
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("f.bin")), 4 << 20);
        testing::TestServer server(root.path());
        const QString url = path.isEmpty() ? QStringLiteral("http://") : server.url(path);
        QFETCH(QString, termIs);
        QProcess brindle;
        startHelper(brindle, url, pauseAfter, termIs);

        if (closeAfter < 0) {
            if (pauseAfter >= 0) {
                // Timed from the press, as a user's click on Pause.
                QByteArray said;
                QTRY_VERIFY_WITH_TIMEOUT((said += brindle.readAll()).contains("pausing"), 5000);
                QVERIFY2(goneWithin(url, 100, brindle.processId()), "Pause left wget running");
            }
            QTest::qWait(2000);
            ::kill(static_cast<pid_t>(brindle.processId()), SIGKILL);
            QVERIFY(brindle.waitForFinished(5000));
        } else {
            QTest::qWait(closeAfter);
            // The clock runs from the request, as a user's click on close:
            // the window handles it at once, also during a download.
            QElapsedTimer clock;
            clock.start();
            brindle.write("close\n");
            QVERIFY(brindle.waitForFinished(5000));
            QVERIFY2(clock.elapsed() < 250, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(brindle.exitStatus(), QProcess::NormalExit);
            QCOMPARE(brindle.exitCode(), 0);
            const QByteArray said = brindle.readAll();
            QVERIFY(said.contains("closing\n") && !said.contains("still running"));
        }
        QVERIFY2(goneWithin(url, 1000), "a wget outlived Brindle");
        const qint64 written = QFileInfo(QStringLiteral("f.bin")).size();
        QFETCH(bool, partial);
        if (partial)
            QVERIFY2(written > 0 && written < (4 << 20), qPrintable(QString::number(written)));
        else
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
    }

    // Two windows press Download on one file, however each reaches it: one
    // wget writes, the other window goes back to idle at once, and the file
    // ends whole, byte for byte.
    void twoWindowsOneFile_data()
    {
        QTest::addColumn<QString>("secondReaches"); // the file, from the second window's folder
        QTest::newRow("one folder") << "";
        QTest::newRow("symbolic link to the file") << "symlink";
        QTest::newRow("hard link") << "hard link";
        QTest::newRow("bind mount") << "bind mount";
    }
    void twoWindowsOneFile()
    {
        QFETCH(QString, secondReaches);
        testing::Sandbox sandbox;
        QTemporaryDir root;
        const QByteArray hash = testing::makeFile(root.filePath(QStringLiteral("f.bin")), 3 << 20);
        testing::Nginx nginx(root.path());
        const QString url = nginx.url(QStringLiteral("/slow/f.bin"));
        QProcess first;
        QProcess second;
        const QString other = sandbox.work() + QStringLiteral("/other");
        QDir().mkpath(other);
        auto unmount = qScopeGuard([&] {
            if (secondReaches == QStringLiteral("bind mount"))
                QProcess::execute(QStringLiteral("umount"), {other});
        });
        if (secondReaches == QStringLiteral("symlink")) {
            QVERIFY(QFile::link(QStringLiteral("../f.bin"), other + QStringLiteral("/f.bin")));
        } else if (secondReaches == QStringLiteral("hard link")) {
            testing::makeFile(QStringLiteral("f.bin"), 0);
            QCOMPARE(::link("f.bin", "other/f.bin"), 0);
        } else if (secondReaches == QStringLiteral("bind mount")) {
            if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), sandbox.work(), other}) != 0)
                QSKIP("bind mounts need root");
        }
        if (!secondReaches.isEmpty())
            second.setWorkingDirectory(other);
        startHelper(first, url, -1);
        startHelper(second, url, -1);
        int mostWgets = 0;
        bool idleBeforeTheEnd = false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            const bool complete = QFileInfo(QStringLiteral("f.bin")).size() >= (3 << 20);
            QList<int> wgets = testing::processesWith(url);
            wgets.removeAll(int(first.processId()));
            wgets.removeAll(int(second.processId()));
            mostWgets = std::max<int>(mostWgets, wgets.size());
            const bool firstIdle = first.readAll().contains("returned");
            const bool secondIdle = second.readAll().contains("returned");
            idleBeforeTheEnd = idleBeforeTheEnd || ((firstIdle || secondIdle) && !complete);
            if (complete && wgets.isEmpty())
                break;
            QTest::qWait(50);
        }
        for (QProcess *brindle : {&first, &second}) {
            brindle->write("close\n");
            QVERIFY(brindle->waitForFinished(5000));
        }
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), hash);
        QCOMPARE(mostWgets, 1);
        QVERIFY(idleBeforeTheEnd);
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "shutdown_test.moc"
