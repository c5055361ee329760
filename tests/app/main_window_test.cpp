#include "app/desktop_report.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/translations.h"
#include "app/window_layout.h"
#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "download/remembered_address.h"
#include "platform/screen_metric.h"
#include "platform/settings_store.h"
#include "progress/twips.h"
#include "support/helpers.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using app::MainWindow;

namespace {
const QString kBuiltTranslations = QStringLiteral(BRINDLE_BUILT_TRANSLATIONS);

template <typename T = QWidget>
T *child(MainWindow &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

// The XDG desktop portal's Inhibit, standing in: it answers with the
// request's path as the portal makes it, or never answers, and notes each
// Inhibit and each request closed.
class Portal : public QDBusVirtualObject
{
public:
    struct Inhibit
    {
        uint flags;
        QString reason, request;
    };
    explicit Portal(bool answers) : answers_(answers) {}
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == QStringLiteral("Inhibit")) {
            const auto options = qdbus_cast<QVariantMap>(message.arguments().at(2));
            const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/")
                                    + message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'))
                                    + QLatin1Char('/') + options.value(QStringLiteral("handle_token")).toString();
            inhibits << Inhibit{message.arguments().at(1).toUInt(), options.value(QStringLiteral("reason")).toString(), request};
            sender = message.service();
            if (answers_)
                connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            return true;
        }
        if (message.member() == QStringLiteral("Close")) {
            closed << message.path();
            connection.send(message.createReply());
            return true;
        }
        return false;
    }
    // Asked once, and not closed yet.
    bool holds() const { return inhibits.size() == 1 && closed.isEmpty(); }
    QList<Inhibit> inhibits;
    QStringList closed;
    QString sender; // the connection that asked last

private:
    bool answers_;
};

// logind's Inhibit, standing in: its descriptor is a pipe's end, and the
// hold is let go once no process has that end open.
class Logind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~Logind() override { ::close(held_); }
    // The descriptor given out is closed wherever it went.
    bool letGo() const
    {
        pollfd end{held_, POLLIN, 0};
        return held_ >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }
    bool holds() const { return asked.size() == 1 && held_ >= 0 && !letGo(); }
    QList<QStringList> asked;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        asked << QStringList{what, who, why, mode};
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        held_ = ends[0];
        const QDBusUnixFileDescriptor given(ends[1]);
        ::close(ends[1]);
        return given;
    }

private:
    int held_ = -1;
};

// A file manager's ShowItems, noting what it was asked to show.
class FileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public slots:
    void ShowItems(const QStringList &uris, const QString &) { shown << uris; }

public:
    QList<QStringList> shown;
};

// The accessible name of `control` as a screen reader reaches it, walking
// the window's accessible tree from its root; empty where the walk never
// comes to it.
QString reachedName(QAccessibleInterface *from, QObject *control)
{
    if (!from)
        return {};
    if (from->object() == control)
        return from->text(QAccessible::Name);
    for (int i = 0; i < from->childCount(); ++i)
        if (QString name = reachedName(from->child(i), control); !name.isEmpty())
            return name;
    return {};
}

// The desktop on the test's private session bus: a stand-in notification
// service, which answers or never does, a listener for the task bar's
// signals, and, where a row asks, a portal that answers or not, logind, and
// a file manager.
class Desktop : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice
    {
        QString application, icon, summary, body;
        QStringList actions;
        QVariantMap hints;
    };
    struct Services
    {
        QString portal; // "answers", "silent" or "" for none
        bool logind = false;
        bool fileManager = false;
    };
    Desktop(bool answers, const Services &services)
        : portal(services.portal == QStringLiteral("answers")),
          answers_(answers),
          bus_(QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("desktop")))
    {
        bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
        bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
        bus_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"),
                     this, SLOT(onUpdate(QString, QVariantMap)));
        if (!services.portal.isEmpty()) {
            bus_.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal, QDBusConnection::SubPath);
            bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        }
        if (services.logind) {
            bus_.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind, QDBusConnection::ExportAllSlots);
            bus_.registerService(QStringLiteral("org.freedesktop.login1"));
        }
        if (services.fileManager) {
            bus_.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager, QDBusConnection::ExportAllSlots);
            bus_.registerService(QStringLiteral("org.freedesktop.FileManager1"));
        }
    }
    ~Desktop() override { QDBusConnection::disconnectFromBus(QStringLiteral("desktop")); }
    // Whether `name` is still on the bus.
    bool onBus(const QString &name) const { return bus_.interface()->isServiceRegistered(name); }
    // The user chose an action of the notification `id`.
    void invoke(uint id, const QString &action)
    {
        QDBusMessage invoked = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                          QStringLiteral("org.freedesktop.Notifications"),
                                                          QStringLiteral("ActionInvoked"));
        bus_.send(invoked << id << action);
    }
    QList<Notice> notices;
    QList<QVariantMap> updates; // the task bar's, for Brindle's entry only
    Portal portal;
    Logind logind;
    FileManager fileManager;

public slots:
    uint Notify(const QString &application, uint, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        notices << Notice{application, icon, summary, body, actions, hints};
        if (!answers_)
            setDelayedReply(true); // and the reply never comes
        return uint(notices.size());
    }
    void onUpdate(const QString &entry, const QVariantMap &properties)
    {
        if (entry == QStringLiteral("application://org.example.Brindle.desktop"))
            updates << properties;
    }

private:
    bool answers_;
    QDBusConnection bus_;
};

// The file's origin attribute; nothing when it has none, or where files
// in its folder keep no user attributes at all (ENOTSUP).
std::optional<QByteArray> originOf(const QString &path)
{
    QByteArray value(4096, '\0');
    const ssize_t length = ::getxattr(QFile::encodeName(path).constData(), "user.xdg.origin.url", value.data(), value.size());
    return length < 0 ? std::nullopt : std::optional(value.first(length));
}
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
    // A session bus of the test's own, which activates no service.
    QProcess bus_;
    QTemporaryDir busDir_;

private slots:
    void initTestCase()
    {
        const QString config = busDir_.filePath(QStringLiteral("session.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<busconfig><type>session</type><listen>unix:tmpdir=" + busDir_.path().toUtf8()
                   + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        file.close();
        bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address=1")});
        QVERIFY(bus_.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.readLine().trimmed());
    }
    void cleanupTestCase()
    {
        bus_.terminate();
        bus_.waitForFinished();
    }

    // Each control at its place with its text, as the eye and a screen
    // reader get it, in English and in every translation; every caption
    // fits its place whole. The places are those at 96 dpi; ctest runs this
    // again at 144 dpi on a virtual X display, for the captions alone.
    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("language"); // empty: no catalogue, as in the C locale
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("spoken"); // the accessible name a screen reader reaches
        const auto row = [](const char *language, const char *name, QRect geometry, const QString &text,
                            const QString &spoken) {
            QTest::addRow("%s %s", *language ? language : "C", name) << language << name << geometry << text << spoken;
        };
        row("", "addressCaption", QRect(8, 8, 49, 17), "File URL", "File URL");
        row("", "addressBox", QRect(64, 5, 201, 25), "http://", "File URL");
        row("", "downloadButton", QRect(280, 0, 65, 33), "Download", "Download");
        row("", "totalSize", QRect(80, 56, 209, 25), "0", "0");
        row("", "currentSize", QRect(80, 88, 201, 25), "0", "0");
        row("", "totalSizeCaption", QRect(8, 56, 57, 17), "Total (MB)", "Total (MB)");
        row("", "currentSizeCaption", QRect(8, 88, 65, 17), "Current (MB)", "Current (MB)");
        row("", "progressBar", QRect(40, 120, 281, 25), "", "Download progress");
        // On the bar, whose value a screen reader gets instead.
        row("", "percentLabel", QRect(132, 4, 33, 17), "0%", "");
        row("", "makerLink", QRect(232, 152, 129, 17), app::kMakerAddress, app::kMakerAddress);
        // Every language of translations/LINGUAS, with its catalogue's texts.
        // A caption longer than "Download" widens the button to the left
        // (the widths measured for the languages written here).
        const QMap<QString, QRect> buttons = {{"de", QRect(268, 0, 77, 33)},
                                              {"fr", QRect(279, 0, 66, 33)},
                                              {"es", QRect(280, 0, 65, 33)}};
        for (const QString &language : testing::translatedLanguages()) {
            const QByteArray code = language.toLatin1();
            const auto text = [&](const char *english) { return testing::windowText(language, english); };
            row(code, "addressCaption", QRect(8, 8, 49, 17), text("File URL"), text("File URL"));
            row(code, "addressBox", QRect(64, 5, 201, 25), "http://", text("File URL"));
            row(code, "downloadButton", buttons.value(language), text("Download"), text("Download"));
            row(code, "totalSizeCaption", QRect(8, 56, 57, 17), text("Total (MB)"), text("Total (MB)"));
            row(code, "currentSizeCaption", QRect(8, 88, 65, 17), text("Current (MB)"), text("Current (MB)"));
            row(code, "progressBar", QRect(40, 120, 281, 25), "", text("Download progress"));
        }
    }
    void controlsAtTheirPlaces()
    {
        testing::Sandbox sandbox;
        QFETCH(QString, language);
        app::installTranslations(language.isEmpty() ? QLocale::c() : QLocale(language), kBuiltTranslations);
        const auto english = qScopeGuard([] { app::installTranslations(QLocale::c()); });
        MainWindow window([] {});
        QFETCH(QString, name);
        QWidget *control = child(window, qPrintable(name));
        QVERIFY(control);
        QFETCH(QRect, geometry);
        if (platform::screenTwipsPerPixel() == 15 && geometry.isValid())
            QCOMPARE(control->geometry(), geometry);
        // The button of any language keeps its right edge and grows to the
        // left only, never over the address box.
        if (name == QLatin1String("downloadButton") && platform::screenTwipsPerPixel() == 15) {
            QCOMPARE(control->geometry().right(), 344);
            QCOMPARE(control->geometry().height(), 33);
            QVERIFY(control->geometry().left() > child(window, "addressBox")->geometry().right());
        }
        QFETCH(QString, text);
        QRect room = control->contentsRect();
        if (auto *label = qobject_cast<QLabel *>(control))
            QCOMPARE(label->text(), text);
        if (auto *edit = qobject_cast<QLineEdit *>(control))
            QCOMPARE(edit->text(), text);
        if (auto *button = qobject_cast<QPushButton *>(control)) {
            QCOMPARE(button->text(), text);
            QStyleOptionButton option;
            option.initFrom(button);
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        }
        const QSize needed = control->fontMetrics().size(Qt::TextSingleLine, text);
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                 qPrintable(QStringLiteral("%1 wide, room for %2").arg(needed.width()).arg(room.width())));
        QFETCH(QString, spoken);
        QCOMPARE(reachedName(QAccessible::queryAccessibleInterface(&window), control), spoken);
    }

    void windowShapeKeysAndAccessibility()
    {
        testing::Sandbox sandbox;
        MainWindow window([] {});
        QCOMPARE(window.windowTitle(), QStringLiteral("Brindle"));
        // The window keeps the layout's size: resizing and maximising change
        // nothing; it can be minimised.
        const QSize layout(progress::wholePixels(app::layout::kWindowWidth, platform::screenTwipsPerPixel()),
                           progress::wholePixels(app::layout::kWindowHeight, platform::screenTwipsPerPixel()));
        window.show();
        window.resize(layout * 2);
        window.showMaximized();
        QCOMPARE(window.size(), layout);
        QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
        auto *addressBox = child<QLineEdit>(window, "addressBox");
        auto *downloadButton = child<QPushButton>(window, "downloadButton");
        QCOMPARE(addressBox->nextInFocusChain(), downloadButton);
        // What a screen reader gets: each field labelled by its caption.
        for (const auto &[field, caption] : {std::pair{"addressBox", "addressCaption"},
                                             {"totalSize", "totalSizeCaption"},
                                             {"currentSize", "currentSizeCaption"}}) {
            const auto labels = QAccessible::queryAccessibleInterface(child(window, field))->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.first().first->object(), child(window, caption));
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(addressBox)->text(QAccessible::Name), QStringLiteral("File URL"));
        QCOMPARE(QAccessible::queryAccessibleInterface(child(window, "totalSize"))->text(QAccessible::Name), QStringLiteral("0"));
        // Idle, the figures follow the file the box names within a beat.
        addressBox->setText(QStringLiteral("http://h/grown.bin"));
        testing::makeFile(QStringLiteral("grown.bin"), 3 << 19);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(window, "currentSize")->text(), QStringLiteral("1.5"), 700);
        // Over the link the pointer is a hand, drawn, not the arrow the
        // rest of the window shows; the address is drawn in grey.
        QWidget *linkLabel = child(window, "makerLink");
        QCOMPARE(linkLabel->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(!linkLabel->cursor().bitmap().isNull());
        QVERIFY(window.cursor().shape() != Qt::BitmapCursor);
        const QImage drawn = linkLabel->grab().toImage();
        QColor darkest = Qt::white;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (QColor(drawn.pixel(x, y)).lightness() < darkest.lightness())
                    darkest = drawn.pixel(x, y);
        QCOMPARE(darkest, QColor(128, 128, 128));
        // A screen reader finds the link as a link named by its address,
        // outside the focus order like every label.
        QAccessibleInterface *link = QAccessible::queryAccessibleInterface(child(window, "makerLink"));
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), app::kMakerAddress);
        QVERIFY(!link->state().focusable);
        QCOMPARE(link->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        // Enter in the address box presses nothing, also on an address that a
        // press would use and so remember (wired to the button, this fails).
        download::saveAddress(platform::applicationName(), QStringLiteral("http://h/earlier"));
        addressBox->setText(QStringLiteral("http://127.0.0.1:1/f"));
        window.show();
        QTest::keyClick(addressBox, Qt::Key_Return);
        QCOMPARE(download::restoreAddress(platform::applicationName()), QStringLiteral("http://h/earlier"));
    }

    // Started as the program starts, the window carries its icon in each
    // size a task bar asks for.
    void startsWithItsIcon()
    {
        testing::Sandbox sandbox;
        const QWidgetList before = QApplication::topLevelWidgets();
        app::startup();
        const auto closeStarted = qScopeGuard([&before] {
            for (QWidget *window : QApplication::topLevelWidgets())
                if (!before.contains(window))
                    delete window;
        });
        QCOMPARE(QApplication::windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {48, 48}}));
    }

    void prefixRuleOnEveryChange_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");   // appended by key clicks
        QTest::addColumn<QString>("pasted");  // then set as a whole
        QTest::addColumn<QString>("shown");
        QTest::newRow("typing keeps") << "" << "host/f.zip" << "" << "http://host/f.zip";
        QTest::newRow("stored address") << "http://h/a.bin" << "" << "" << "http://h/a.bin";
        QTest::newRow("stored without prefix") << "ftp://h/a" << "" << "" << "http://";
        QTest::newRow("pasted https") << "" << "" << "https://h/f" << "http://";
        QTest::newRow("pasted blank first") << "" << "" << " http://h/f" << "http://";
        QTest::newRow("slash deleted") << "" << "" << "http:/host/f.zip" << "http://";
        const QString huge = "http://h/" + QString(1 << 20, QLatin1Char('a'));
        QTest::newRow("1 MB pasted") << "" << "" << huge << huge;
    }
    void prefixRuleOnEveryChange()
    {
        testing::Sandbox sandbox;
        QFETCH(QString, stored);
        if (!stored.isEmpty())
            download::saveAddress(platform::applicationName(), stored);
        MainWindow window([] {});
        auto *addressBox = child<QLineEdit>(window, "addressBox");
        int changes = 0;
        connect(addressBox, &QLineEdit::textChanged, [&] { ++changes; });
        QFETCH(QString, typed);
        QTest::keyClicks(addressBox, typed);
        QCOMPARE(changes, int(typed.size()));
        QFETCH(QString, pasted);
        if (!pasted.isEmpty()) {
            changes = 0;
            addressBox->setText(pasted);
            QCOMPARE(changes, pasted.startsWith(QStringLiteral("http://")) ? 1 : 2); // and the rule's own
        }
        QFETCH(QString, shown);
        QCOMPARE(addressBox->text(), shown);
    }

    // A tick during a download shows both sizes and draws the bar at their
    // ratio: 1.5 of 2 MB fills 75 % of 281 columns. A screen reader gets the
    // same 75 from the bar. A file that the press sets aside as wget ends
    // (here a stand-in wget appends bytes not the server's) leaves nothing
    // under the name, and the figures say so.
    // The figures and the percentage are written in the window's language,
    // whatever the system's locale.
    void tickShowsSizesAndBar_data()
    {
        QTest::addColumn<bool>("mixed");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("language"); // empty: no catalogue, as in the C locale
        QTest::newRow("a part continued") << false << "1.5" << 75 << "";
        QTest::newRow("set aside as wget ends") << true << "0" << 0 << "";
        for (const QString &language : testing::translatedLanguages())
            QTest::addRow("a part continued %s", qPrintable(language))
                << false << "1" + QLocale(language).decimalPoint() + "5" << 75 << language;
    }
    void tickShowsSizesAndBar()
    {
        QFETCH(bool, mixed);
        QFETCH(int, percent);
        QFETCH(QString, language);
        // The system's locale differs from the window's language in every row.
        QLocale::setDefault(QLocale(language.isEmpty() ? QStringLiteral("de_DE") : QStringLiteral("en_US")));
        const auto system = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        const QLocale figures =
            app::installTranslations(language.isEmpty() ? QLocale::c() : QLocale(language), kBuiltTranslations);
        const auto english = qScopeGuard([] { app::installTranslations(QLocale::c()); });
        testing::Sandbox sandbox;
        QTemporaryDir site;
        testing::makeFile(site.filePath(QStringLiteral("f.bin")), 2097152);
        // A part of the server's file, so the press continues it.
        QFile::copy(site.filePath(QStringLiteral("f.bin")), QStringLiteral("f.bin"));
        QFile::resize(QStringLiteral("f.bin"), 3 << 19);
        testing::TestServer server(site.path());
        // The stand-in that mixes appends zeros, where the server has its own bytes.
        const testing::FakeWget wget(mixed ? QStringLiteral("head -c 524288 /dev/zero >> f.bin\nexec sleep 1.5")
                                           : QStringLiteral("exec sleep 1.5"));
        MainWindow window([] {}, figures);
        child<QLineEdit>(window, "addressBox")->setText(server.url(QStringLiteral("/f.bin")));
        // Voice control changes the disabled box to a file of another size:
        // the figures still follow the pressed file.
        testing::makeFile(QStringLiteral("other.bin"), 1 << 20);
        QTimer::singleShot(300, &window, [&] {
            child<QLineEdit>(window, "addressBox")->setText(server.url(QStringLiteral("/other.bin")));
        });
        QString total;
        QString during;
        QTimer::singleShot(1200, &window, [&] {
            total = child<QLabel>(window, "totalSize")->text();
            during = child<QLabel>(window, "currentSize")->text();
        });
        qobject_cast<QPushButton *>(child(window, "downloadButton"))->click();
        QCOMPARE(total, QStringLiteral("2"));
        QFETCH(QString, current);
        QCOMPARE(during, mixed ? QStringLiteral("2") : current);
        QCOMPARE(QFileInfo::exists(QStringLiteral("f.bin.1")), mixed);
        QTEST(child<QLabel>(window, "currentSize")->text(), "current");
        QCOMPARE(child<QLabel>(window, "percentLabel")->text(), QString::number(percent) + QLatin1Char('%'));
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(child(window, "progressBar"));
        QCOMPARE(reader->role(), QAccessible::ProgressBar);
        QCOMPARE(reader->text(QAccessible::Name), language.isEmpty() ? QStringLiteral("Download progress")
                                                                      : testing::windowText(language, "Download progress"));
        QAccessibleValueInterface *value = reader->valueInterface();
        QCOMPARE(value->minimumValue(), QVariant(0));
        QCOMPARE(value->maximumValue(), QVariant(100));
        QCOMPARE(value->currentValue(), QVariant(percent));
        QCOMPARE(reader->text(QAccessible::Value), child<QLabel>(window, "percentLabel")->text());
        if (mixed)
            return;
        const QImage bar = static_cast<progress::GradientBar *>(child(window, "progressBar"))->image();
        QVERIFY(bar.pixel(211, 10) != bar.pixel(212, 10));
        QCOMPARE(bar.pixel(212, 10), bar.pixel(280, 10));
    }

    // What a user pastes reaches wget whole, is remembered exactly, and the
    // window is ready for the next press. A password reaches wget on its
    // input, never on its command line.
    void hostileAddressThroughTheWindow_data()
    {
        QTest::addColumn<QString>("userInfo"); // before the host
        QTest::addColumn<QString>("tail");
        QTest::newRow("shell") << "" << "f;touch pwned$(touch pwned)`touch pwned`";
        QTest::newRow("options") << "" << "f -O pwned --post-file=/etc/passwd";
        QTest::newRow("credentials") << "user:pass@" << "f?x=1 &h/%00\t";
    }
    void hostileAddressThroughTheWindow()
    {
        testing::Sandbox sandbox;
        testing::TestServer server(sandbox.work());
        testing::FakeWget wget;
        MainWindow window([] {});
        QFETCH(QString, userInfo);
        QFETCH(QString, tail);
        QString address = server.url(QStringLiteral("/x/gen=10/")) + tail;
        address.insert(int(download::kPrefix.size()), userInfo);
        child<QLineEdit>(window, "addressBox")->setText(address);
        qobject_cast<QPushButton *>(child(window, "downloadButton"))->click();
        if (userInfo.isEmpty()) {
            QCOMPARE(wget.calls(), (QList<QStringList>{{QStringLiteral("-c"), QStringLiteral("--local-encoding=UTF-8"), QStringLiteral("--retry-on-http-error=429,503"), address}}));
        } else {
            QCOMPARE(wget.calls(), (QList<QStringList>{{QStringLiteral("-c"), QStringLiteral("--local-encoding=UTF-8"), QStringLiteral("--retry-on-http-error=429,503"),
                                                        QStringLiteral("-i"), QStringLiteral("-")}}));
            QCOMPARE(wget.inputs(), QList<QByteArray>{*download::wgetCall(address).input});
        }
        QCOMPARE(download::restoreAddress(platform::applicationName()), address);
        QVERIFY(child(window, "addressBox")->isEnabled());
    }

    // A browser that cannot be started is reported in a box that holds up
    // nothing: the download under way ends and is noticed while it shows.
    // A screen reader's press of the link does what a click does. The box,
    // its button (Qt's own catalogue) and the Download button through
    // Download, Pause and Download again speak the user's language.
    void linkWithoutBrowserDuringADownload_data()
    {
        QTest::addColumn<bool>("screenReader");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("captions"); // Download, Pause, the box's start, its button
        const QStringList english{"Download", "Pause", "No browser could be started for", "OK"};
        QTest::newRow("click") << false << "" << english;
        QTest::newRow("screen reader") << true << "" << english;
        QTest::newRow("click de") << false << "de_DE"
                                  << QStringList{"Herunterladen", "Pausieren", "Für https://example.org/ konnte", "OK"};
        QTest::newRow("screen reader fr") << true << "fr_FR"
                                          << QStringList{"Télécharger", "Pause", "Aucun navigateur", "OK"};
        QTest::newRow("click es") << false << "es_ES"
                                  << QStringList{"Descargar", "Pausar", "No se pudo abrir", "Aceptar"};
    }
    void linkWithoutBrowserDuringADownload()
    {
        QFETCH(bool, screenReader);
        QFETCH(QString, language);
        QFETCH(QStringList, captions);
        app::installTranslations(language.isEmpty() ? QLocale::c() : QLocale(language), kBuiltTranslations);
        const auto english = qScopeGuard([] { app::installTranslations(QLocale::c()); });
        testing::Sandbox sandbox;
        testing::TestServer server(sandbox.work());
        testing::FakeWget wget(1.5);
        MainWindow window([] {});
        window.show();
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(child(window, "downloadButton"));
        QCOMPARE(button->text(QAccessible::Name), captions[0]);
        QMessageBox *box = nullptr;
        QString duringDownload;
        QTimer::singleShot(300, &window, [&] {
            duringDownload = button->text(QAccessible::Name);
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", sandbox.config().toLocal8Bit());
            if (screenReader)
                QAccessible::queryAccessibleInterface(child(window, "makerLink"))
                    ->actionInterface()
                    ->doAction(QAccessibleActionInterface::pressAction());
            else
                QTest::mouseClick(child(window, "makerLink"), Qt::LeftButton);
            qputenv("PATH", path);
            box = window.findChild<QMessageBox *>();
        });
        // Only a box that blocks would still be open here.
        QTimer::singleShot(8000, &window, [] { QApplication::closeAllWindows(); });
        QElapsedTimer clock;
        clock.start();
        child<QLineEdit>(window, "addressBox")->setText(server.url(QStringLiteral("/x/gen=10/f.bin")));
        qobject_cast<QPushButton *>(child(window, "downloadButton"))->click();
        QVERIFY2(clock.elapsed() < 4000, "the message held up the download");
        QVERIFY(box && box->isVisible());
        QVERIFY2(box->text().startsWith(captions[2]), qPrintable(box->text()));
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), captions[3]);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(child(window, "addressBox")->isEnabled());
        QCOMPARE(duringDownload, captions[1]);
        QCOMPARE(button->text(QAccessible::Name), captions[0]);
    }

    // A server that compresses text types answers a HEAD that accepts gzip
    // with no length; the probe asks for the file as wget fetches it.
    void compressedTypesDownloadWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("csv") << "table.csv";
        QTest::newRow("json") << "data.json";
    }
    void compressedTypesDownloadWhole()
    {
        QFETCH(QString, name);
        testing::Sandbox sandbox;
        QTemporaryDir site;
        QFile text(site.filePath(name));
        QVERIFY(text.open(QIODevice::WriteOnly));
        for (int row = 0; text.size() < 300000; ++row)
            text.write(QStringLiteral("{\"row\": %1, \"name\": \"item %1\"},\n").arg(row).toUtf8());
        text.close();
        testing::Nginx nginx(site.path());
        MainWindow window([] {});
        child<QLineEdit>(window, "addressBox")->setText(nginx.url(QLatin1Char('/') + name));
        qobject_cast<QPushButton *>(child(window, "downloadButton"))->click();
        QCOMPARE(window.totalBytes(), text.size());
        QCOMPARE(testing::sha256(name), testing::sha256(text.fileName()));
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(window, "percentLabel")->text(), QStringLiteral("100%"), 2000);
    }

    // When the end of a press is worth a notification.
    void whenToNotify_data()
    {
        using download::PressEnding;
        QTest::addColumn<PressEnding>("ending");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("notifies");
        const QList<std::pair<const char *, PressEnding>> told{
            {"no folder", PressEnding::NoFolder},       {"Wget2", PressEnding::Wget2},
            {"no answer", PressEnding::NoAnswer},
            {"no size", PressEnding::NoSize},           {"held elsewhere", PressEnding::HeldElsewhere},
            {"unlockable", PressEnding::Unlockable},    {"undecided", PressEnding::Undecided},
            {"not set aside", PressEnding::NotSetAside}, {"not replaced", PressEnding::NotReplaced},
            {"not started", PressEnding::NotStarted},   {"ended", PressEnding::Unverified},
            {"failed", PressEnding::Failed},            {"not the server's", PressEnding::NotTheServers},
            {"digest differs", PressEnding::DigestDiffers}, {"verified", PressEnding::Verified}};
        for (const auto &[name, ending] : told) {
            QTest::addRow("%s, window behind", name) << ending << false << true;
            QTest::addRow("%s, window active", name) << ending << true << false;
        }
        // The user did it, or the press only remembered the address.
        for (const auto &[name, ending] : {std::pair{"paused", PressEnding::Stopped}, {"refused", PressEnding::Refused}}) {
            QTest::addRow("%s, window behind", name) << ending << false << false;
            QTest::addRow("%s, window active", name) << ending << true << false;
        }
    }
    void whenToNotify()
    {
        QFETCH(download::PressEnding, ending);
        QFETCH(bool, active);
        QTEST(app::notifiesEnd(ending, active), "notifies");
    }

    // A notification's words: the file's name (one line, never a password),
    // how the press ended in the user's language. A wget that ended before
    // the file is whole has not downloaded it.
    void noticeWords_data()
    {
        using download::PressEnding;
        QTest::addColumn<QString>("language");
        QTest::addColumn<PressEnding>("ending");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<qint64>("length"); // -1: no file under the name; -3: set aside
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");
        const qint64 size = 3 << 19; // 1.5 MB
        QTest::newRow("downloaded") << "" << PressEnding::Unverified << QByteArray("/d/f.iso") << "" << size << "f.iso"
                                    << "Downloaded, 1.5 MB";
        QTest::newRow("wget ended early") << "" << PressEnding::Unverified << QByteArray("/d/f.iso") << "" << qint64(1 << 20)
                                          << "f.iso" << "Not downloaded whole: wget stopped at 1 MB of 1.5 MB; Download continues it";
        QTest::newRow("set aside as wget ended")
            << "" << PressEnding::NotTheServers << QByteArray("/d/f.iso") << "" << qint64(-3) << "f.iso"
            << "Not downloaded: what wget wrote is not the server's file and was kept aside";
        QTest::newRow("verified") << "" << PressEnding::Verified << QByteArray("/d/f.iso") << "SHA-256" << size
                                  << "f.iso" << "Downloaded and checked against the server's digest, 1.5 MB (SHA-256)";
        QTest::newRow("wget failed part way")
            << "" << PressEnding::Failed << QByteArray("/d/f.iso") << "exit status 4, the network failed"
            << qint64(1 << 20) << "f.iso" << "Not downloaded whole: wget failed at 1 MB of 1.5 MB (exit status 4, the network failed)";
        QTest::newRow("wget wrote nothing") << "" << PressEnding::Unverified << QByteArray("/d/f.iso") << "" << qint64(-1)
                                            << "f.iso" << "Not downloaded: wget wrote nothing";
        QTest::newRow("HTTP status") << "" << PressEnding::NoAnswer << QByteArray("/d/f.iso") << "HTTP 401" << qint64(-1)
                                     << "f.iso" << "Not downloaded: the size request failed (HTTP 401)";
        QTest::newRow("no file: the address without its password")
            << "" << PressEnding::NoFolder << QByteArray() << "" << qint64(-1) << "http://alice@h/f.iso"
            << "Not downloaded: the working folder has no name (was it deleted?)";
        QTest::newRow("control characters") << "" << PressEnding::HeldElsewhere << QByteArray("/d/a\nb\x7f") << ""
                                            << qint64(0) << "a%0Ab%7F"
                                            << "Not downloaded: another Brindle or program is writing the file";
        // A name that would read "invoice0_hs.jpg": written as the log line writes it.
        QTest::newRow("direction override and C1")
            << "" << PressEnding::NotStarted << QByteArray("/d/invoice0_\xe2\x80\xaegpj.sh\xc2\x9b")
            << "wget: \u202e" << qint64(-1) << "invoice0_%E2%80%AEgpj.sh%C2%9B"
            << "Not downloaded: wget could not be started (wget: %E2%80%AE)";
        QTest::newRow("de downloaded") << "de_DE" << PressEnding::Unverified << QByteArray("/d/f.iso") << "" << size
                                       << "f.iso" << "Heruntergeladen, 1,5 MB";
        QTest::newRow("fr wget ended early")
            << "fr_FR" << PressEnding::Unverified << QByteArray("/d/f.iso") << "" << qint64(1 << 20) << "f.iso"
            << "Téléchargement incomplet : wget s’est arrêté à 1 Mo sur 1,5 Mo ; Télécharger le poursuit";
        // A Content-Length that is no number tells no length: the total may
        // stay from an earlier press, and wget's end alone tells.
        QTest::newRow("size untold, wget ended") << "" << PressEnding::Unverified << QByteArray("/d/s.bin") << ""
                                                 << qint64(300000) << "s.bin" << "Downloaded, 0.29 MB";
        QTest::newRow("size untold, wget failed")
            << "" << PressEnding::Failed << QByteArray("/d/s.bin") << "exit status 4, the network failed" << qint64(1 << 20)
            << "s.bin" << "Not downloaded: wget failed (exit status 4, the network failed)";
        QTest::newRow("de Wget2") << "de_DE" << PressEnding::Wget2 << QByteArray("/d/f.iso") << "" << qint64(-1) << "f.iso"
                                  << "Nicht heruntergeladen: Das wget im PATH ist Wget2; Brindle braucht GNU Wget 1.x";
        QTest::newRow("es no size") << "es_ES" << PressEnding::NoSize << QByteArray("/d/f.iso") << "" << qint64(-1)
                                    << "f.iso" << "No descargado: el servidor no indicó ningún tamaño";
    }
    void noticeWords()
    {
        QFETCH(QString, language);
        const QLocale locale = language.isEmpty() ? QLocale::c() : QLocale(language);
        // The system's locale stays C: the sizes follow the window's language.
        app::installTranslations(locale, kBuiltTranslations);
        const auto english = qScopeGuard([] { app::installTranslations(QLocale::c()); });
        download::PressOutcome outcome;
        QFETCH(download::PressEnding, ending);
        QFETCH(QByteArray, file);
        QFETCH(QString, detail);
        QFETCH(qint64, length);
        outcome.ending = ending;
        outcome.file = file;
        outcome.detail = detail;
        if (length == -3)
            outcome.keptAs << file + ".1";
        if (!QByteArray(QTest::currentDataTag()).startsWith("size untold"))
            outcome.serverLength = 3 << 19;
        const auto notice = app::pressNotice(outcome, download::shownAddress(QStringLiteral("http://alice:secret@h/f.iso")),
                                             length < 0 ? std::nullopt : std::optional(length), locale);
        QTEST(notice.summary, "summary");
        QTEST(notice.body, "body");
    }

    // What the desktop hears of a press: a notification only when the
    // window is behind and the user did not end the press, the task bar's
    // share rising while wget runs and taken off at the end, the computer
    // kept awake while wget runs (through the portal, else logind) and let
    // sleep once it is gone, nothing while idle. The download is real wget
    // from nginx at 1 MiB a second. A service or a bus that never answers
    // holds up nothing: the press ends, what can be sent is sent, and the
    // window goes on with its events.
    void desktopHearsTheEnd_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("pause");
        QTest::addColumn<bool>("answers"); // the notification service
        QTest::addColumn<QString>("summary"); // empty: no notification
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("taskBar");
        // "answers", "silent", none, "silent bus" for the session bus, or
        // "answers, listed second" after an address where nothing listens.
        QTest::addColumn<QString>("portal");
        // "logind" (the test's bus), "stops" after its greeting,
        // "silent, listed after unusable" ones libdbus passes over, "silent
        // on TCP", or none.
        QTest::addColumn<QString>("systemBus");
        QTest::addColumn<bool>("fileManager"); // else the action opens the folder
        QTest::addColumn<QString>("awake");    // who keeps the computer awake while wget runs
        QTest::addColumn<QByteArray>("folder"); // the folder Brindle runs in, in the sandbox's; none: the sandbox's
        const QString refused = QStringLiteral("Not downloaded: the size request failed (HTTP 401)");
        QTest::newRow("downloaded, window behind")
            << "/slow/f.bin?token=s3cret" << false << false << true << "f.bin?token=s3cret" << "Downloaded, 2.5 MB"
            << true << "answers" << "logind" << true << "portal" << QByteArray();
        QTest::newRow("downloaded, window active")
            << "/slow/f.bin" << true << false << true << "" << "" << true << "answers" << "" << false << "portal" << QByteArray();
        QTest::newRow("paused, window behind")
            << "/slow/f.bin" << false << true << true << "" << "" << true << "answers" << "" << false << "portal" << QByteArray();
        QTest::newRow("password refused, window behind")
            << "/private/f.bin" << false << false << true << "f.bin" << refused << false << "answers" << "" << true << "" << QByteArray();
        QTest::newRow("password refused, a folder's name not UTF-8")
            << "/private/f.bin" << false << false << true << "f.bin" << refused << false << "answers" << "" << true << ""
            << QByteArray("f\xE9");
        QTest::newRow("only remembered, window behind")
            << "" << false << false << true << "" << "" << false << "answers" << "" << false << "" << QByteArray();
        QTest::newRow("service never answers, window behind")
            << "/private/f.bin" << false << false << false << "f.bin" << refused << false << "" << "" << false << "" << QByteArray();
        QTest::newRow("portal never answers, no file manager")
            << "/slow/f.bin" << false << false << true << "f.bin" << "Downloaded, 2.5 MB" << true << "silent" << ""
            << false << "portal" << QByteArray();
        QTest::newRow("no portal, logind")
            << "/slow/f.bin" << true << false << true << "" << "" << true << "" << "logind" << false << "logind" << QByteArray();
        QTest::newRow("no portal, system bus stops after its greeting")
            << "/slow/f.bin" << false << false << true << "f.bin" << "Downloaded, 2.5 MB" << true << "" << "stops"
            << true << "" << QByteArray();
        QTest::newRow("no portal, system bus never speaks, listed after unusable addresses")
            << "/slow/f.bin" << false << false << true << "f.bin" << "Downloaded, 2.5 MB" << true << ""
            << "silent, listed after unusable" << true << "" << QByteArray();
        QTest::newRow("no portal, system bus on TCP never speaks")
            << "/slow/f.bin" << false << false << true << "f.bin" << "Downloaded, 2.5 MB" << true << "" << "silent on TCP"
            << true << "" << QByteArray();
        QTest::newRow("session bus listed second")
            << "/slow/f.bin" << false << false << true << "f.bin" << "Downloaded, 2.5 MB" << true
            << "answers, listed second" << "" << false << "portal" << QByteArray();
        QTest::newRow("session bus never speaks, logind")
            << "/slow/f.bin" << false << false << true << "" << "" << false << "silent bus" << "logind" << false
            << "logind" << QByteArray();
    }
    void desktopHearsTheEnd()
    {
        QFETCH(QString, path);
        QFETCH(bool, active);
        QFETCH(bool, pause);
        QFETCH(bool, answers);
        QFETCH(QString, summary);
        QFETCH(QString, portal);
        QFETCH(QString, systemBus);
        QFETCH(bool, fileManager);
        QFETCH(QString, awake);
        QFETCH(QByteArray, folder);
        testing::Sandbox sandbox;
        QVERIFY(folder.isEmpty() || (::mkdir(folder.constData(), 0700) == 0 && ::chdir(folder.constData()) == 0));
        const auto leaveFolder = qScopeGuard([&] { QVERIFY(folder.isEmpty() || ::chdir("..") == 0); });
        QByteArray here(4096, '\0');
        QVERIFY(::getcwd(here.data(), here.size()));
        here.truncate(qstrlen(here.constData()));
        QTemporaryDir site;
        testing::makeFile(site.filePath(QStringLiteral("f.bin")), 5 << 19);
        testing::Nginx nginx(site.path());
        const bool logind = systemBus == QStringLiteral("logind");
        const bool listedSecond = portal == QStringLiteral("answers, listed second");
        Desktop desktop(answers, {listedSecond ? QStringLiteral("answers") : portal, logind, fileManager});
        // logind's stand-in on the test's own bus, standing for the system's;
        // a bus that takes its callers and never reads what they say.
        const QByteArray buses[] = {qgetenv("DBUS_SESSION_BUS_ADDRESS"), qgetenv("DBUS_SYSTEM_BUS_ADDRESS")};
        const auto restoreBuses = qScopeGuard([&] {
            qputenv("DBUS_SESSION_BUS_ADDRESS", buses[0]);
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", buses[1]);
        });
        QLocalServer silent;
        QVERIFY(silent.listen(busDir_.filePath(QStringLiteral("silent"))));
        const QByteArray silentBus = "unix:path=" + QFile::encodeName(silent.fullServerName());
        // One that lets its callers in, and then never answers their Hello.
        if (systemBus == QStringLiteral("stops"))
            connect(&silent, &QLocalServer::newConnection, &silent, [&] {
                QLocalSocket *caller = silent.nextPendingConnection();
                connect(caller, &QLocalSocket::readyRead, caller, [caller] {
                    if (caller->readAll().contains("AUTH"))
                        caller->write("OK 0123456789abcdef0123456789abcdef\r\n");
                });
            });
        if (listedSecond)
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(busDir_.filePath(QStringLiteral("none"))) + ';' + buses[0]);
        if (logind)
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", buses[0]);
        if (systemBus == QStringLiteral("stops"))
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", silentBus);
        if (systemBus == QStringLiteral("silent, listed after unusable"))
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", "nowhere:;unix:tmpdir=" + QFile::encodeName(busDir_.path()) + ';' + silentBus);
        QTcpServer silentOnTcp;
        if (systemBus == QStringLiteral("silent on TCP")) {
            QVERIFY(silentOnTcp.listen(QHostAddress::LocalHost));
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", "tcp:host=127.0.0.1,port=" + QByteArray::number(silentOnTcp.serverPort()));
        }
        if (portal == QStringLiteral("silent bus"))
            qputenv("DBUS_SESSION_BUS_ADDRESS", silentBus);
        const auto holds = [&] { return awake == QStringLiteral("logind") ? desktop.logind.holds() : desktop.portal.holds(); };
        MainWindow window([] {});
        if (active) {
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
        }
        // A password the server refuses: the notification must not show it.
        const QString address = path.isEmpty() ? QStringLiteral("http://")
                                                : nginx.url(path).replace(QStringLiteral("http://"),
                                                                          QStringLiteral("http://alice:wrong@"));
        child<QLineEdit>(window, "addressBox")->setText(address);
        // Idle: nothing on the bus.
        QTest::qWait(700);
        QVERIFY(desktop.updates.isEmpty());
        QVERIFY(desktop.portal.inhibits.isEmpty() && desktop.logind.asked.isEmpty());
        // Awake while wget runs (the button then pauses it), and not before.
        bool heldWhileRunning = false;
        QTimer running;
        running.callOnTimeout([&] {
            heldWhileRunning |= child<QPushButton>(window, "downloadButton")->text() == QStringLiteral("Pause") && holds();
        });
        running.start(50);
        if (pause)
            QTimer::singleShot(1500, &window, [&] { child<QPushButton>(window, "downloadButton")->click(); });
        {
            // A window that waits for the service is deaf for the call's
            // whole time-out, 25 s: the deadline then ends the test.
            testing::Deadline deadline(10, "the window waited for the desktop");
            child<QPushButton>(window, "downloadButton")->click();
            QTRY_COMPARE(desktop.notices.size(), summary.isEmpty() ? 0 : 1);
            bool fired = false;
            QTimer::singleShot(0, &window, [&] { fired = true; });
            QTRY_VERIFY(fired);
        }
        QCOMPARE(heldWhileRunning, !awake.isEmpty());
        if (awake == QStringLiteral("portal")) {
            // Suspend and idle, for the file; the very request closed once wget is gone.
            const Portal::Inhibit asked = desktop.portal.inhibits.value(0);
            QCOMPARE(asked.flags, 12u);
            QCOMPARE(asked.reason, QStringLiteral("Downloading ") + path.section(QLatin1Char('/'), -1).section(QLatin1Char('?'), 0, 0));
            QTRY_COMPARE(desktop.portal.closed, QStringList{asked.request});
        } else if (awake == QStringLiteral("logind")) {
            QCOMPARE(desktop.logind.asked.value(0),
                     (QStringList{QStringLiteral("sleep:idle"), QStringLiteral("Brindle"), QStringLiteral("Downloading f.bin"),
                                  QStringLiteral("block")}));
            QTRY_VERIFY(desktop.logind.letGo());
        } else {
            QVERIFY(desktop.portal.inhibits.isEmpty() && desktop.logind.asked.isEmpty());
        }
        // The file says where it came from, without password or query.
        const QString file = QDir::current().filePath(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
        if (!awake.isEmpty() && (originOf(file) || errno != ENOTSUP))
            QCOMPARE(originOf(file), std::optional(nginx.url(path.section(QLatin1Char('?'), 0, 0)).toUtf8()));
        if (!summary.isEmpty()) {
            const Desktop::Notice notice = desktop.notices.first();
            QCOMPARE(notice.application, QStringLiteral("Brindle"));
            QCOMPARE(notice.icon, app::kDesktopEntry);
            QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(), app::kDesktopEntry);
            QCOMPARE(notice.summary, summary);
            QTEST(notice.body, "body");
            QCOMPARE(notice.actions, (QStringList{QStringLiteral("open-folder"), QStringLiteral("Open Folder")}));
        }
        if (!summary.isEmpty() && answers) {
            // The action shows the file in the file manager, or opens the
            // download folder (an xdg-open that notes what it was given)
            // where there is none or no file.
            QTemporaryDir bin;
            const QString opened = bin.filePath(QStringLiteral("xdg-opened"));
            QFile opener(bin.filePath(QStringLiteral("xdg-open")));
            QVERIFY(opener.open(QIODevice::WriteOnly));
            opener.write("#!/bin/sh\nprintf %s \"$1\" > \"$0\"ed\n");
            opener.close();
            opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
            desktop.invoke(1, QStringLiteral("open-folder"));
            const bool shown = fileManager && QFileInfo::exists(file);
            if (shown) {
                QTRY_COMPARE(desktop.fileManager.shown.size(), 1);
                QCOMPARE(desktop.fileManager.shown.first().size(), 1);
                QCOMPARE(QUrl(desktop.fileManager.shown.first().first()).toLocalFile(), file);
            } else {
                QTRY_VERIFY(QFileInfo::exists(opened));
            }
            QTest::qWait(shown ? 300 : 0);
            QCOMPARE(QFileInfo::exists(opened), !shown);
            qputenv("PATH", path);
            if (!shown) {
                QFile noted(opened);
                QVERIFY(noted.open(QIODevice::ReadOnly));
                // As a file: address, which every xdg-open reads, the name's bytes whatever they are.
                const QByteArray address = noted.readAll();
                QVERIFY2(address.startsWith("file://"), address.constData());
                QCOMPARE(QByteArray::fromPercentEncoding(address.mid(7)), here);
            }
        }
        QFETCH(bool, taskBar);
        if (taskBar)
            QTRY_VERIFY(!desktop.updates.isEmpty() && !desktop.updates.last().value("progress-visible").toBool());
        // Whatever is still to come has arrived by now, and nothing comes once idle.
        QTest::qWait(700);
        QCOMPARE(desktop.notices.size(), summary.isEmpty() ? 0 : 1);
        QCOMPARE(desktop.portal.inhibits.size() + desktop.logind.asked.size(), awake.isEmpty() ? 0 : 1);
        if (!taskBar) {
            QVERIFY(desktop.updates.isEmpty());
            return;
        }
        const QVariantMap last = desktop.updates.takeLast();
        QCOMPARE(last.value("progress-visible"), QVariant(false));
        QVERIFY(desktop.updates.size() >= 2);
        double before = -1;
        for (const QVariantMap &update : std::as_const(desktop.updates)) {
            QCOMPARE(update.value("progress-visible"), QVariant(true));
            const double progress = update.value("progress").toDouble();
            QVERIFY2(progress > before && progress <= 1, qPrintable(QString::number(progress)));
            before = progress;
        }
        QVERIFY(pause ? before < 1 : before > 0.5);
    }

    // Brindle killed while wget runs lets the computer sleep: the portal
    // drops the requests of a connection gone from the bus, and logind's
    // descriptor closes with the last process holding it.
    void awakeEndsWithBrindleKilled_data()
    {
        QTest::addColumn<bool>("logind");
        QTest::newRow("portal") << false;
        QTest::newRow("logind") << true;
    }
    void awakeEndsWithBrindleKilled()
    {
        QFETCH(bool, logind);
        testing::Sandbox sandbox;
        QTemporaryDir site;
        testing::makeFile(site.filePath(QStringLiteral("f.bin")), 5 << 19);
        testing::Nginx nginx(site.path());
        Desktop desktop(true, {logind ? QString() : QStringLiteral("answers"), logind, false});
        QProcess brindle;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (logind)
            environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        brindle.setProcessEnvironment(environment);
        brindle.start(qEnvironmentVariable("BRINDLE_SHUTDOWN_HELPER"), {nginx.url(QStringLiteral("/slow/f.bin"))});
        QVERIFY(brindle.waitForStarted());
        const auto holds = [&] { return logind ? desktop.logind.holds() : desktop.portal.holds() && desktop.onBus(desktop.portal.sender); };
        QTRY_VERIFY_WITH_TIMEOUT(holds(), 10000);
        brindle.kill();
        QVERIFY(brindle.waitForFinished());
        if (logind)
            QTRY_VERIFY(desktop.logind.letGo());
        else
            QTRY_VERIFY(!desktop.onBus(desktop.portal.sender));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
