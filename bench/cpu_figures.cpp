// Processor time of Brindle's own process (wget excluded) while it waits on
// a slow size probe and during a throttled download, and the wall time of a
// loopback download through Brindle against wget alone. Prints table rows.
#include "app/main_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Measure
{
    double wall;
    double cpu;
};

Measure press(app::MainWindow &window, const QString &address)
{
    window.findChild<QLineEdit *>(QStringLiteral("addressBox"))->setText(address);
    QElapsedTimer clock;
    clock.start();
    const double before = cpuSeconds();
    window.findChild<QPushButton *>(QStringLiteral("downloadButton"))->click();
    return {clock.elapsed() / 1000.0, cpuSeconds() - before};
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir config, work, root;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir::setCurrent(work.path());

    QProcess server;
    server.start(QStringLiteral("python3"), {QStringLiteral(BRINDLE_SOURCE_DIR "/tools/test_server.py"),
                                             QStringLiteral("--root"), root.path()});
    server.waitForReadyRead(10000);
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.readLine().trimmed().toInt());

    app::MainWindow window([] {});
    const Measure probe = press(window, base + QStringLiteral("/x/gen=10,cl=0,headdelay=5/p.bin"));
    std::printf("| CPU of a 5 s stalled probe | %.3f s | under 0.05 s |\n", probe.cpu);

    const Measure throttled = press(window, base + QStringLiteral("/x/gen=20971520,rate=1048576/t.bin"));
    std::printf("| CPU over a %.0f s throttled download | %.2f %% of a core (%.3f s) | under 1 %% |\n",
                throttled.wall, 100 * throttled.cpu / throttled.wall, throttled.cpu);

    // A real file, fetched by wget alone before and after Brindle; the
    // faster of the two stands for wget.
    QFile source(root.filePath(QStringLiteral("big.bin")));
    source.open(QIODevice::WriteOnly);
    const QByteArray block(1 << 20, 'b');
    for (int i = 0; i < 200; ++i)
        source.write(block);
    source.close();
    const QString big = base + QStringLiteral("/big.bin");
    auto wgetAlone = [&] {
        QFile::remove(QStringLiteral("big.bin"));
        QElapsedTimer clock;
        clock.start();
        QProcess::execute(QStringLiteral("wget"), {QStringLiteral("-q"), QStringLiteral("-c"), big});
        return clock.elapsed() / 1000.0;
    };
    double alone = wgetAlone();
    QFile::remove(QStringLiteral("big.bin"));
    const Measure through = press(window, big);
    alone = std::min(alone, wgetAlone());
    std::printf("| 200 MB loopback download, wall time | %.2f s through Brindle, %.2f s wget alone (+%.2f s) | "
                "at most about 1 s added |\n",
                through.wall, alone, through.wall - alone);
    server.kill();
    server.waitForFinished();
    return 0;
}
