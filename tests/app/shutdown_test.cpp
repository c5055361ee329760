#include "support/helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <optional>
#include <poll.h>
#include <sys/syscall.h>
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

// The real wget, as found before any stand-in is put first on PATH.
QString realWget()
{
    static const QString path = QFileInfo(QStandardPaths::findExecutable(QStringLiteral("wget"))).canonicalFilePath();
    return path;
}

// A "wget" that runs the real one without exec, as sandbox and proxy
// wrappers do.
QString wrapperOfRealWget()
{
    return QStringLiteral("'%1' \"$@\"").arg(realWget());
}

// The processes but `except` that have `marker` among their arguments;
// with `realOnly`, only those running the real wget, by their executable.
QList<int> wgetsWith(const QString &marker, qint64 except, bool realOnly)
{
    QList<int> found = testing::processesWith(marker, testing::Held::AsArgument, realOnly ? realWget() : QString());
    found.removeAll(int(except));
    return found;
}

// A pidfd of the one process but `except` that has `marker` among its
// arguments (with `realOnly`, of the real wget); -1 while there is not
// exactly one.
int pidfdOf(const QString &marker, qint64 except, bool realOnly = false)
{
    const QList<int> found = wgetsWith(marker, except, realOnly);
    return found.size() == 1 ? static_cast<int>(::syscall(SYS_pidfd_open, found.first(), 0)) : -1;
}

// True once the process behind `pidfd` has ended, waiting up to `milliseconds`
// in an event loop that its end wakes.
bool endsWithin(int pidfd, int milliseconds)
{
    QEventLoop loop;
    QSocketNotifier ended(pidfd, QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    pollfd end{pidfd, POLLIN, 0};
    return ::poll(&end, 1, 0) == 1;
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
    const QString program = termIs == QStringLiteral("blocked") ? QStringLiteral("/usr/bin/python3")
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
    void initTestCase() { QVERIFY(!realWget().isEmpty()); }

    void endsAndLeavesNoDownloader_data()
    {
        QTest::addColumn<QString>("path");   // "" for the bare prefix: idle
        // ms, from the start or, in a row that pauses, from the Pause; -1
        // kills instead, after 2 s
        QTest::addColumn<int>("closeAfter");
        QTest::addColumn<int>("pauseAfter"); // ms after the caption reads Pause; -1 for none
        QTest::addColumn<bool>("partial");
        // What a launcher may start Brindle with: SIGTERM ignored or blocked
        // is inherited across exec.
        QTest::addColumn<QString>("termIs");
        // The "wget" on PATH: the real one (""); a stand-in that ignores
        // SIGTERM, in every process it runs, for the 3 s it lasts, so Pause
        // leaves the command stopping until it is killed ("ignores TERM"); or a
        // wrapper that runs the real one without exec ("wrapper").
        QTest::addColumn<QString>("wget");
        const QString slow = QStringLiteral("/x/rate=500000/f.bin");
        const QString silent = QStringLiteral("/x/headdelay=never/f.bin");
        QTest::newRow("closed when idle") << "" << 500 << -1 << false << "" << "";
        QTest::newRow("closed while probing") << silent << 2000 << -1 << false << "" << "";
        QTest::newRow("closed while downloading") << slow << 2000 << -1 << true << "" << "";
        // The empty file the lock made goes with the window.
        QTest::newRow("closed before the first byte") << QStringLiteral("/x/stall=30/f.bin") << 2000 << -1 << false << "" << "";
        // Closed while a Pause waits for wget to go.
        QTest::newRow("closed while stopping") << slow << 200 << 1000 << false << "" << "ignores TERM";
        QTest::newRow("paused, wget ignores TERM") << slow << 1000 << 1000 << false << "" << "ignores TERM";
        QTest::newRow("killed while probing") << silent << -1 << -1 << false << "" << "";
        QTest::newRow("killed while downloading") << slow << -1 << -1 << true << "" << "";
        QTest::newRow("closed, TERM ignored") << slow << 2000 << -1 << true << "ignored" << "";
        QTest::newRow("killed, TERM ignored") << slow << -1 << -1 << true << "ignored" << "";
        QTest::newRow("paused, TERM ignored") << slow << -1 << 1500 << true << "ignored" << "";
        QTest::newRow("killed, TERM blocked") << slow << -1 << -1 << true << "blocked" << "";
        QTest::newRow("paused, TERM blocked") << slow << -1 << 1500 << true << "blocked" << "";
        QTest::newRow("closed while downloading, wrapped") << slow << 2000 << -1 << true << "" << "wrapper";
        QTest::newRow("paused, wrapped") << slow << -1 << 1500 << true << "" << "wrapper";
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
        QFETCH(QString, wget);
        const bool wgetIgnoresTerm = wget == QStringLiteral("ignores TERM");
        // Before Pause's grace for a wget that ignores SIGTERM is up.
        const bool closedWhileStopping = wgetIgnoresTerm && pauseAfter >= 0 && closeAfter < 500;
        std::optional<testing::FakeWget> standIn;
        if (wgetIgnoresTerm)
            standIn.emplace(QStringLiteral("trap '' TERM\nsleep 3"));
        else if (wget == QStringLiteral("wrapper"))
            standIn.emplace(wrapperOfRealWget());
        QProcess brindle;
        startHelper(brindle, url, pauseAfter, termIs);

        QByteArray said;
        int waited = -1; // a pidfd of the wget that Pause meets
        const auto closeWget = qScopeGuard([&waited] {
            if (waited >= 0)
                ::close(waited);
        });
        if (pauseAfter >= 0) {
            // Timed from the caption reading Pause, as a user's click, so it
            // meets wget running however long the size took on a busy machine.
            QTRY_VERIFY_WITH_TIMEOUT((waited = pidfdOf(url, brindle.processId(), wget == QStringLiteral("wrapper"))) >= 0, 15000);
            QTRY_VERIFY_WITH_TIMEOUT((said += brindle.readAll()).contains("pausing"), 5000);
            if (!wgetIgnoresTerm) {
                QVERIFY2(endsWithin(waited, 100), "Pause left wget running");
            } else if (!closedWhileStopping) {
                // Killed within a second, and the window idle once it is gone.
                QVERIFY2(endsWithin(waited, 1000), "Pause left wget running");
                QTRY_VERIFY_WITH_TIMEOUT((said += brindle.readAll()).contains("returned"), 500);
            }
        }
        if (closeAfter < 0) {
            QTest::qWait(2000);
            ::kill(static_cast<pid_t>(brindle.processId()), SIGKILL);
            QVERIFY(brindle.waitForFinished(5000));
        } else {
            QTest::qWait(closeAfter);
            // The close comes while stopping: Pause has not ended wget yet.
            if (closedWhileStopping)
                QVERIFY2(!endsWithin(waited, 0), "wget ended before the close");
            // The clock runs from the request, as a user's click on close:
            // the window handles it at once, also during a download.
            QElapsedTimer clock;
            clock.start();
            brindle.write("close\n");
            QVERIFY(brindle.waitForFinished(5000));
            QVERIFY2(clock.elapsed() < 250, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(brindle.exitStatus(), QProcess::NormalExit);
            QCOMPARE(brindle.exitCode(), 0);
            said += brindle.readAll();
            QVERIFY(said.contains("closing\n") && !said.contains("still running"));
            if (closedWhileStopping) {
                // The close came while a Pause waited for wget to go: the
                // press had not returned, and closing killed wget at once.
                QVERIFY(!said.contains("returned"));
                QVERIFY2(endsWithin(waited, 100), "wget outlived Brindle");
            }
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
    // ends whole, byte for byte. Also when the first window is killed while
    // a wrapper's wget, which nothing can signal then, writes on: the
    // second window finds the file held until that wget is gone, locked or
    // not.
    void twoWindowsOneFile_data()
    {
        QTest::addColumn<QString>("secondReaches"); // the file, from the second window's folder
        QTest::newRow("one folder") << "";
        QTest::newRow("symbolic link to the file") << "symlink";
        QTest::newRow("hard link") << "hard link";
        QTest::newRow("bind mount") << "bind mount";
        QTest::newRow("the first killed, its wget wrapped") << "after a kill";
        // The wrapper closes the lock's descriptor: wget writes unlocked.
        QTest::newRow("the first killed, its wget wrapped, descriptors closed") << "after a kill, descriptors closed";
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
        const bool afterKill = secondReaches.startsWith(QStringLiteral("after a kill"));
        if (!secondReaches.isEmpty() && !afterKill)
            second.setWorkingDirectory(other);
        std::optional<testing::FakeWget> wrapper;
        if (secondReaches == QStringLiteral("after a kill, descriptors closed"))
            wrapper.emplace(QStringLiteral("exec /usr/bin/python3 -c 'import subprocess, sys; subprocess.run(sys.argv[1:])' '%1' \"$@\"")
                                .arg(realWget()));
        else if (afterKill)
            wrapper.emplace(wrapperOfRealWget());
        startHelper(first, url, -1);
        if (afterKill) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QStringLiteral("f.bin")).size() > 0, 5000);
            ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
            QVERIFY(first.waitForFinished(5000));
            QCOMPARE(wgetsWith(url, 0, true).size(), 1); // orphaned, writing on
        }
        startHelper(second, url, -1);
        int mostWgets = 0;
        bool idleBeforeTheEnd = false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            const bool complete = QFileInfo(QStringLiteral("f.bin")).size() >= (3 << 20);
            const QList<int> wgets = wgetsWith(url, 0, true);
            mostWgets = std::max<int>(mostWgets, wgets.size());
            const bool firstIdle = first.readAll().contains("returned");
            const bool secondIdle = second.readAll().contains("returned");
            idleBeforeTheEnd = idleBeforeTheEnd || ((firstIdle || secondIdle) && !complete);
            if (complete && wgets.isEmpty())
                break;
            QTest::qWait(50);
        }
        for (QProcess *brindle : {&first, &second}) {
            if (brindle->state() == QProcess::NotRunning)
                continue;
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
