// How soon the window answers while the desktop does not: another thread
// asks the window for the button's text every 20 ms, as the accessibility
// bus's requests are answered, through a download whose end is notified and
// a second after it, with a notification service and a portal that never
// answer (the portal asked to keep the computer awake while wget runs), a
// session and a system bus that accept the connection and never speak, and
// no bus at all. Prints table rows.
#include "app/main_window.h"
#include "support/helpers.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLocalServer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

// A notification service that takes every call and answers none.
class SilentService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit SilentService(const QString &address)
        : bus_(QDBusConnection::connectToBus(address, QStringLiteral("silent")))
    {
        bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
        bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    int calls = 0;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &, const QString &, const QStringList &,
                const QVariantMap &, int)
    {
        ++calls;
        setDelayedReply(true);
        return 0;
    }

private:
    QDBusConnection bus_;
};

// The portal's Inhibit, taking every call and answering none.
class SilentPortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    int calls = 0;

public slots:
    QDBusObjectPath Inhibit(const QString &, uint, const QVariantMap &)
    {
        ++calls;
        setDelayedReply(true);
        return {};
    }
};

// The answers' times in milliseconds: during a press of `address` in a new
// window and for a second after it.
std::vector<double> answerTimes(const QString &address)
{
    QFile::remove(QStringLiteral("f.bin")); // fetched whole every time
    app::MainWindow window([] {});
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    std::vector<double> times;
    std::atomic<bool> done = false;
    QThread *asker = QThread::create([&] {
        while (!done) {
            QElapsedTimer clock;
            clock.start();
            QMetaObject::invokeMethod(button, [&] { (void)button->text(); }, Qt::BlockingQueuedConnection);
            times.push_back(clock.nsecsElapsed() / 1e6);
            QThread::msleep(20);
        }
    });
    asker->start();
    window.findChild<QLineEdit *>(QStringLiteral("addressBox"))->setText(address);
    button->click();
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    done = true;
    while (!asker->wait(QDeadlineTimer(10)))
        QCoreApplication::processEvents();
    delete asker;
    return times;
}

void row(const char *desktop, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const double p95 = times[static_cast<std::size_t>(0.95 * static_cast<double>(times.size() - 1) + 0.5)];
    std::printf("| The window's answer, %s, 2 s download and 1 s after, p95 and max of %zu | %.2f ms, %.2f ms | "
                "at most 50 ms |\n",
                desktop, times.size(), p95, times.back());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const testing::Sandbox sandbox;
    QTemporaryDir root;
    const testing::TestServer server(root.path());
    const QString address = server.url(QStringLiteral("/x/gen=4194304,rate=2097152/f.bin"));

    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                              QStringLiteral("--print-address=1")});
    bus.waitForReadyRead(10000);
    const QByteArray busAddress = bus.readLine().trimmed();
    {
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);
        SilentService service(QString::fromUtf8(busAddress));
        SilentPortal portal;
        QDBusConnection bus = QDBusConnection(QStringLiteral("silent"));
        bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal, QDBusConnection::ExportAllSlots);
        bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        row("notification service and portal that never answer", answerTimes(address));
        if (service.calls != 1 || portal.calls != 1)
            std::printf("(the service got %d calls and the portal %d, not 1 each)\n", service.calls, portal.calls);
    }
    bus.terminate();
    bus.waitForFinished();

    {
        // Connections wait in the backlog, never read.
        QTemporaryDir folder;
        QLocalServer silent;
        silent.listen(folder.filePath(QStringLiteral("bus")));
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + silent.fullServerName().toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + silent.fullServerName().toUtf8());
        row("session and system bus that never speak", answerTimes(address));
    }

    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    row("no bus", answerTimes(address));
    return 0;
}

#include "desktop_figures.moc"
