#include "download/address_rules.h"
#include "download/download_command.h"
#include "download/remembered_address.h"
#include "platform/confinement.h"
#include "platform/settings_store.h"
#include "support/helpers.h"
#include "support/pauser.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QRegularExpression>
#include <QProcess>
#include <QTest>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <array>
#include <functional>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

using namespace download;

namespace {

// Drops CAP_LEASE from this thread's effective set, so a lease on another
// user's file is refused as for any user; what puts it back.
std::function<void()> withoutLeaseCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ::syscall(SYS_capget, &header, data);
    const auto saved = std::to_array(data);
    data[CAP_LEASE / 32].effective &= ~(1u << (CAP_LEASE % 32));
    ::syscall(SYS_capset, &header, data);
    return [saved]() mutable {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, saved.data());
    };
}

struct View : CommandView
{
    QString address() const override { return text; }
    void setAddressEnabled(bool on) override
    {
        enabled = on;
        enabledChanges << on;
    }
    void setCaption(const QString &c) override
    {
        captionText = c;
        captions << c;
    }
    void downloaderRuns(bool) override {}
    void pressEnded(const PressOutcome &outcome) override
    {
        outcomes << outcome;
        fileAtEnd << QFileInfo(QString::fromLocal8Bit(outcome.file)).isFile();
    }
    QString text;
    bool enabled = true;
    QList<bool> enabledChanges;
    QString captionText = kDownloadCaption;
    QStringList captions;
    QList<PressOutcome> outcomes;
    QList<bool> fileAtEnd; // whether the press's file was there as the view heard the end
};

struct Fixture
{
    explicit Fixture(std::chrono::milliseconds timeout = std::chrono::seconds(60))
        : server(sandbox.work()), inet(timeout), command(view, inet, runner)
    {
        // What the window shows follows the state at every moment a press
        // lets events in: "Pause" only while wget runs, the box enabled only
        // when idle.
        QObject::connect(&sampler, &QTimer::timeout, [this] {
            const DownloadCommand::State state = command.state();
            if ((state == DownloadCommand::State::Downloading) != (view.captionText == kPauseCaption)
                || (state == DownloadCommand::State::Idle) != view.enabled)
                mismatches << int(state);
        });
        sampler.start(20);
    }
    ~Fixture() { QTest::qVerify(mismatches.isEmpty(), "mismatches.isEmpty()", "caption or box against the state", __FILE__, __LINE__); }
    void press(const QString &path, double seconds = 120)
    {
        view.text = path.startsWith(QLatin1Char('/')) ? server.url(path) : path;
        click(seconds);
    }
    void click(double seconds = 120)
    {
        const testing::Deadline deadline(seconds, "a press");
        command.click();
    }
    bool downloading() const { return command.state() == DownloadCommand::State::Downloading; }
    PressEnding ending() const { return command.outcome() ? command.outcome()->ending : PressEnding(-1); }
    testing::Sandbox sandbox;
    testing::TestServer server;
    View view;
    platform::HttpProbe inet;
    Runner runner;
    DownloadCommand command;
    QTimer sampler;
    QList<int> mismatches; // the states in which the window showed another
    // Timers of a test live no longer than its fixture.
    QObject scope;
};

// True when the file holds the first bytes of `source` and nothing else.
bool isPrefixOf(const QString &file, const QString &source)
{
    QFile part(file);
    QFile whole(source);
    if (!part.open(QIODevice::ReadOnly) || !whole.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = part.readAll();
    return whole.read(bytes.size()) == bytes;
}

// Presses Download and, once wget has run `pauseAfter` ms, Pause; calls
// `whileRunning` at every tick while wget runs.
void pressPausingAfter(Fixture &f, int pauseAfter, const std::function<void()> &whileRunning = {})
{
    const testing::Pauser pauser(f.command, std::chrono::milliseconds(100), [&](std::chrono::milliseconds running) {
        if (whileRunning)
            whileRunning();
        return pauseAfter >= 0 && running.count() >= pauseAfter;
    });
    f.click();
}

} // namespace

class DownloadCommandTest : public QObject
{
    Q_OBJECT
private slots:
    // Every probe outcome: the size it leaves and whether wget runs. A
    // first probe of 1000 bytes shows which outcomes keep a stale size.
    void probeOutcomes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("afterEarlierSize");
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<PressEnding>("ending");
        QTest::addColumn<QString>("detail");
        QTest::newRow("size") << "/x/gen=500/f" << false << qint64(500) << PressEnding::Unverified << "";
        QTest::newRow("zero") << "/x/gen=5,cl=0/f" << true << qint64(0) << PressEnding::NoSize << "";
        QTest::newRow("negative") << "/x/gen=5,cl=-5/f" << true << qint64(-5) << PressEnding::NoSize << "";
        QTest::newRow("blanks around") << "/x/gen=5,cl=%20123%20/f" << false << qint64(123) << PressEnding::Unverified << "";
        QTest::newRow("above 2^31") << "/x/gen=5,cl=3000000000/f" << false << qint64(3000000000) << PressEnding::Unverified << "";
        QTest::newRow("not a number, fresh") << "/x/gen=5,cl=abc/f" << false << qint64(0) << PressEnding::NoSize << "";
        QTest::newRow("not a number, stale") << "/x/gen=5,cl=abc/f" << true << qint64(1000) << PressEnding::Unverified << "";
        // A blank header reads as one never sent, whatever the Qt version.
        QTest::newRow("empty, stale") << "/x/gen=5,cl=empty/f" << true << qint64(0) << PressEnding::NoSize << "";
        QTest::newRow("above 2^63, stale") << "/x/gen=5,cl=9223372036854775808/f" << true << qint64(1000) << PressEnding::Unverified << "";
        QTest::newRow("missing header") << "/x/gen=5,cl=none/f" << true << qint64(0) << PressEnding::NoSize << "";
        QTest::newRow("404") << "/x/status=404/f" << true << qint64(0) << PressEnding::NoAnswer << "HTTP 404";
        QTest::newRow("500") << "/x/status=500/f" << true << qint64(0) << PressEnding::NoAnswer << "HTTP 500";
        QTest::newRow("redirect") << "/x/redirect=!x!gen=77!f/f" << true << qint64(77) << PressEnding::Unverified << "";
        QTest::newRow("refused connection") << "http://127.0.0.1:1/f" << true << qint64(0) << PressEnding::NoAnswer << "";
    }
    void probeOutcomes()
    {
        QFETCH(QString, path);
        QFETCH(qint64, totalBytes);
        Fixture f;
        testing::FakeWget wget;
        QFETCH(bool, afterEarlierSize);
        if (afterEarlierSize)
            f.press(QStringLiteral("/x/gen=1000/earlier"));
        const int runsBefore = wget.calls().size();
        f.press(path);
        QCOMPARE(f.command.totalBytes(), totalBytes);
        QCOMPARE(wget.calls().size() - runsBefore, totalBytes > 0 ? 1 : 0);
        if (totalBytes > 0)
            QCOMPARE(wget.calls().last(), (QStringList{QStringLiteral("-c"), QStringLiteral("--local-encoding=UTF-8"), QStringLiteral("--retry-on-http-error=429,503"), f.view.text}));
        QVERIFY(f.view.enabled);
        QCOMPARE(f.view.captionText, kDownloadCaption);
        QCOMPARE(restoreAddress(platform::applicationName()), f.view.text);
        QTEST(f.ending(), "ending");
        QTEST(f.command.outcome()->detail, "detail");
        QCOMPARE(f.view.outcomes.size(), afterEarlierSize ? 2 : 1);
    }

    void refusedAddressIsOnlySaved()
    {
        Fixture f;
        testing::FakeWget wget;
        f.view.enabled = false; // shows that nothing touched the box
        saveAddress(platform::applicationName(), QStringLiteral("http://h/earlier"));
        f.press(QStringLiteral("http://"));
        QCOMPARE(restoreAddress(platform::applicationName()), QStringLiteral("http://"));
        QVERIFY(f.view.captions.isEmpty());
        QVERIFY(!f.view.enabled);
        QVERIFY(wget.calls().isEmpty());
        QCOMPARE(f.ending(), PressEnding::Refused);
        f.view.enabled = true; // for the fixture's own check
    }

    void missingWgetRestoresIdle()
    {
        Fixture f;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", f.sandbox.config().toLocal8Bit());
        f.press(QStringLiteral("/x/gen=10/f"));
        qputenv("PATH", path);
        QCOMPARE(f.view.captions, (QStringList{kPauseCaption, kDownloadCaption}));
        QVERIFY(f.view.enabled);
        QCOMPARE(f.ending(), PressEnding::NotStarted);
        QVERIFY(f.command.outcome()->detail.contains(QStringLiteral("not found")));
    }

    // Download, Pause inside the run, Download again, until the file equals
    // the source byte for byte; each Pause stops wget at once.
    void pausesKeepEveryByte_data()
    {
        QTest::addColumn<int>("megabytes");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<QString>("options"); // the server's, besides the rate
        QTest::newRow("3 pauses, 3 MB") << 3 << 700000 << 3 << "";
        QTest::newRow("50 pauses, 200 MB") << 200 << 3000000 << 50 << "";
        // As a server that allows one connection per client answers.
        QTest::newRow("3 pauses, one request at a time") << 3 << 700000 << 3 << "onebyone=1,";
        // Or closes the other's connection unanswered: the HEAD comes while
        // the comparison's GET stalls, and is asked again alone.
        QTest::newRow("3 pauses, one request at a time, the other closed unanswered")
            << 3 << 700000 << 3 << "onebyone=close,headdelay=0.1,stall=0.5,";
        // As object stores answer several ranges: the whole file, read only
        // a bounded way.
        QTest::newRow("3 pauses, several ranges answered whole") << 3 << 700000 << 3 << "nomultirange=1,";
    }
    void pausesKeepEveryByte()
    {
        QFETCH(int, megabytes);
        QFETCH(int, rate);
        QFETCH(int, pauses);
        QFETCH(QString, options);
        if (pauses > 3 && qEnvironmentVariableIsSet("BRINDLE_SKIP_STRESS"))
            QSKIP("stress skipped by BRINDLE_SKIP_STRESS");
        Fixture f;
        QTemporaryDir root;
        const qint64 size = qint64(megabytes) << 20;
        const QByteArray hash = testing::makeFile(root.filePath(QStringLiteral("big.bin")), size);
        testing::TestServer source(root.path());
        f.view.text = source.url(QStringLiteral("/x/%1rate=%2/big.bin").arg(options).arg(rate));
        int paused = 0;
        QElapsedTimer pausedAt;
        const testing::Pauser pauser(f.command, std::chrono::milliseconds(800), [&](std::chrono::milliseconds) {
            if (paused == pauses)
                return false;
            ++paused;
            pausedAt.start();
            return true;
        });
        for (int presses = 0; presses <= pauses + 5 && (paused < pauses || QFileInfo(QStringLiteral("big.bin")).size() < size); ++presses) {
            f.click();
            // SIGTERM stops wget: the kill that follows an ignored one, half a
            // second later (a coarse timer's 5 % early at most), is not what
            // ends these presses.
            if (pausedAt.isValid())
                QVERIFY2(pausedAt.elapsed() < 400, qPrintable(QString::number(pausedAt.elapsed())));
            pausedAt.invalidate();
            QVERIFY(f.view.enabled);
            QCOMPARE(f.view.captionText, kDownloadCaption);
        }
        QCOMPARE(paused, pauses);
        // A press for each Pause and one to the end: none turned away for good.
        QCOMPARE(f.view.outcomes.size(), pauses + 1);
        QCOMPARE(testing::sha256(QStringLiteral("big.bin")), hash);
        QCOMPARE(f.command.totalBytes(), size);
        QCOMPARE(f.ending(), PressEnding::Unverified);
        QCOMPARE(f.command.outcome()->detail, QString()); // nothing left undecided
        QCOMPARE(std::count_if(f.view.outcomes.cbegin(), f.view.outcomes.cend(),
                               [](const PressOutcome &o) { return o.ending == PressEnding::Stopped; }),
                 pauses);
    }

    // A press works with the address it was pressed with to its end,
    // whatever the box holds by then (a screen reader or voice control can
    // change a disabled box's text); while wget runs a press is Pause.
    void pressKeepsItsAddress_data()
    {
        QTest::addColumn<bool>("whileAsking"); // else while wget runs
        QTest::addColumn<QString>("changedTo");  // a path on the site, or the text itself
        QTest::addColumn<bool>("pause");         // a press right after the change
        QTest::addColumn<PressEnding>("ending");
        QTest::newRow("another file while downloading") << false << "/x/rate=700000/s2.bin" << false << PressEnding::Unverified;
        QTest::newRow("another file while asking") << true << "/x/rate=700000/s2.bin" << false << PressEnding::Unverified;
        QTest::newRow("the bare prefix, then Pause") << false << "http://" << true << PressEnding::Stopped;
    }
    void pressKeepsItsAddress()
    {
        QFETCH(bool, whileAsking);
        QFETCH(QString, changedTo);
        QFETCH(bool, pause);
        Fixture f;
        QTemporaryDir site;
        const QByteArray first = testing::makeFile(site.filePath(QStringLiteral("s1.bin")), 1 << 20);
        QFile other(site.filePath(QStringLiteral("s2.bin")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write(QByteArray(2 << 20, 'o'));
        other.close();
        testing::TestServer server(site.path());
        const QString changed = changedTo.startsWith(QLatin1Char('/')) ? server.url(changedTo) : changedTo;
        bool done = false;
        QTimer changer;
        QObject::connect(&changer, &QTimer::timeout, [&] {
            const bool now = whileAsking ? f.command.state() == DownloadCommand::State::Asking
                                         : f.downloading() && QFileInfo(QStringLiteral("s1.bin")).size() > 0;
            if (done || !now)
                return;
            done = true;
            f.view.text = changed;
            if (pause)
                f.command.click();
        });
        changer.start(50);
        f.press(server.url(QStringLiteral("/x/rate=700000,headdelay=0.5/s1.bin")));
        QVERIFY(done);
        QTEST(f.ending(), "ending");
        QVERIFY(f.view.outcomes.last().keptAs.isEmpty());
        QCOMPARE(f.command.totalBytes(), qint64(1 << 20));
        QVERIFY(!QFileInfo::exists(QStringLiteral("s2.bin")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("s1.bin.1")));
        if (pause)
            QVERIFY(QFileInfo(QStringLiteral("s1.bin")).size() < (1 << 20));
        else
            QCOMPARE(testing::sha256(QStringLiteral("s1.bin")), first);
    }

    // Started from a folder that has since been deleted, Brindle has no
    // folder to name: a press asks nothing, runs nothing and makes nothing,
    // not even at the root of the file system.
    void deletedFolderRunsNothing()
    {
        Fixture f;
        testing::FakeWget wget;
        const QString name = QStringLiteral("brindle-no-folder-%1.bin").arg(::getpid());
        QVERIFY(QDir().mkdir(QStringLiteral("gone")));
        QVERIFY(QDir::setCurrent(QStringLiteral("gone")));
        QVERIFY(QDir(f.sandbox.work()).rmdir(QStringLiteral("gone")));
        DownloadCommand command(f.view, f.inet, f.runner, DownloadFolder::current());
        f.view.text = f.server.url(QStringLiteral("/x/gen=10/") + name);
        {
            const testing::Deadline deadline(120, "a press");
            command.click();
        }
        QCOMPARE(command.outcome()->ending, PressEnding::NoFolder);
        QVERIFY(wget.calls().isEmpty());
        QCOMPARE(command.totalBytes(), qint64(0));
        QVERIFY(!QFileInfo::exists(QLatin1Char('/') + name));
        QVERIFY(f.view.enabled);
    }

    // A "wget" on PATH that runs the real one without exec, as sandbox and
    // proxy wrappers do: Pause ends both.
    void wrapperWithoutExecEndsWithPause()
    {
        Fixture f;
        const QString realWget = QStandardPaths::findExecutable(QStringLiteral("wget"));
        const testing::FakeWget wrapper(QStringLiteral("'%1' \"$@\"").arg(realWget));

        const QString marker = QStringLiteral("/x/gen=3000000,rate=500000/wrapped.bin");
        const auto wgets = [&] { return testing::processesWith(marker, testing::Held::Anywhere); };
        int runningWhilePaused = -1;
        const testing::Pauser pauser(f.command, std::chrono::milliseconds(50), [&](std::chrono::milliseconds) {
            if (runningWhilePaused >= 0 || QFileInfo(QStringLiteral("wrapped.bin")).size() == 0)
                return false;
            runningWhilePaused = wgets().size(); // the wrapper and the real wget
            return true;
        });
        f.press(marker);
        QCOMPARE(f.ending(), PressEnding::Stopped);
        QCOMPARE(runningWhilePaused, 2);
        QVERIFY(QTest::qWaitFor([&] { return wgets().isEmpty(); }, 2000));
        QVERIFY(QFileInfo(QStringLiteral("wrapped.bin")).size() < 3000000);
    }

    // One press at a time: presses while the command waits for the server
    // only save the address, so a double-click downloads once; one Pause
    // stops wget, nothing starts again by itself, and nothing is left: no
    // wget, no zombie, no descriptor. The box stays disabled throughout.
    void onePressAtATime_data()
    {
        QTest::addColumn<int>("pressesWhileAsking"); // 200 ms apart, during a 1 s probe
        QTest::addColumn<bool>("downloadAfterPause"); // a press right after the Pause
        QTest::addColumn<QString>("headDelay");
        QTest::newRow("single press") << 0 << false << "1";
        QTest::newRow("double-click") << 1 << false << "1";
        QTest::newRow("burst") << 4 << false << "1";
        QTest::newRow("Pause, then Download at once") << 0 << true << "1";
        // The size came before the second click: it finds wget running.
        QTest::newRow("double-click, a near server") << 0 << false << "0";
    }
    void onePressAtATime()
    {
        QFETCH(int, pressesWhileAsking);
        QFETCH(bool, downloadAfterPause);
        Fixture f;
        testing::FakeWget wget(29.5);
        const auto leftover = [] { return testing::processesWith(QStringLiteral("29.5")); };
        // The probe's connection and the network stack stay: count after them.
        f.press(QStringLiteral("/x/gen=10,cl=0/warm"));
        const int descriptors = testing::openDescriptors();
        f.view.enabledChanges.clear();
        for (int i = 1; i <= pressesWhileAsking; ++i)
            QTimer::singleShot(200 * i, &f.scope, [&] { f.command.click(); });
        QFETCH(QString, headDelay);
        QTimer secondClick;
        f.command.setDoubleClickInterval(std::chrono::milliseconds(400));
        if (headDelay == QStringLiteral("0")) {
            f.command.setDoubleClickInterval(std::chrono::milliseconds(1500));
            QObject::connect(&secondClick, &QTimer::timeout, [&] {
                if (f.downloading()) {
                    secondClick.stop();
                    f.command.click();
                }
            });
            secondClick.start(10);
        }
        QTimer::singleShot(1800, &f.scope, [&] {
            QVERIFY(f.downloading());
            f.command.click(); // Pause
            if (downloadAfterPause)
                f.command.click();
        });
        f.press(QStringLiteral("/x/gen=10,headdelay=%1/f").arg(headDelay));
        QCOMPARE(wget.calls().size(), 1);
        QTest::qWait(1500); // nothing starts again by itself
        QCOMPARE(wget.calls().size(), 1);
        QCOMPARE(leftover(), QList<int>());
        QCOMPARE(testing::zombieChildren(), QList<int>());
        QCOMPARE(testing::openDescriptors(), descriptors);
        QCOMPARE(f.view.enabledChanges, (QList<bool>{false, true}));
        QCOMPARE(f.view.captionText, kDownloadCaption);
        // The warm-up and the press itself: the presses during it end no press.
        QCOMPARE(f.view.outcomes.size(), 2);
        QCOMPARE(f.ending(), PressEnding::Stopped);
    }

    // A server that never answers, or trickles the compared bytes, ends the
    // press at the time-out, and the part waits, untouched, for a later
    // press; a slow but steady answer goes on past it.
    void slowServerEndsAtTheTimeoutWithEventsHandled_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("partLength"); // of the served site/f, copied first
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<PressEnding>("ending");
        QTest::addColumn<int>("timeout"); // ms
        QTest::addColumn<QString>("afterwards"); // pressed next, against a sound but slow server
        QTest::addColumn<bool>("busyWindow");    // the window's thread half busy all through the press
        QTest::newRow("silent size probe") << "/x/headdelay=never/site/f" << qint64(0) << qint64(0) << false << PressEnding::NoAnswer << 1500 << "" << false;
        QTest::newRow("trickled comparison") << "/x/rate=2/site/f" << qint64(1000) << qint64(9000) << false << PressEnding::Undecided << 1500 << "" << false;
        // Under 1 KiB a second, a 64 KiB stretch.
        QTest::newRow("trickled comparison, 600 B/s") << "/x/rate=600/site/f" << qint64(65536) << qint64(2 * 65536) << false
                                                      << PressEnding::Undecided << 1500 << "" << false;
        QTest::newRow("steady comparison beyond the time-out")
            << "/x/norange=1,rate=2000/site/f" << qint64(6000) << qint64(9000) << true << PressEnding::Unverified << 1500 << "" << false;
        // One time-out for all the hops of a request, however many.
        QTest::newRow("silent redirects") << "/x/latency=0.7,loop=1/site/f" << qint64(0) << qint64(0) << false
                                          << PressEnding::NoAnswer << 1500 << "" << false;
        // A server that ignores Range is read only a bounded way: the stretch
        // before the part's end lies beyond it, and tells nothing.
        QTest::newRow("Range ignored, slowly, 12 MiB part")
            << "/x/norange=1,rate=524288/site/f" << qint64(12 << 20) << qint64(24 << 20) << false
            << PressEnding::Undecided << 60000 << "" << false;
        // Header lines without end: ended by what they cost, long before the
        // time-out, at a bounded cost in processor time and memory, and
        // nothing of them goes on costing, or cuts short the next press to a
        // server merely slow to answer.
        QTest::newRow("header block without end") << "/x/headerflood=1/site/f" << qint64(0) << qint64(0) << false
                                                  << PressEnding::NoAnswer << 60000 << "/x/latency=3,gen=10/after" << false;
        // Paced so that the client is never busy for long at a stretch.
        QTest::newRow("header block without end, paced")
            << "/x/headerflood=1,headerpace=400000/site/f" << qint64(0) << qint64(0) << false << PressEnding::NoAnswer
            << 60000 << "" << false;
        // A server slow to answer while the window works hard (a screen
        // reader reading it): the window's work costs the request nothing.
        QTest::newRow("slow size probe, the window busy") << "/x/headdelay=3/site/f" << qint64(0) << qint64(9000) << true
                                                          << PressEnding::Unverified << 60000 << "" << true;
    }
    void slowServerEndsAtTheTimeoutWithEventsHandled()
    {
        QFETCH(QString, path);
        QFETCH(qint64, partLength);
        QFETCH(bool, runs);
        QFETCH(int, timeout);
        Fixture f{std::chrono::milliseconds(timeout)};
        testing::FakeWget wget;
        QDir().mkdir(QStringLiteral("site"));
        testing::makeFile(QStringLiteral("site/f"), partLength < 9000 ? 9000 : 2 * partLength);
        QByteArray part;
        if (partLength > 0) {
            QFile::copy(QStringLiteral("site/f"), QStringLiteral("f"));
            QFile::resize(QStringLiteral("f"), partLength);
            part = testing::sha256(QStringLiteral("f"));
        }
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(100);
        QElapsedTimer clock;
        clock.start();
        const qint64 residentBefore = testing::residentBytes();
        QFETCH(bool, busyWindow);
        QTimer burner;
        QObject::connect(&burner, &QTimer::timeout, [] {
            // Processor time, however busy the machine.
            const auto spent = [] {
                timespec now{};
                ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
                return now.tv_sec * 1000 + now.tv_nsec / 1000000;
            };
            const auto start = spent();
            while (spent() - start < 15) {
            }
        });
        if (busyWindow)
            burner.start(20);
        const testing::Cost cost = testing::costOf([&] { f.press(path, 20); });
        burner.stop();
        const int ticksDuringPress = ticks;
        const qint64 pressLasted = clock.elapsed();
        QVERIFY2(cost.cpuSeconds < 10, qPrintable(QString::number(cost.cpuSeconds)));
        QVERIFY2(testing::residentBytes() - residentBefore <= (64 << 20),
                 qPrintable(QString::number(testing::residentBytes() - residentBefore)));
        // A row with a short time-out lasts that long; the others end sooner.
        QVERIFY2((timeout > 6000 || clock.elapsed() >= timeout - 100) && clock.elapsed() < (runs ? 15000 : 6000),
                 qPrintable(QString::number(clock.elapsed())));
        // Counted over the press alone: a loop that blocked would see one or
        // two of the 100 ms ticks, whatever the press lasted.
        QVERIFY2(pressLasted >= 500 && ticksDuringPress >= pressLasted / 200,
                 qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticksDuringPress).arg(pressLasted)));
        const testing::Cost idle = testing::costOf([] { QTest::qWait(1000); });
        QVERIFY2(idle.cpuSeconds < 0.2, qPrintable(QString::number(idle.cpuSeconds)));
        QTEST(f.command.totalBytes(), "totalBytes");
        QCOMPARE(wget.calls().size(), runs ? 1 : 0);
        QTEST(f.ending(), "ending");
        if (partLength > 0)
            QCOMPARE(testing::sha256(QStringLiteral("f")), part);
        QFETCH(QString, afterwards);
        if (!afterwards.isEmpty()) {
            f.press(afterwards, 20);
            QCOMPARE(f.ending(), PressEnding::Unverified);
            QCOMPARE(f.command.totalBytes(), qint64(10));
            // As costly a second time, no more: ended by its cost again, long
            // before the time-out (on a loaded machine both presses are
            // slower alike), and nothing of it goes on costing.
            const testing::Cost again = testing::costOf([&] { f.press(path, 20); });
            QTEST(f.ending(), "ending");
            QVERIFY2(again.cpuSeconds < 10 && again.seconds < std::max(6.0, 2.0 * pressLasted / 1000),
                     qPrintable(QStringLiteral("%1 s, the first %2 ms").arg(again.seconds).arg(pressLasted)));
            const testing::Cost after = testing::costOf([] { QTest::qWait(1000); });
            QVERIFY2(after.cpuSeconds < 0.2, qPrintable(QString::number(after.cpuSeconds)));
        }
    }

    // A faulty server: no hang, the partial file is never damaged, and a
    // later press against a sound server completes it byte for byte. A
    // download that wrote nothing leaves no file.
    void serverFaultsLoseNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("before"); // "part" of f.bin, "copy" (another file's f.bin.1), "copy, empty file", or nothing
        QTest::addColumn<bool>("leavesFile");
        QTest::addColumn<PressEnding>("ending"); // of the press against the fault
        QTest::newRow("reset mid-body") << "/x/reset=1500000/f.bin" << "" << true << PressEnding::Unverified;
        QTest::newRow("ignores Range") << "/x/norange=1/f.bin" << "part" << true << PressEnding::Unverified;
        QTest::newRow("sends part of a range") << "/x/rangecap=32768/f.bin" << "part" << true << PressEnding::Unverified;
        QTest::newRow("length larger than body") << "/x/cl=99999999/f.bin" << "" << true << PressEnding::Unverified;
        QTest::newRow("redirect loop") << "/x/loop=1/f.bin" << "part" << true << PressEnding::NoAnswer;
        QTest::newRow("under 1 KB/s") << "/x/rate=800/f.bin" << "" << true << PressEnding::Stopped;
        QTest::newRow("stalls after headers") << "/x/stall=30/f.bin" << "" << false << PressEnding::Stopped;
        // Compressed bytes are not the file's: they tell nothing, before a
        // resume (the part waits) and when wget has ended (the file stays);
        // a copy beside the name is not brought back on them, and the file
        // is fetched whole.
        QTest::newRow("compresses ranges, a part") << "/x/gzipranges=1/f.bin" << "part" << true << PressEnding::Undecided;
        QTest::newRow("compresses ranges, fresh") << "/x/gzipranges=1/f.bin" << "" << true << PressEnding::Unverified;
        QTest::newRow("compresses ranges, a copy") << "/x/gzipranges=1/f.bin" << "copy" << true << PressEnding::Unverified;
        QTest::newRow("compresses ranges, a copy, empty file")
            << "/x/gzipranges=1/f.bin" << "copy, empty file" << true << PressEnding::Unverified;
        // A far server: the part's stretches are asked together with the size.
        QTest::newRow("a second per answer, a part") << "/x/latency=1/f.bin" << "part" << true << PressEnding::Unverified;
    }
    void serverFaultsLoseNothing()
    {
        QFETCH(QString, fault);
        QFETCH(bool, leavesFile);
        Fixture f;
        const QString source = f.sandbox.work() + QStringLiteral("/site/f.bin");
        QDir().mkpath(f.sandbox.work() + QStringLiteral("/site"));
        const QByteArray hash = testing::makeFile(source, 2 << 20);
        const QString arrivals = f.sandbox.work() + QStringLiteral("/arrivals");
        testing::TestServer site(f.sandbox.work() + QStringLiteral("/site"), arrivals);
        QFETCH(QString, before);
        if (before == QStringLiteral("part")) {
            QFile::copy(source, QStringLiteral("f.bin"));
            QFile::resize(QStringLiteral("f.bin"), 1 << 20);
        }
        const QByteArray copyBytes(100000, 'c');
        if (before.startsWith(QStringLiteral("copy"))) {
            QFile copy(QStringLiteral("f.bin.1"));
            QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(copyBytes) == copyBytes.size());
            if (before.endsWith(QStringLiteral("empty file")))
                QVERIFY(QFile(QStringLiteral("f.bin")).open(QIODevice::WriteOnly));
        }
        {
            // A download stuck for 3 s is paused, as a user would.
            const testing::Pauser pauser(f.command, std::chrono::milliseconds(100),
                                         [](std::chrono::milliseconds running) { return running >= std::chrono::seconds(3); });
            f.press(site.url(fault));
        }
        // Within a quarter of the second each answer waits: sent together.
        if (fault.contains(QStringLiteral("latency="))) {
            QFile log(arrivals);
            QVERIFY(log.open(QIODevice::ReadOnly));
            qint64 head = 0;
            qint64 stretches = 0;
            for (const QByteArray &line : log.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() < 5 || fields[4].startsWith("Wget/"))
                    continue;
                qint64 &first = fields[1] == "HEAD" ? head : stretches;
                first = first ? first : fields[0].toLongLong();
            }
            QVERIFY2(head && stretches && std::abs(stretches - head) < 250'000'000,
                     qPrintable(QStringLiteral("%1 ns apart").arg(stretches - head)));
        }
        QTEST(f.ending(), "ending");
        // As wget does: the request and 20 redirects, then no more.
        if (fault.contains(QStringLiteral("loop=1"))) {
            QFile log(arrivals);
            QVERIFY(log.open(QIODevice::ReadOnly));
            QCOMPARE(log.readAll().count(" HEAD "), 21);
        }
        if (before.startsWith(QStringLiteral("copy"))) {
            QFile copy(QStringLiteral("f.bin.1"));
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), copyBytes);
        } else {
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin.1")));
        }
        if (leavesFile)
            QVERIFY2(isPrefixOf(QStringLiteral("f.bin"), source), "the fault damaged the file");
        else
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
        f.press(site.url(QStringLiteral("/f.bin")));
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), hash);
        QCOMPARE(f.ending(), PressEnding::Unverified);
    }

    // The requests a press sends before wget runs, as the test server's log
    // of arrivals shows them: HEADs, GETs of several ranges and of one, by
    // the Authorization scheme they carried; "single:all" when each range
    // of the first request of several was asked for again alone, "some"
    // for part of them. However a server answers several ranges, or turns
    // requests away, the part continues and the file ends the server's.
    void requestPlan_data()
    {
        QTest::addColumn<QString>("server");  // "script", or a real one
        QTest::addColumn<QString>("options"); // the script server's
        QTest::addColumn<QString>("before");  // "part", "changed part", "copy" (of a part), "two copies", "six foreign copies", or nothing
        QTest::addColumn<QString>("plan");    // a pattern; empty for a real server, which keeps no log
        QTest::addColumn<int>("leastPause");  // ms between the first two arrivals, at least
        QTest::addColumn<QString>("detail");
        QTest::newRow("fresh") << "script" << "" << "" << "HEAD:1" << 0 << "";
        QTest::newRow("resume") << "script" << "" << "part" << "HEAD:1 several:1" << 0 << "";
        QTest::newRow("several answered 200") << "script" << "nomultirange=1," << "part" << "HEAD:1 several:1 single:some" << 0 << "";
        QTest::newRow("several answered 200, ranges not told") << "script" << "nomultirange=1,noaccept=1," << "part" << "HEAD:1 several:1 single:some" << 0 << "";
        QTest::newRow("several refused, 416") << "script" << "multirange=416," << "part" << "HEAD:1 several:1 single:all" << 0 << "";
        QTest::newRow("the first six, reordered") << "script" << "multirange=6," << "part" << "HEAD:1 several:1 single:some" << 0 << "";
        QTest::newRow("the first range alone") << "script" << "multirange=first," << "part" << "HEAD:1 several:1 single:some" << 0 << "";
        QTest::newRow("one span joining them") << "script" << "multirange=span," << "part" << "HEAD:1 several:1 single:some" << 0 << "";
        QTest::newRow("several answered with a page") << "script" << "multirange=page," << "part" << "HEAD:1 several:1 single:all" << 0 << "";
        QTest::newRow("several in parts a byte off") << "script" << "multirange=shifted," << "part" << "HEAD:1 several:1 single:all" << 0 << "";
        // A request asked again may meet the connection still held and be
        // turned away once more.
        QTest::newRow("one connection") << "script" << "onebyone=1," << "part" << "HEAD:[12] several:[123]" << 0 << "";
        QTest::newRow("turned away, HEAD alone") << "script" << "turnaway=1," << "" << "HEAD:2" << 500 << "";
        QTest::newRow("turned away, Retry-After") << "script" << "turnaway=2,retryafter=1," << "part" << "HEAD:2 several:2" << 1000 << "";
        QTest::newRow("turned away, Retry-After a date") << "script" << "turnaway=1,retryafter=date," << "" << "HEAD:2" << 1000 << "";
        QTest::newRow("sign-in") << "script" << "auth=basic," << "part" << "HEAD:1 HEAD/basic:1 several:1 several/basic:1" << 0 << "";
        QTest::newRow("a copy beside the file") << "script" << "" << "copy" << "HEAD:1 several:1" << 0 << "";
        // The newer, longer part first; of six copies of other files, four.
        QTest::newRow("two copies beside the file") << "script" << "" << "two copies" << "HEAD:1 several:1" << 0 << "";
        QTest::newRow("six foreign copies") << "script" << "" << "six foreign copies" << "HEAD:1 several:4 single:some" << 0 << "";
        QTest::newRow("a changed file") << "script" << "" << "changed part" << "HEAD:1 several:1 single:all" << 0 << "";
        QTest::newRow("fetched whole, longer than told") << "script" << "headcl=1048576," << "" << "HEAD:1" << 0
                                                         << "the size request told another length";
        QTest::newRow("lighttpd, a long part") << "lighttpd" << "" << "part" << "" << 0 << "";
        // Brindle's HEAD uses up what wget may ask for.
        QTest::newRow("nginx, six requests a minute") << "nginx, limited" << "" << "" << "" << 0 << "";
    }
    void requestPlan()
    {
        QFETCH(QString, server);
        QFETCH(QString, options);
        QFETCH(QString, before);
        QFETCH(QString, plan);
        QFETCH(int, leastPause);
        Fixture f;
        QTemporaryDir site;
        QTemporaryDir logs;
        const qint64 size = server == QStringLiteral("script") ? 8 << 20 : 40 << 20;
        const QString source = site.filePath(QStringLiteral("f.bin"));
        const QByteArray hash = testing::makeFile(source, size);
        const QString arrivals = logs.filePath(QStringLiteral("arrivals"));
        testing::TestServer script(site.path(), arrivals);
        std::unique_ptr<testing::WebServer> real;
        if (server == QStringLiteral("lighttpd"))
            real = std::make_unique<testing::Lighttpd>(site.path());
        else if (server.startsWith(QStringLiteral("nginx")))
            real = std::make_unique<testing::Nginx>(site.path());
        QString address = !real ? script.url(QStringLiteral("/x/%1/f.bin").arg(options))
                                : real->url(server.endsWith(QStringLiteral("limited")) ? QStringLiteral("/limited/f.bin") : QStringLiteral("/f.bin"));
        const QString part = before == QStringLiteral("copy")         ? QStringLiteral("f.bin.1")
                             : before == QStringLiteral("two copies") ? QStringLiteral("f.bin.2")
                                                                      : QStringLiteral("f.bin");
        // wget continues the part Brindle kept, or fetches the file whole.
        const bool continued = before == QStringLiteral("part") || before == QStringLiteral("copy") || before == QStringLiteral("two copies");
        QFile changed(part);
        if (before == QStringLiteral("changed part"))
            QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write(QByteArray(size / 2, 'c')) == size / 2);
        else if (continued && QFile::copy(source, part))
            QVERIFY(QFile::resize(part, size / 2));
        changed.close();
        if (before == QStringLiteral("two copies")) {
            QFile older(QStringLiteral("f.bin.1"));
            QVERIFY(QFile::copy(source, older.fileName()) && older.resize(size / 4) && older.open(QIODevice::ReadWrite));
            QVERIFY(older.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        }
        for (int i = 1; i <= 6 && before == QStringLiteral("six foreign copies"); ++i) {
            QFile copy(QStringLiteral("f.bin.%1").arg(i));
            QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(QByteArray(size / 8, char('a' + i))) == size / 8);
        }
        if (options.contains(QStringLiteral("auth=")))
            address.insert(7, QStringLiteral("alice:secret@"));
        f.press(address);
        QCOMPARE(f.ending(), PressEnding::Unverified);
        QTEST(f.command.outcome()->detail, "detail");
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), hash);
        QCOMPARE(f.command.outcome()->keptAs.size(), before == QStringLiteral("changed part") ? 1 : 0);
        QCOMPARE(f.command.outcome()->broughtBack.isEmpty(), !continued || before == QStringLiteral("part"));
        if (plan.isEmpty())
            return;

        QFile log(arrivals);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QMap<QString, int> counts; // by kind, in the order HEAD, several, single
        int ranges = 0;
        QList<qint64> times;
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 5)
                continue;
            if (fields[4].startsWith("Wget/")) {
                QCOMPARE(fields[2], continued ? "bytes=" + QByteArray::number(size / 2) + '-' : QByteArray("-"));
                break;
            }
            times << fields[0].toLongLong();
            const int asked = fields[2] == "-" ? 0 : int(fields[2].count(',')) + 1;
            QString kind = asked == 0 ? QStringLiteral("HEAD") : asked == 1 ? QStringLiteral("single") : QStringLiteral("several");
            if (asked > 1 && ranges == 0)
                ranges = asked;
            if (fields[3] != "-")
                kind += QLatin1Char('/') + QString::fromLatin1(fields[3]);
            ++counts[kind];
        }
        QStringList summary;
        for (auto kind = counts.cbegin(); kind != counts.cend(); ++kind)
            summary << kind.key() + QLatin1Char(':')
                           + (kind.key() == QStringLiteral("single") ? (*kind == ranges ? QStringLiteral("all") : QStringLiteral("some"))
                                                                     : QString::number(*kind));
        QVERIFY2(QRegularExpression(QStringLiteral("^(?:%1)$").arg(plan)).match(summary.join(QLatin1Char(' '))).hasMatch(),
                 qPrintable(summary.join(QLatin1Char(' '))));
        if (leastPause > 0) {
            std::sort(times.begin(), times.end());
            QVERIFY(times.size() >= 2 && times.last() - times.first() >= qint64(leastPause) * 1000000);
        }
    }

    // Where the server publishes the file's digest, the digest decides a
    // finished file: one corrupted on the way (4 KiB flipped) is set aside
    // under its own ending, also when wget continued a part, and never
    // brought back; the next press fetches the file whole and verifies it.
    // A digest that cannot be read decides nothing and the line says why.
    void digestDecidesTheFinishedFile_data()
    {
        // %256, %512, %md5: the file's digests in base64; "redirect:", sent on
        // a redirect to the file; "no size:", beside a HEAD's Content-Length
        // that is no number; "told more:", a length longer than the file on HEAD
        // and GET
        QTest::addColumn<QString>("headers");
        QTest::addColumn<bool>("partFirst");
        QTest::addColumn<bool>("corrupted");
        QTest::addColumn<PressEnding>("ending");
        QTest::addColumn<QString>("detail");
        QTest::newRow("Repr-Digest, whole") << "Repr-Digest: sha-256=:%256:" << false << false << PressEnding::Verified << "SHA-256";
        QTest::newRow("Repr-Digest") << "Repr-Digest: sha-512=:%512:" << false << true << PressEnding::DigestDiffers << "SHA-512";
        QTest::newRow("Repr-Digest, a part continued") << "Repr-Digest: sha-256=:%256:" << true << true << PressEnding::DigestDiffers << "SHA-256";
        QTest::newRow("Digest") << "Digest: SHA-256=%256" << false << true << PressEnding::DigestDiffers << "SHA-256";
        // Sent only on the redirect to the file, as mirror redirectors do.
        QTest::newRow("Digest on a redirect") << "redirect:Digest: SHA-256=%256" << false << true << PressEnding::DigestDiffers << "SHA-256";
        QTest::newRow("Content-MD5") << "Content-MD5: %md5" << false << true << PressEnding::DigestDiffers << "MD5";
        QTest::newRow("no length told") << "no size:Repr-Digest: sha-256=:%256:" << false << true << PressEnding::DigestDiffers << "SHA-256";
        QTest::newRow("x-goog-hash") << "x-goog-hash: crc32c=n03x6A==,md5=%md5" << false << true << PressEnding::DigestDiffers << "MD5";
        QTest::newRow("malformed") << "Repr-Digest: sha-256=%256" << false << false << PressEnding::Unverified
                                   << "the published digest decides nothing: malformed Repr-Digest";
        QTest::newRow("shorter than told") << "told more:Repr-Digest: sha-256=:%256:" << false << false << PressEnding::Unverified
                                           << "the published digest decides nothing: the file is shorter than the server's";
    }
    void digestDecidesTheFinishedFile()
    {
        QFETCH(QString, headers);
        QFETCH(bool, partFirst);
        QFETCH(bool, corrupted);
        Fixture f;
        QTemporaryDir site;
        const QString source = site.filePath(QStringLiteral("f.bin"));
        testing::makeFile(source, 3 << 20);
        QFile file(source);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        headers.replace(QStringLiteral("%256"), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toBase64()));
        headers.replace(QStringLiteral("%512"), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha512).toBase64()));
        headers.replace(QStringLiteral("%md5"), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64()));
        // A redirect from g.bin, which alone publishes the digest, leads to f.bin.
        const bool redirect = headers.startsWith(QStringLiteral("redirect:"));
        const auto via = [&](const QString &path) {
            return redirect ? QStringLiteral("/x/redirect=%1/g.bin").arg(QString(path).replace(QLatin1Char('/'), QLatin1Char('!'))) : path;
        };
        headers.remove(QStringLiteral("redirect:"));
        const QString sizeOption = headers.startsWith(QStringLiteral("no size:"))    ? QStringLiteral("cl=abc,")
                                   : headers.startsWith(QStringLiteral("told more:")) ? QStringLiteral("cl=5000000,")
                                                                                      : QString();
        headers.remove(QRegularExpression(QStringLiteral("^(no size|told more):")));
        // wget names the file by the address pressed.
        const QString name = redirect ? QStringLiteral("g.bin") : QStringLiteral("f.bin");
        QFile published(redirect ? site.filePath(QStringLiteral("g.bin.headers")) : source + QStringLiteral(".headers"));
        QVERIFY(published.open(QIODevice::WriteOnly));
        published.write(headers.toUtf8() + '\n');
        published.close();
        testing::TestServer server(site.path());
        if (partFirst) {
            QFile part(name);
            QVERIFY(part.open(QIODevice::WriteOnly));
            part.write(bytes.left(1 << 20));
        }
        // A size of an earlier press's, kept where no length is told.
        if (sizeOption == QStringLiteral("cl=abc,"))
            f.press(server.url(QStringLiteral("/x/gen=1000/earlier.bin")));
        const QString options = sizeOption + (corrupted ? QStringLiteral("corrupt=2000000") : QString());
        f.press(server.url(via(options.isEmpty() ? QStringLiteral("/f.bin") : QStringLiteral("/x/%1/f.bin").arg(options))));
        QTEST(f.ending(), "ending");
        QTEST(f.command.outcome()->detail, "detail");
        QCOMPARE(QFileInfo::exists(name + QStringLiteral(".1")), corrupted);
        if (!corrupted) {
            QCOMPARE(testing::sha256(name), testing::sha256(source));
            return;
        }
        QVERIFY(!QFileInfo::exists(name));
        // A mirror that publishes no digest: nothing can vouch for the
        // copy set aside, which stays aside.
        QTemporaryDir mirrorSite;
        QVERIFY(QFile::copy(source, mirrorSite.filePath(name)));
        testing::TestServer mirror(mirrorSite.path());
        f.press(mirror.url(QLatin1Char('/') + name));
        QVERIFY(f.command.outcome()->broughtBack.isEmpty());
        QCOMPARE(testing::sha256(name), testing::sha256(source));
        f.press(server.url(via(QStringLiteral("/f.bin"))));
        QCOMPARE(f.ending(), PressEnding::Verified);
        QVERIFY(f.command.outcome()->broughtBack.isEmpty());
        QCOMPARE(testing::sha256(name), testing::sha256(source));
    }

    // One answer cannot mix: a server that writes the time into every
    // answer keeps a fresh download under its name. (Slow answers keep the
    // command comparing long enough for the fixture to see the window then.)
    void bodyStampedOnEveryAnswerKeepsItsName()
    {
        Fixture f;
        f.press(QStringLiteral("/x/gen=200000,stamp=1,latency=0.2/page.html"));
        QCOMPARE(QFileInfo(QStringLiteral("page.html")).size(), qint64(200000));
        QVERIFY(!QFileInfo::exists(QStringLiteral("page.html.1")));
    }

    // The size and the comparison ask for the file wget asks for, also
    // where the address holds dot segments (the server answers the path
    // it was asked for).
    void dotSegmentsReachWgetsFile()
    {
        Fixture f;
        f.press(QStringLiteral("/x/echo=1/a/./b/../c"));
        QFile file(QStringLiteral("c"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("/x/echo=1/a/c"));
        QCOMPARE(f.command.totalBytes(), file.size());
    }

    // The size, the comparison and wget all go through the proxy wget's
    // environment names: here the test server, as the address's own port
    // answers nothing.
    void proxyOfTheEnvironment()
    {
        Fixture f;
        const QByteArray before = qgetenv("http_proxy");
        qputenv("http_proxy", f.server.url(QStringLiteral("/")).toLatin1());
        const QString address = QStringLiteral("http://127.0.0.1:1/x/gen=300000/f.bin");
        f.press(address);
        QFile::resize(QStringLiteral("f.bin"), 100000);
        f.press(address);
        qputenv("http_proxy", before);
        QCOMPARE(f.command.totalBytes(), qint64(300000));
        QCOMPARE(QFileInfo(QStringLiteral("f.bin")).size(), qint64(300000));
        QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin.1")));
    }

    // A password in the address shows in no command line, environment or
    // log line, while wget still signs in, names the file as without it, and
    // resumes. Brindle's own requests sign in with the bytes wget sends.
    void passwordStaysPrivate_data()
    {
        QTest::addColumn<QString>("user");     // as written in the address
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("secret"); // what must show nowhere
        QTest::newRow("ASCII") << "alice" << "secret" << QByteArray("secret");
        QTest::newRow("UTF-8") << "j%C3%B6rg" << "p%C3%A4ss%C3%B6" << QByteArray("ss%C3%B6");
    }
    void passwordStaysPrivate()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, secret);
        static QStringList logged;
        logged.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &context, const QString &message) {
                if (QByteArrayView(context.category) == "brindle.download")
                    logged << message;
            });
        const auto restoreHandler = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        Fixture f;
        QTemporaryDir site;
        const QByteArray hash = testing::makeFile(site.filePath(QStringLiteral("f.bin")), 3 << 20);
        testing::Nginx nginx(site.path());
        f.view.text = nginx.url(QStringLiteral("/private/f.bin")).insert(7, user + QLatin1Char(':') + password + QLatin1Char('@'));
        // Every form the password may take: as typed, its escapes in small
        // letters, and its bytes decoded.
        const QStringList forms{QString::fromLatin1(secret), QString::fromLatin1(secret).toLower(),
                                QString::fromUtf8(QByteArray::fromPercentEncoding(secret))};
        QList<int> seenIn;
        const auto look = [&] {
            for (const QString &form : forms)
                seenIn << testing::processesWith(form, testing::Held::Anywhere);
        };
        pressPausingAfter(f, 1200, look);
        QVERIFY(QFileInfo(QStringLiteral("f.bin")).size() < (3 << 20));
        pressPausingAfter(f, -1, look);
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), hash);
        QCOMPARE(seenIn, QList<int>());
        QCOMPARE(f.command.totalBytes(), qint64(3 << 20));
        QCOMPARE(logged.size(), 2);
        QVERIFY(logged.first().contains(QStringLiteral("://") + user + QStringLiteral("@127.0.0.1:")));
        for (const QString &form : forms)
            QCOMPARE(logged.filter(form, Qt::CaseSensitive), QStringList());
        if (platform::landlockAbi() >= 1) // the line says what confined wget
            QVERIFY2(logged.last().contains(QStringLiteral("; wget confined: files")), qPrintable(logged.last()));
    }

    // Brindle's own requests sign in only when the server asks, with the
    // scheme it asks for, where the address points, and never after a
    // redirect to another server (here another port), nor for a later
    // address without a password.
    void signInOnlyWhenAsked_data()
    {
        QTest::addColumn<QString>("options");  // the first server's
        QTest::addColumn<QString>("redirectedTo"); // a path at another server the first redirects to; empty for none
        QTest::addColumn<bool>("later");       // then pressed again without the password
        QTest::addColumn<QString>("schemes");  // Brindle's Authorization schemes at the first server, in order
        QTest::addColumn<PressEnding>("ending");    // of the last press
        QTest::addColumn<bool>("netrc");       // the password in ~/.netrc, not in the address
        QTest::newRow("not asked") << "" << "" << false << "-" << PressEnding::Unverified << false;
        QTest::newRow("Basic") << "auth=basic," << "" << false << "-,basic" << PressEnding::Unverified << false;
        QTest::newRow("Digest") << "auth=digest," << "" << false << "-,digest" << PressEnding::Unverified << false;
        QTest::newRow("Basic and Digest offered") << "auth=both," << "" << false << "-,digest" << PressEnding::Unverified << false;
        QTest::newRow("redirected elsewhere") << "" << "/f.bin" << false << "-" << PressEnding::Unverified << false;
        QTest::newRow("Basic, then redirected elsewhere") << "auth=basic," << "/f.bin" << false << "-,basic" << PressEnding::Unverified << false;
        QTest::newRow("redirected elsewhere, which asks") << "" << "/x/auth=basic/f.bin" << false << "-" << PressEnding::NoAnswer << false;
        QTest::newRow("Digest, then no password") << "auth=digest," << "" << true << "-" << PressEnding::NoAnswer << false;
        QTest::newRow("Basic, from ~/.netrc") << "auth=basic," << "" << false << "-,basic" << PressEnding::Unverified << true;
    }

    void signInOnlyWhenAsked()
    {
        QFETCH(QString, options);
        QFETCH(QString, redirectedTo);
        QFETCH(bool, later);
        Fixture f;
        QTemporaryDir site;
        QTemporaryDir logs;
        testing::makeFile(site.filePath(QStringLiteral("f.bin")), 300000);
        QFile::copy(site.filePath(QStringLiteral("f.bin")), QStringLiteral("f.bin"));
        QFile::resize(QStringLiteral("f.bin"), 100000); // so the stretches are asked for too
        const QString firstLog = logs.filePath(QStringLiteral("first"));
        const QString elsewhereLog = logs.filePath(QStringLiteral("elsewhere"));
        testing::TestServer first(site.path(), firstLog);
        testing::TestServer elsewhere(site.path(), elsewhereLog);
        const QString target = elsewhere.url(redirectedTo).replace(QLatin1Char('/'), QLatin1Char('!'));
        const QString address = first.url(QStringLiteral("/x/%1%2/f.bin")
                                              .arg(options, !redirectedTo.isEmpty() ? QStringLiteral("redirect=%1").arg(target)
                                                                                    : QString()));
        QFETCH(bool, netrc);
        // wget reads the same file, under the same HOME.
        const QByteArray home = qgetenv("HOME");
        const auto restoreHome = qScopeGuard([home] { qputenv("HOME", home); });
        if (netrc) {
            qputenv("HOME", logs.path().toLocal8Bit());
            QFile entries(logs.filePath(QStringLiteral(".netrc")));
            QVERIFY(entries.open(QIODevice::WriteOnly) && entries.write("# mine\nmachine 127.0.0.1\n  login alice password \"s\\ecret\"\n") > 0);
        }
        f.press(netrc ? address : QString(address).insert(7, QStringLiteral("alice:secret@")));
        QCOMPARE(f.command.totalBytes(), f.ending() == PressEnding::Unverified ? qint64(300000) : qint64(0));
        // Brindle's requests, not wget's: the schemes they carried, each once, in order.
        const auto schemes = [](const QString &path) {
            QFile log(path);
            log.open(QIODevice::ReadOnly);
            QStringList schemes;
            for (const QByteArray &line : log.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() >= 5 && !line.contains("Wget") && !schemes.contains(QString::fromLatin1(fields[3])))
                    schemes << QString::fromLatin1(fields[3]);
            }
            QFile::resize(path, 0); // the server appends to it
            return schemes.join(QLatin1Char(','));
        };
        if (later) {
            schemes(firstLog);
            QFile::remove(QStringLiteral("f.bin"));
            f.press(address);
        }
        QTEST(schemes(firstLog), "schemes");
        QTEST(f.ending(), "ending");
        if (!redirectedTo.isEmpty()) {
            QCOMPARE(schemes(elsewhereLog), QStringLiteral("-"));
            // wget, confined to the ports the size request went to, reached the redirect's.
            QCOMPARE(QFileInfo(QStringLiteral("f.bin")).size(), f.ending() == PressEnding::Unverified ? qint64(300000) : qint64(100000));
        }
    }

    // Where a redirect may lead the sign-in: the address's own scheme, host
    // and port only, the port as the scheme implies it.
    void signInOrigin_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("same");
        QTest::newRow("the same") << "http://a:b@h/f" << "http://h/g" << true;
        QTest::newRow("http's port written") << "http://a:b@h/f" << "http://h:80/g" << true;
        QTest::newRow("to https") << "http://a:b@h/f" << "https://h/f" << false;
        QTest::newRow("to https, port 80") << "http://a:b@h/f" << "https://h:80/f" << false;
        QTest::newRow("https, port 443 written") << "https://a:b@h/f" << "https://h:443/f" << true;
        QTest::newRow("https to port 80") << "https://a:b@h/f" << "https://h:80/f" << false;
        QTest::newRow("another host") << "http://a:b@h/f" << "http://i/f" << false;
    }
    void signInOrigin()
    {
        QFETCH(QString, address);
        QFETCH(QString, url);
        QTEST(platform::sameOrigin(QUrl(address), QUrl(url)), "same");
    }

    // wget continues a file only when its bytes are the server's. Any other
    // file is kept whole under the next free copy name and the server's
    // file fetched whole; one that changes while wget runs is set aside as
    // wget ends. Dates and tags decide nothing: a server that stamps every
    // answer anew resumes normally. nginx serves as real sites do; the
    // script server's headers come from a file beside the served one.
    void changedFileIsSetAside_data()
    {
        QTest::addColumn<bool>("nginx");
        QTest::addColumn<QString>("before");     // paused, finished, own (no press), replaced, during, finished, during or longer, during
        QTest::addColumn<QString>("headers");    // the script server's
        QTest::addColumn<qint64>("newSize");     // 0: the server keeps the file
        QTest::addColumn<bool>("copyOneTaken");
        QTest::addColumn<bool>("setAside");
        QTest::addColumn<qint64>("keptHead"); // of the old file's bytes, at the new release's start; -2: all but those
        const qint64 same = 3 << 20;
        const QString stamps = QStringLiteral("Last-Modified: now\nETag: random\n");
        QTest::newRow("unchanged") << true << "paused" << "" << qint64(0) << false << false << qint64(0);
        QTest::newRow("new bytes, same size") << true << "paused" << "" << same << false << true << qint64(0);
        QTest::newRow("new size") << true << "paused" << "" << qint64(2 << 20) << false << true << qint64(0);
        QTest::newRow("first copy name taken") << true << "paused" << "" << same << true << true << qint64(0);
        QTest::newRow("finished, unchanged") << true << "finished" << "" << qint64(0) << false << false << qint64(0);
        QTest::newRow("finished, longer release") << true << "finished" << "" << qint64(4 << 20) << false << true << qint64(0);
        QTest::newRow("finished, shorter release") << true << "finished" << "" << qint64(2 << 20) << false << true << qint64(0);
        QTest::newRow("finished, same-size release") << true << "finished" << "" << same << false << true << qint64(0);
        QTest::newRow("the user's own file") << true << "own" << "" << qint64(0) << false << true << qint64(0);
        QTest::newRow("finished, deleted, the user's own") << true << "replaced" << "" << qint64(0) << false << true << qint64(0);
        // File formats share their first bytes: only the stretch before the
        // part's end tells this release from the old one.
        QTest::newRow("same-size release, first 64 KiB kept") << true << "paused" << "" << same << false << true << qint64(65536);
        QTest::newRow("no validators, same-size release") << false << "paused" << "" << same << false << true << qint64(0);
        QTest::newRow("stamped anew on every answer") << false << "paused" << stamps << qint64(0) << false << false << qint64(0);
        QTest::newRow("changed while wget retries") << false << "during" << "" << same << false << true << qint64(0);
        // Only stretches drawn anew for each press tell these apart: -1
        // keeps the first 64 KiB and the 64 KiB before the part's end.
        QTest::newRow("changed while wget retries, first 64 KiB kept")
            << false << "during" << "" << same << false << true << qint64(65536);
        QTest::newRow("a part matching only where compared before")
            << true << "paused" << "" << same << false << true << qint64(-1);
        // What the server answered before wget ran tells nothing after: a
        // finished file, continued (wget finds nothing more to fetch from a
        // server a second slow to answer), its first 64 KiB changed meanwhile.
        QTest::newRow("finished, first 64 KiB changed while wget runs")
            << false << "finished, during" << "" << same << false << true << qint64(-2);
        // Nor do those to a file longer than the server's, set aside unread,
        // of the file wget then fetches whole.
        QTest::newRow("longer, first 64 KiB changed while wget fetches it")
            << false << "longer, during" << "" << same << false << true << qint64(-2);
    }
    void changedFileIsSetAside()
    {
        QFETCH(bool, nginx);
        QFETCH(QString, before);
        QFETCH(QString, headers);
        QFETCH(qint64, newSize);
        QFETCH(bool, copyOneTaken);
        QFETCH(bool, setAside);
        QFETCH(qint64, keptHead);
        Fixture f;
        QTemporaryDir site;
        const QString served = site.filePath(QStringLiteral("f.bin"));
        testing::makeFile(served, 3 << 20);
        QFile validators(served + QStringLiteral(".headers"));
        QVERIFY(validators.open(QIODevice::WriteOnly));
        validators.write(headers.toUtf8());
        validators.close();
        const QString beforeCopy = site.filePath(QStringLiteral("before"));
        qint64 partial = 0;
        const auto change = [&] {
            QFile old(beforeCopy);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QFile::remove(served);
            QFile file(served);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray release = old.read(std::max<qint64>(keptHead, 0)) + QByteArray(newSize - std::max<qint64>(keptHead, 0), 'n');
            if (keptHead == -2)
                release.replace(65536, newSize - 65536, old.readAll().mid(65536));
            if (keptHead == -1) {
                const QByteArray oldBytes = old.readAll();
                release.replace(0, 65536, oldBytes.left(65536));
                release.replace(partial - 65536, 65536, oldBytes.mid(partial - 65536, 65536));
            }
            file.write(release);
            // nginx's ETag and Last-Modified change with the time even at one size.
            file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
        };
        QFile::copy(served, beforeCopy);
        // Another file's copy, not the server's bytes, so it stays as it is.
        if (copyOneTaken) {
            QFile copy(QStringLiteral("f.bin.1"));
            QVERIFY(copy.open(QIODevice::WriteOnly));
            copy.write(QByteArray(10, 'c'));
        }
        std::unique_ptr<testing::Nginx> realSite;
        std::unique_ptr<testing::TestServer> script;
        if (nginx) {
            realSite = std::make_unique<testing::Nginx>(site.path());
            f.view.text = realSite->url(QStringLiteral("/slow/f.bin"));
        } else {
            script = std::make_unique<testing::TestServer>(site.path());
            // Cut after every MiB, wget resumes in three connections.
            f.view.text = script->url(before == QStringLiteral("during")             ? QStringLiteral("/x/reset=1048576/f.bin")
                                      : before == QStringLiteral("finished, during") ? QStringLiteral("/x/latency=1/f.bin")
                                                                                     : QStringLiteral("/x/rate=1000000/f.bin"));
        }

        const auto ownFile = [&](qint64 size) {
            QFile own(beforeCopy);
            QVERIFY(own.open(QIODevice::WriteOnly));
            own.write(QByteArray(size, 'u'));
            own.close();
            QFile::copy(beforeCopy, QStringLiteral("f.bin"));
        };
        if (before == QStringLiteral("own")) {
            ownFile(1 << 20);
        } else if (before.endsWith(QStringLiteral("during"))) {
            if (before.startsWith(QStringLiteral("finished")))
                pressPausingAfter(f, -1);
            if (before.startsWith(QStringLiteral("longer")))
                QVERIFY(QFile::copy(served, QStringLiteral("f.bin")) && QFile::resize(QStringLiteral("f.bin"), qint64(1) << 30));
            // Changed after wget's second MiB: the stretches drawn over the
            // file then meet the old bytes, all but certainly (ten drawn
            // over a third of it would miss one run in forty).
            bool changed = false;
            pressPausingAfter(f, -1, [&] {
                if (!changed && QFileInfo(QStringLiteral("f.bin")).size() >= (2 << 20)) {
                    changed = true;
                    change();
                }
            });
            QVERIFY(changed);
            // Set aside as wget ended, before any further press.
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
            QVERIFY(QFileInfo::exists(QStringLiteral("f.bin.1")));
        } else {
            pressPausingAfter(f, before == QStringLiteral("paused") ? 1200 : -1);
        }
        if (before == QStringLiteral("replaced")) {
            QVERIFY(QFile::remove(QStringLiteral("f.bin")));
            ownFile(10004);
        }
        partial = QFileInfo(QStringLiteral("f.bin")).size();
        if (before == QStringLiteral("paused"))
            QVERIFY(partial > 0 && partial < (3 << 20));

        if (newSize > 0 && !before.endsWith(QStringLiteral("during")))
            change();
        const QByteArray expected = testing::sha256(served);
        pressPausingAfter(f, -1);
        QCOMPARE(testing::sha256(QStringLiteral("f.bin")), expected);
        const QString setAsideName = copyOneTaken ? QStringLiteral("f.bin.2") : QStringLiteral("f.bin.1");
        QCOMPARE(QFileInfo::exists(setAsideName), setAside);
        // The press that moved the file says where to: the last one, or for a
        // change while wget ran, the one wget ended in.
        const QByteArray copy = f.sandbox.work().toLocal8Bit() + '/' + setAsideName.toLocal8Bit();
        const bool during = before.endsWith(QStringLiteral("during"));
        const PressOutcome &mover = f.view.outcomes.at(f.view.outcomes.size() - (during ? 2 : 1));
        QByteArrayList moved = setAside ? QByteArrayList{copy} : QByteArrayList{};
        if (before.startsWith(QStringLiteral("longer"))) // and then the file wget fetched
            moved << f.sandbox.work().toLocal8Bit() + "/f.bin.2";
        QCOMPARE(mover.keptAs, moved);
        QCOMPARE(f.ending(), PressEnding::Unverified);
        if (setAside && !during) {
            QCOMPARE(QFileInfo(setAsideName).size(), partial);
            QVERIFY(isPrefixOf(setAsideName, beforeCopy));
        }
        if (copyOneTaken)
            QCOMPARE(QFileInfo(QStringLiteral("f.bin.1")).size(), qint64(10));
    }

    // A captive portal answers every request with its sign-in page: the
    // part is set aside and the page downloaded under the name; a second
    // press behind it, the page changed, sets that page aside too. Signed
    // in, the next press sets the page aside and, before fetching the file
    // whole, tries the copies newest first: it brings the part back from
    // behind the first page and continues it from its length.
    void portalCostsNoProgress()
    {
        Fixture f;
        QTemporaryDir site;
        const QByteArray hash = testing::makeFile(site.filePath(QStringLiteral("big.bin")), 3 << 20);
        QTemporaryDir logs;
        const QString requests = logs.filePath(QStringLiteral("requests"));
        testing::TestServer server(site.path(), requests);
        f.view.text = server.url(QStringLiteral("/x/rate=1000000,portal=signin.html/big.bin"));
        pressPausingAfter(f, 1200);
        const qint64 part = QFileInfo(QStringLiteral("big.bin")).size();
        QVERIFY(part > 0 && part < (3 << 20));

        QFile page(site.filePath(QStringLiteral("signin.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(QByteArray(5000, 'p'));
        page.close();
        pressPausingAfter(f, -1);
        QCOMPARE(QFileInfo(QStringLiteral("big.bin")).size(), qint64(5000));
        QCOMPARE(QFileInfo(QStringLiteral("big.bin.1")).size(), part);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(QByteArray(6000, 'q'));
        page.close();
        pressPausingAfter(f, -1);
        QCOMPARE(QFileInfo(QStringLiteral("big.bin.2")).size(), qint64(5000));

        QVERIFY(page.remove()); // signed in
        QFile log(requests);
        QVERIFY(log.open(QIODevice::ReadOnly));
        log.readAll();
        pressPausingAfter(f, -1);
        QCOMPARE(testing::sha256(QStringLiteral("big.bin")), hash);
        QVERIFY(!QFileInfo::exists(QStringLiteral("big.bin.1")));
        QCOMPARE(QFileInfo(QStringLiteral("big.bin.3")).size(), qint64(6000));
        QVERIFY2(log.readAll().contains(" GET bytes=" + QByteArray::number(part) + "- - Wget/"), "wget did not continue the part");
        QCOMPARE(f.view.outcomes.last().keptAs,
                 QByteArrayList{f.sandbox.work().toLocal8Bit() + "/big.bin.3"});
        QCOMPARE(f.view.outcomes.last().broughtBack, f.sandbox.work().toLocal8Bit() + "/big.bin.1");
    }

    // What stands under the file's name: what cannot be opened or is no
    // regular file runs nothing; a file set aside is replaced by a new one
    // that is locked for the whole run; the empty file the lock makes goes
    // again when nothing was written into it, also on closing, and only
    // that file, never a link in its place.
    void whatStandsUnderTheName_data()
    {
        QTest::addColumn<QString>("under");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<bool>("abandon"); // closed during the run
        QTest::addColumn<PressEnding>("ending");
        QTest::newRow("symbolic link loop") << "loop" << false << false << PressEnding::Unlockable;
        QTest::newRow("socket") << "socket" << false << false << PressEnding::Unlockable;
        QTest::newRow("FIFO") << "fifo" << false << false << PressEnding::Unlockable;
        // Another Brindle, or a wget it left, holds the file's lock.
        QTest::newRow("held elsewhere") << "held" << false << false << PressEnding::HeldElsewhere;
        // Wget2 would write f.bin.1 beside the locked file: nothing is made.
        QTest::newRow("Wget2 on PATH") << "Wget2" << false << false << PressEnding::Wget2;
        QTest::newRow("nothing, failing GET") << "" << true << false << PressEnding::Failed;
        QTest::newRow("dangling link, failing GET") << "dangling" << true << false << PressEnding::Failed;
        QTest::newRow("the user's own file") << "own" << true << false << PressEnding::Unverified;
        QTest::newRow("nothing, closed during the run") << "" << true << true << PressEnding::Stopped;
        // The made file moved away during the run, a link to it in its place.
        QTest::newRow("a link put in the made file's place") << "relinked" << true << false << PressEnding::Unverified;
        // Another writer beside wget: the part it continued ends longer than
        // the server's file (a file fetched whole is its answer's).
        QTest::newRow("longer than the server's after the run") << "longer" << true << false << PressEnding::NotTheServers;
        // The user moved it away meanwhile: nothing is said to be set aside.
        QTest::newRow("longer, moved away during the run") << "longer, moved" << true << false << PressEnding::NotSetAside;
        // Another process writes the file without its lock (a wrapper closed
        // it, or the file system has none): the kernel's lease tells, or,
        // for another user's file, /proc.
        QTest::newRow("written by another process") << "written" << false << false << PressEnding::HeldElsewhere;
        QTest::newRow("another user's file, written, no lease") << "written, no lease" << false << false << PressEnding::HeldElsewhere;
    }
    void whatStandsUnderTheName()
    {
        QFETCH(QString, under);
        QFETCH(bool, runs);
        QFETCH(bool, abandon);
        Fixture f;
        QLocalServer socket;
        if (under == QStringLiteral("loop"))
            QVERIFY(QFile::link(QStringLiteral("f.bin"), QStringLiteral("f.bin")));
        else if (under == QStringLiteral("socket"))
            QVERIFY(socket.listen(f.sandbox.work() + QStringLiteral("/f.bin")));
        else if (under == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo("f.bin", 0600), 0);
        else if (under == QStringLiteral("dangling"))
            QVERIFY(QDir().mkdir(QStringLiteral("elsewhere")) && QFile::link(QStringLiteral("elsewhere/made.bin"), QStringLiteral("f.bin")));
        else if (under == QStringLiteral("own") || under == QStringLiteral("held"))
            testing::makeFile(QStringLiteral("f.bin"), 10004);
        QFile part(QStringLiteral("f.bin"));
        if (under.startsWith(QStringLiteral("longer"))) {
            // The first half of the test server's generated bytes.
            QByteArray half;
            for (int i = 0; i < 50; ++i)
                half += char(i * 7);
            QVERIFY(part.open(QIODevice::WriteOnly) && part.write(half) == 50);
            part.close();
        }
        const int holder = under == QStringLiteral("held") ? ::open("f.bin", O_RDONLY | O_CLOEXEC) : -1;
        const auto release = qScopeGuard([holder] {
            if (holder >= 0)
                ::close(holder);
        });
        if (holder >= 0)
            QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        QProcess writer;
        const auto stopWriter = qScopeGuard([&writer] {
            writer.kill();
            writer.waitForFinished();
        });
        std::optional<QScopeGuard<std::function<void()>>> restoreLease;
        if (under.startsWith(QStringLiteral("written"))) {
            testing::makeFile(QStringLiteral("f.bin"), 100);
            if (under.endsWith(QStringLiteral("no lease"))) {
                if (::geteuid() != 0)
                    QSKIP("needs root, to give the file to another user and drop CAP_LEASE");
                QCOMPARE(::chown("f.bin", 65534, 65534), 0);
                restoreLease.emplace(withoutLeaseCapability());
            }
            writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3>>f.bin; echo; exec sleep 30")});
            QVERIFY(writer.waitForReadyRead(5000));
        }
        // Real wget against a GET that fails writes nothing; the stand-in,
        // which writes nothing either, counts the runs.
        std::optional<testing::FakeWget> wget;
        if (under == QStringLiteral("longer"))
            wget.emplace(QStringLiteral("sleep 0.5; head -c 150 /dev/zero >> f.bin"));
        else if (under == QStringLiteral("Wget2"))
            wget.emplace(QStringLiteral("exec sleep 1"),
                         QStringLiteral("GNU Wget2 2.1.0 - multithreaded metalink/file/website downloader\n\n+digest"));
        else if (under == QStringLiteral("longer, moved")) // its first byte tells it has the file open
            wget.emplace(QStringLiteral("exec 4>>f.bin; printf x >&4; sleep 2; head -c 150 /dev/zero >&4"));
        else if (!runs || under == QStringLiteral("own") || under == QStringLiteral("relinked") || abandon)
            wget.emplace(1);
        // Closing writes the press's line, as its end would have.
        if (abandon)
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("f\\.bin: paused \\(closed\\)(; wget (confined: .*|ran unconfined))?$")));
        bool lockedWhileRunning = false;
        QTimer whileRunning;
        QObject::connect(&whileRunning, &QTimer::timeout, [&] {
            // Closed once the stand-in has noted its run.
            if (!f.downloading() || (abandon && wget->calls().isEmpty())
                || (under == QStringLiteral("longer, moved") && QFileInfo(QStringLiteral("f.bin")).size() == 50))
                return;
            whileRunning.stop();
            const int fd = ::open("f.bin", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            lockedWhileRunning = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (fd >= 0)
                ::close(fd);
            if (abandon) {
                f.command.abandon();
                QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin")));
            }
            if (under == QStringLiteral("longer, moved"))
                QVERIFY(QFile::rename(QStringLiteral("f.bin"), QStringLiteral("moved.bin")));
            if (under == QStringLiteral("relinked")) {
                QVERIFY(QFile::rename(QStringLiteral("f.bin"), QStringLiteral("moved.bin")));
                QVERIFY(QFile::link(QStringLiteral("moved.bin"), QStringLiteral("f.bin")));
            }
        });
        whileRunning.start(20);
        // The GET waits half a second, so real wget is seen running.
        // A part is compared first, so its server answers ranges.
        f.press(under.startsWith(QStringLiteral("longer")) ? QStringLiteral("/x/gen=100,latency=0.5/f.bin")
                                                          : QStringLiteral("/x/gen=100,getstatus=404,latency=0.5/f.bin"));
        if (wget)
            QCOMPARE(wget->calls().size(), runs ? 1 : 0);
        // A press that runs nothing is told by wget's calls; one that runs
        // holds the file locked all through.
        if (runs)
            QVERIFY(lockedWhileRunning);
        QTEST(f.ending(), "ending");
        const QFileInfo name(QStringLiteral("f.bin"));
        // A link stays as it was; nothing is made, or removed, where it points.
        const QMap<QString, QString> linkedTo{{"loop", "f.bin"}, {"dangling", "elsewhere/made.bin"}, {"relinked", "moved.bin"}};
        if (linkedTo.contains(under)) {
            QVERIFY(name.isSymLink());
            QCOMPARE(name.symLinkTarget(), QDir::current().absoluteFilePath(linkedTo[under]));
            QCOMPARE(QFileInfo::exists(linkedTo[under]), under == QStringLiteral("relinked"));
        } else if (under == QStringLiteral("own")) {
            QCOMPARE(QFileInfo(QStringLiteral("f.bin.1")).size(), qint64(10004));
            QVERIFY(!name.exists());
        } else if (under == QStringLiteral("Wget2")) {
            QCOMPARE(testing::namesIn(QDir::currentPath().toLocal8Bit()), QList<QByteArray>());
            QVERIFY(describe(shownAddress(f.view.text), *f.command.outcome())
                        .endsWith(QStringLiteral("f.bin: not downloaded: the wget on PATH is Wget2, which does not continue a file; Brindle needs GNU Wget 1.x")));
        } else if (under == QStringLiteral("held")) {
            QCOMPARE(name.size(), qint64(10004));
            QVERIFY(!QFileInfo::exists(QStringLiteral("f.bin.1")));
        } else if (under == QStringLiteral("longer")) {
            QCOMPARE(QFileInfo(QStringLiteral("f.bin.1")).size(), qint64(200));
            QVERIFY(!name.exists());
        } else if (under == QStringLiteral("longer, moved")) {
            QCOMPARE(QFileInfo(QStringLiteral("moved.bin")).size(), qint64(201));
            QVERIFY(f.command.outcome()->keptAs.isEmpty());
            QVERIFY(!name.exists() && !QFileInfo::exists(QStringLiteral("f.bin.1")));
        } else if (runs) {
            QVERIFY(!name.exists());
            // The window hears the end once the empty file has gone.
            if (!abandon)
                QCOMPARE(f.view.fileAtEnd.last(), false);
        }
    }
};

QTEST_GUILESS_MAIN(DownloadCommandTest)
#include "download_command_test.moc"
