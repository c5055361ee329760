// Processor time of Brindle's own process (wget excluded) while it waits on
// a slow size probe and during a throttled download; how soon the window
// answers during a download (Pause, the end of wget, a request from another
// thread as the accessibility bus sends them); the time from the size
// request's arrival at the server to real wget's GET, fresh and resuming,
// with 50 and 150 ms of round trip; and the wall time of a loopback
// download through Brindle against wget alone, into no file and into the
// empty file Brindle's lock makes. Prints table rows.
#include "app/main_window.h"
#include "support/helpers.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

testing::Cost press(app::MainWindow &window, const QString &address)
{
    window.findChild<QLineEdit *>(QStringLiteral("addressBox"))->setText(address);
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    return testing::costOf([button] { button->click(); });
}

// The value below which `share` of the samples lie, in milliseconds.
double percentile(std::vector<double> samples, double share)
{
    std::sort(samples.begin(), samples.end());
    const auto at = static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[at];
}

// Presses Download and, once the caption reads "Pause", Pause: the time from
// the Pause click until the press that started the download has returned,
// which it does once wget is gone.
double pauseToIdle(app::MainWindow &window, const QString &address)
{
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    QElapsedTimer sincePause;
    QTimer::singleShot(700, &window, [&] {
        sincePause.start();
        button->click();
    });
    press(window, address);
    return sincePause.nsecsElapsed() / 1e6;
}

// Runs a stand-in wget that notes the wall-clock time of its end and exits;
// the time from that end until the press has returned and the caption reads
// "Download" again.
double endToIdle(app::MainWindow &window, const QString &address, const testing::FakeWget &wget)
{
    press(window, address);
    const qint64 idleAt = QDateTime::currentMSecsSinceEpoch();
    // The last run's line: each run reports one.
    return static_cast<double>(idleAt - wget.reports().trimmed().split('\n').last().toLongLong() / 1000000);
}

// During a download, another thread asks the window for the button's text
// every 20 ms and waits for the answer, as the accessibility bus's requests
// are answered; the answers' times in milliseconds.
std::vector<double> requestTimes(app::MainWindow &window, const QString &address)
{
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    std::vector<double> times;
    std::atomic<bool> done = false;
    QThread *asker = QThread::create([&] {
        while (!done) {
            QElapsedTimer clock;
            clock.start();
            QString text;
            QMetaObject::invokeMethod(button, [&] { text = button->text(); }, Qt::BlockingQueuedConnection);
            if (text == QStringLiteral("Pause"))
                times.push_back(clock.nsecsElapsed() / 1e6);
            QThread::msleep(20);
        }
    });
    QTimer::singleShot(0, &window, [asker] { asker->start(); });
    press(window, address);
    done = true;
    // The last request may wait for this loop.
    while (!asker->wait(QDeadlineTimer(10)))
        QCoreApplication::processEvents();
    delete asker;
    return times;
}

// Nanoseconds on the wall clock, as `date +%s%N` prints them.
qint64 wallNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// When requests arrived at the test server, from its log: the first HEAD and
// wget's first GET since the last restart.
class Arrivals
{
public:
    explicit Arrivals(const QString &log) : log_(log) { log_.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    void restart()
    {
        readOn();
        head_.reset();
        wgetGet_.reset();
    }
    bool wgetGetArrived()
    {
        readOn();
        return wgetGet_.has_value();
    }
    std::optional<qint64> head() const { return head_; }
    std::optional<qint64> wgetGet() const { return wgetGet_; }

private:
    // Each line: nanoseconds, verb, Range, "auth" or "-", User-Agent.
    void readOn()
    {
        for (;;) {
            const qint64 at = log_.pos();
            const QByteArray line = log_.readLine();
            if (!line.endsWith('\n')) { // none yet, or one still being written
                log_.seek(at);
                return;
            }
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 5)
                continue;
            if (fields[1] == "HEAD" && !head_)
                head_ = fields[0].toLongLong();
            if (fields[1] == "GET" && fields[4].startsWith("Wget/") && !wgetGet_)
                wgetGet_ = fields[0].toLongLong();
        }
    }

    QFile log_;
    std::optional<qint64> head_;
    std::optional<qint64> wgetGet_;
};

// Presses Download, and Pause as soon as wget's GET has reached the server:
// the time from the HEAD's arrival to that GET's, in milliseconds.
double headToWgetGet(app::MainWindow &window, const QString &address, Arrivals &arrivals)
{
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    arrivals.restart();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (arrivals.wgetGetArrived()) {
            poll.stop();
            button->click();
        }
    });
    poll.start(5);
    press(window, address);
    if (!arrivals.head() || !arrivals.wgetGet())
        qFatal("no HEAD, or no GET from wget, reached the server");
    return (*arrivals.wgetGet() - *arrivals.head()) / 1e6;
}

// Starts `wget -c` and ends it once its GET has reached the server: the time
// from its start to that GET's arrival, in milliseconds.
double wgetStartToGet(const QString &address, Arrivals &arrivals)
{
    arrivals.restart();
    QProcess wget;
    wget.setStandardOutputFile(QProcess::nullDevice());
    wget.setStandardErrorFile(QProcess::nullDevice());
    const qint64 startedAt = wallNanoseconds();
    wget.start(QStringLiteral("wget"), {QStringLiteral("-c"), address});
    while (!arrivals.wgetGetArrived() && !wget.waitForFinished(2)) {
    }
    wget.kill();
    wget.waitForFinished();
    if (!arrivals.wgetGet())
        qFatal("wget's GET did not reach the server");
    return (*arrivals.wgetGet() - startedAt) / 1e6;
}

// tools/delay_proxy.py in front of the test server at `port`, adding
// `roundTrip` milliseconds; its address.
QString startRelay(QProcess &relay, const QString &port, int roundTrip)
{
    relay.start(QStringLiteral("python3"), {QStringLiteral(BRINDLE_SOURCE_DIR "/tools/delay_proxy.py"), port,
                                            QString::number(roundTrip)});
    relay.waitForReadyRead(10000);
    return QStringLiteral("http://127.0.0.1:%1").arg(relay.readLine().trimmed().toInt());
}

// From the HEAD's arrival to real wget's GET through a relay adding
// `roundTrip` ms, median of 3: a fresh download, the resume of a 10 MB part
// of the 20 MB `source` (served as resume.bin), and wget alone from its start;
// the test server answering several ranges as its `options` say, `server`
// names that way.
void roundTripRow(app::MainWindow &window, const QString &port, const QString &source, Arrivals &arrivals,
                  int roundTrip, const QString &options, const char *server)
{
    QProcess relay;
    // At 2 MB a second the server sends its first 100 KB at once: the
    // comparison's 64 KiB answers come whole, and wget gets little before
    // it is ended.
    const QString address = startRelay(relay, port, roundTrip) + QStringLiteral("/x/%1rate=2097152/resume.bin").arg(options);
    std::vector<double> fresh;
    std::vector<double> resumed;
    std::vector<double> alone;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(QStringLiteral("resume.bin"));
        fresh.push_back(headToWgetGet(window, address, arrivals));
        QFile::remove(QStringLiteral("resume.bin"));
        QFile::copy(source, QStringLiteral("resume.bin"));
        QFile::resize(QStringLiteral("resume.bin"), 10 << 20);
        resumed.push_back(headToWgetGet(window, address, arrivals));
        QFile::remove(QStringLiteral("resume.bin"));
        alone.push_back(wgetStartToGet(address, arrivals));
    }
    QFile::remove(QStringLiteral("resume.bin"));
    relay.kill();
    relay.waitForFinished();
    const double freshMedian = percentile(fresh, 0.5);
    const double resumedMedian = percentile(resumed, 0.5);
    std::printf("| HEAD's arrival to wget's GET at the server, %d ms of added round trip, %s, median of 3 | fresh "
                "%.0f ms, resume of a 10 MB part %.0f ms (%+.0f ms); wget alone from its start %.0f ms | resume "
                "at most %s above fresh |\n",
                roundTrip, server, freshMedian, resumedMedian, resumedMedian - freshMedian, percentile(alone, 0.5),
                options.isEmpty() ? "one round trip" : "two round trips");
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const testing::Sandbox sandbox;
    QTemporaryDir root;
    QTemporaryDir logs;
    const QString requestLog = logs.filePath(QStringLiteral("requests"));
    const testing::TestServer server(root.path(), requestLog);
    Arrivals arrivals(requestLog);
    const QString base = server.url(QString());

    app::MainWindow window([] {});
    const testing::Cost probe = press(window, base + QStringLiteral("/x/gen=10,cl=0,headdelay=5/p.bin"));
    std::printf("| CPU of a 5 s stalled probe | %.3f s | under 0.05 s |\n", probe.cpuSeconds);

    const testing::Cost throttled = press(window, base + QStringLiteral("/x/gen=20971520,rate=1048576/t.bin"));
    std::printf("| CPU over a %.0f s throttled download | %.2f %% of a core (%.3f s) | under 1 %% |\n",
                throttled.seconds, 100 * throttled.cpuSeconds / throttled.seconds, throttled.cpuSeconds);

    std::vector<double> pauses;
    for (int i = 0; i < 10; ++i) {
        QFile::remove(QStringLiteral("pause.bin"));
        pauses.push_back(pauseToIdle(window, base + QStringLiteral("/x/gen=20971520,rate=1048576/pause.bin")));
    }
    std::printf("| Pause click to wget gone and the window idle, median of 10 | %.1f ms | at most 50 ms |\n",
                percentile(pauses, 0.5));

    const std::vector<double> requests =
        requestTimes(window, base + QStringLiteral("/x/gen=10485760,rate=2097152/requests.bin"));
    std::printf("| A request from another thread during a 5 s download, p95 of %zu | %.2f ms | at most 50 ms |\n",
                requests.size(), percentile(requests, 0.95));

    {
        // The stand-in reports when it ends: confined, it can open nothing
        // of the bench's.
        const testing::FakeWget wget(QStringLiteral("sleep 0.3\ndate +%s%N >\"$report\""));
        std::vector<double> ends;
        for (int i = 0; i < 10; ++i)
            ends.push_back(endToIdle(window, base + QStringLiteral("/x/gen=10/end.bin"), wget));
        std::printf("| wget's end to the button reading Download, median of 10 | %.0f ms | at most 50 ms |\n",
                    percentile(ends, 0.5));
    }

    {
        QFile source(root.filePath(QStringLiteral("resume.bin")));
        source.open(QIODevice::WriteOnly);
        QRandomGenerator generator(7);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < 20; ++i) {
            generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            source.write(block);
        }
        source.close();
        const std::pair<QString, const char *> servers[] = {
            {QString(), "several ranges answered"},
            {QStringLiteral("multirange=416,"), "several ranges refused (416)"},
            {QStringLiteral("multirange=10,"), "the first ten ranges answered"}};
        for (const auto &[options, server] : servers)
            for (const int roundTrip : {50, 150})
                roundTripRow(window, base.section(QLatin1Char(':'), -1), source.fileName(), arrivals, roundTrip,
                             options, server);
    }

    // A real file, fetched by wget alone and through Brindle.
    QFile source(root.filePath(QStringLiteral("big.bin")));
    source.open(QIODevice::WriteOnly);
    const QByteArray block(1 << 20, 'b');
    for (int i = 0; i < 200; ++i)
        source.write(block);
    source.close();
    const QString big = base + QStringLiteral("/big.bin");
    // Each run starts with nothing left to write back, so none pays for the
    // one before it. `emptyFirst` creates the file empty first, as the lock
    // does before Brindle starts wget.
    auto wgetAlone = [&](bool emptyFirst) {
        QFile::remove(QStringLiteral("big.bin"));
        if (emptyFirst)
            QFile(QStringLiteral("big.bin")).open(QIODevice::WriteOnly);
        ::sync();
        // Exactly as Brindle runs it: wget's own progress output, thrown
        // away, costs it time too.
        QProcess wget;
        wget.setStandardOutputFile(QProcess::nullDevice());
        wget.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        wget.start(QStringLiteral("wget"), {QStringLiteral("-c"), big});
        wget.waitForFinished(-1);
        return clock.elapsed() / 1000.0;
    };
    // Five of each, taken in turns; the medians stand for each.
    std::vector<double> alone;
    std::vector<double> intoEmpty;
    std::vector<double> through;
    for (int i = 0; i < 5; ++i) {
        alone.push_back(wgetAlone(false));
        intoEmpty.push_back(wgetAlone(true));
        QFile::remove(QStringLiteral("big.bin"));
        ::sync();
        through.push_back(press(window, big).seconds);
    }
    const double aloneMedian = percentile(alone, 0.5);
    const double intoEmptyMedian = percentile(intoEmpty, 0.5);
    const double throughMedian = percentile(through, 0.5);
    std::printf("| 200 MB loopback download, wall time, median of 5 | %.2f s through Brindle, %.2f s wget alone "
                "(+%.2f s) | at most 0.1 s added |\n",
                throughMedian, aloneMedian, throughMedian - aloneMedian);
    std::printf("| The same, wget alone into an empty file made first as the lock makes it, median of 5 "
                "| %.2f s (%+.2f s of wget's own, leaving Brindle's own %+.2f s) | Brindle's own near 0 |\n",
                intoEmptyMedian, intoEmptyMedian - aloneMedian, throughMedian - intoEmptyMedian);
    return 0;
}
