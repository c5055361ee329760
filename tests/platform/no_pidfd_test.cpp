// The runner where the system refuses pidfds, as kernels before 5.3 and some
// container profiles do: a seccomp filter makes pidfd_open fail for this
// process and its children before any test runs.
#include "download/runner.h"
#include "platform/child_process.h"
#include "support/bounded_run.h"
#include "support/helpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool refusePidfds()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pidfd_open, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
           && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program) == 0;
}

// A SIGCHLD handler of the program's own, installed before Brindle's.
volatile sig_atomic_t ownHandlerCalls = 0;
void ownHandler(int)
{
    ownHandlerCalls = ownHandlerCalls + 1;
}

using testing::run;

} // namespace

class NoPidfdTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        struct sigaction own {};
        own.sa_handler = ownHandler;
        sigemptyset(&own.sa_mask);
        QCOMPARE(::sigaction(SIGCHLD, &own, nullptr), 0);
    }

    // Started with SIGCHLD ignored, as a launcher may leave it, Brindle
    // still keeps an ended child unreaped, so its pid is never reused
    // while a Pause could still signal it.
    void endedChildStaysPinnedWithChildSignalIgnored()
    {
        struct sigaction ignore {};
        struct sigaction previous {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGCHLD, &ignore, &previous);
        auto started = platform::ChildProcess::start(QStringLiteral("true"), {});
        QVERIFY(started.process);
        QVERIFY(!started.process->hasPidfd()); // the path without a pidfd is the one tried here
        const QString stat = QStringLiteral("/proc/%1/stat").arg(started.process->handle());
        QTest::qWait(200);
        QCOMPARE(started.process->state(), platform::ChildProcess::State::Ended);
        QFile zombie(stat);
        QVERIFY(zombie.open(QIODevice::ReadOnly) && zombie.readAll().contains(") Z "));
        started.process->close();
        ::sigaction(SIGCHLD, &previous, nullptr);
    }

    // The end of a child wakes the wait through SIGCHLD as a pidfd would:
    // at once, at next to no processor cost.
    void returnsAtTheEnd_data()
    {
        QTest::addColumn<double>("runs");
        QTest::newRow("at once") << 0.0;
        QTest::newRow("3 s") << 3.0;
    }
    void returnsAtTheEnd()
    {
        QFETCH(double, runs);
        download::Runner runner;
        // The child leaves a mark as it ends: a run that returns before
        // its end finds none, also when the child ends at once.
        QTemporaryDir marks;
        const QString ended = marks.filePath(QStringLiteral("ended"));
        const testing::Cost cost = testing::costOf([&] {
            run(runner, QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("sleep \"$0\"; : > \"$1\""), QString::number(runs), ended});
        });
        QVERIFY(QFileInfo::exists(ended));
        QVERIFY2(cost.seconds >= runs && cost.seconds <= runs + 0.1, qPrintable(QString::number(cost.seconds)));
        QVERIFY2(cost.cpuSeconds <= 0.05, qPrintable(QString::number(cost.cpuSeconds)));
    }

    // Children that end before the wait begins are never lost, and the
    // program's own SIGCHLD handler still hears of every one.
    void childEndingAtOnceIsNoticed()
    {
        download::Runner runner;
        const sig_atomic_t before = ownHandlerCalls;
        for (int i = 0; i < 200; ++i)
            QVERIFY(!run(runner, QStringLiteral("true"), {}));
        QCOMPARE(testing::zombieChildren(), QList<int>());
        QTRY_VERIFY2_WITH_TIMEOUT(ownHandlerCalls - before >= 200, qPrintable(QString::number(ownHandlerCalls - before)), 1000);
    }

    // A whole download, and one paused and continued, end byte for byte;
    // Pause stops wget at once.
    void downloadsAndPauses_data()
    {
        QTest::addColumn<int>("pauseAfter"); // ms, or -1 for none
        QTest::newRow("whole") << -1;
        QTest::newRow("paused") << 1200;
    }
    void downloadsAndPauses()
    {
        QFETCH(int, pauseAfter);
        testing::Sandbox sandbox;
        QTemporaryDir root;
        const QByteArray hash = testing::makeFile(root.filePath(QStringLiteral("f.bin")), 2 << 20);
        testing::TestServer server(root.path());
        const QStringList args{QStringLiteral("-c"), server.url(QStringLiteral("/x/rate=1000000/f.bin"))};
        download::Runner runner;
        QObject scope; // timers of a test end with it
        QElapsedTimer clock;
        clock.start();
        if (pauseAfter >= 0) {
            QTimer::singleShot(pauseAfter, &scope, [&] { runner.stop(); });
            run(runner, QStringLiteral("wget"), args);
            QVERIFY2(clock.elapsed() < pauseAfter + 100, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(QFileInfo(QStringLiteral("f.bin")).size() < (2 << 20));
        }
        run(runner, QStringLiteral("wget"), args);
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), hash);
    }
};

int main(int argc, char *argv[])
{
    if (!refusePidfds()) {
        std::perror("seccomp");
        return 1;
    }
    QCoreApplication application(argc, argv);
    NoPidfdTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "no_pidfd_test.moc"
