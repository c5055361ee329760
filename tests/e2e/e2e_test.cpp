#include "app/window_layout.h"
#include "support/helpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

namespace {

// A control's centre in window pixels at `twipsPerPixel`.
constexpr QPoint centreOf(const app::layout::TwipsRect &place, int twipsPerPixel)
{
    return QPoint((place.left + place.width / 2) / twipsPerPixel, (place.top + place.height / 2) / twipsPerPixel);
}

// Window coordinates of the controls, at 96 dpi.
constexpr int kTwipsPerPixel = 15;
constexpr QPoint kAddressBox = centreOf(app::layout::kAddressBox, kTwipsPerPixel);
constexpr QPoint kDownloadButton = centreOf(app::layout::kDownloadButton, kTwipsPerPixel);
constexpr int kBarLeft = app::layout::kProgressBar.left / kTwipsPerPixel;
constexpr int kBarTop = app::layout::kProgressBar.top / kTwipsPerPixel;
constexpr int kBarWidth = app::layout::kProgressBar.width / kTwipsPerPixel;

// The first UTF-8 locale made here for `language` ("de_DE.utf8"); empty
// when there is none.
QString utf8LocaleOf(const QString &language)
{
    QProcess list;
    list.start(QStringLiteral("locale"), {QStringLiteral("-a")});
    list.waitForFinished();
    const QRegularExpression pattern(QStringLiteral("^%1_[A-Z]+\\.utf8$").arg(language),
                                     QRegularExpression::CaseInsensitiveOption);
    for (const QString &name : QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (pattern.match(name).hasMatch())
            return name;
    return QString();
}

} // namespace

// Brindle as a person uses it: typing, clicking and watching the window.
class EndToEndTest : public QObject
{
    Q_OBJECT
    QProcess xvfb_;
    QTemporaryDir runtime_; // the display's session folder, private (0700)
    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
    QString shots_ = qEnvironmentVariable("BRINDLE_SHOTS");
    int shotCount_ = 0;
    QRgb background_ = 0; // the empty bar's colour, from the first shot
    QList<QProcess *> started_;

    QString run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.start(program, args);
        process.waitForFinished(20000);
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }
    // `count` clicks 150 ms apart.
    void click(const QString &window, QPoint at, int count = 1)
    {
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                        QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                                        QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
                                        QStringLiteral("150"), QStringLiteral("1")});
    }
    // Types the address after the box's "http://".
    void typeAddress(const QString &window, const QString &address)
    {
        click(window, kAddressBox);
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("End")});
        run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("2"),
                                        address.mid(QStringLiteral("http://").size())});
    }
    void typeAndDownload(const QString &window, const QString &address)
    {
        typeAddress(window, address);
        click(window, kDownloadButton);
    }
    // Saves a screenshot and returns how many columns of the bar are filled.
    int shoot(const QString &window, const QString &name)
    {
        const QString file = QStringLiteral("%1/%2-%3.png").arg(shots_).arg(++shotCount_, 2, 10, QLatin1Char('0')).arg(name);
        run(QStringLiteral("import"), {QStringLiteral("-window"), window, file});
        const QImage shot(file);
        if (background_ == 0)
            background_ = shot.pixel(kBarLeft + kBarWidth - 1, kBarTop + 22);
        int filled = 0;
        while (filled < kBarWidth && shot.pixel(kBarLeft + filled, kBarTop + 22) != background_)
            ++filled;
        return filled;
    }
    QProcess *startBrindle(const QString &work)
    {
        auto *brindle = new QProcess(this);
        brindle->setProcessEnvironment(env_);
        brindle->setWorkingDirectory(work);
        brindle->start(qEnvironmentVariable("BRINDLE_BINARY"), {});
        started_ << brindle;
        return brindle;
    }
    QString window()
    {
        return run(QStringLiteral("timeout"), {QStringLiteral("10"), QStringLiteral("xdotool"), QStringLiteral("search"),
                                               QStringLiteral("--sync"), QStringLiteral("--name"), QStringLiteral("^Brindle$")})
            .section(QLatin1Char('\n'), 0, 0);
    }
    static qint64 sizeOf(const QString &path) { return QFileInfo(path).size(); }
    // A private session bus with the accessibility bus, as a desktop with a
    // screen reader has; Brindle started while it runs talks to it.
    [[nodiscard]] auto screenReaderBus()
    {
        auto bus = std::make_unique<QProcess>();
        bus->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address=1")});
        bus->waitForReadyRead(10000);
        env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(bus->readLine().trimmed()));
        env_.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return qScopeGuard([this, bus = std::move(bus)] {
            env_.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
            env_.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
            bus->terminate();
            bus->waitForFinished();
        });
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(shots_);
        xvfb_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
        QVERIFY(xvfb_.waitForReadyRead(10000));
        env_.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(xvfb_.readLine().trimmed()));
        env_.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        // English, whatever the machine's language; rows that want another set it.
        for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env_.remove(QString::fromLatin1(name));
        env_.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    }
    void cleanup()
    {
        for (QProcess *brindle : std::as_const(started_)) {
            brindle->kill();
            brindle->waitForFinished();
        }
        started_.clear();
    }
    void cleanupTestCase()
    {
        xvfb_.terminate();
        xvfb_.waitForFinished();
    }

    void downloadPauseResumeAndRemember()
    {
        testing::Sandbox sandbox;
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.config());
        QTemporaryDir root;
        const QByteArray hash = testing::makeFile(root.filePath(QStringLiteral("movie.bin")), 6 << 20);
        testing::TestServer server(root.path());
        const QString address = server.url(QStringLiteral("/x/rate=1500000/movie.bin"));
        const QString file = sandbox.work() + QStringLiteral("/movie.bin");

        QProcess *brindle = startBrindle(sandbox.work());
        const QString win = window();
        QVERIFY(!win.isEmpty());
        QCOMPARE(shoot(win, QStringLiteral("start")), 1); // 0 %: one column
        typeAndDownload(win, address);
        QTest::qWait(1500);
        const int early = shoot(win, QStringLiteral("downloading"));
        QTest::qWait(1500);
        const int later = shoot(win, QStringLiteral("further"));
        QVERIFY2(early > 1 && later > early, qPrintable(QStringLiteral("%1 then %2").arg(early).arg(later)));

        click(win, kDownloadButton); // Pause
        QTest::qWait(1500);
        const qint64 paused = sizeOf(file);
        QTest::qWait(1000);
        QCOMPARE(sizeOf(file), paused);
        QVERIFY(paused < (6 << 20));

        click(win, kDownloadButton); // Download again: continues
        QTRY_VERIFY_WITH_TIMEOUT(testing::processesWith(address).isEmpty() && sizeOf(file) == (6 << 20), 20000);
        QTest::qWait(1200);
        QCOMPARE(shoot(win, QStringLiteral("finished")), kBarWidth);
        QCOMPARE(testing::sha256(file), hash);

        run(QString::fromLocal8Bit(qgetenv("BRINDLE_WM_CLOSE")), {win});
        QVERIFY(brindle->waitForFinished(5000));
        QCOMPARE(brindle->exitCode(), 0);

        // A new start remembers the address: Download alone fetches it again.
        QFile::remove(file);
        brindle = startBrindle(sandbox.work());
        const QString again = window();
        click(again, kDownloadButton);
        QTRY_COMPARE_WITH_TIMEOUT(testing::sha256(file), hash, 20000);
        shoot(again, QStringLiteral("remembered"));
        run(QString::fromLocal8Bit(qgetenv("BRINDLE_WM_CLOSE")), {again});
        QVERIFY(brindle->waitForFinished(5000));
    }

    void closingDuringADownloadLeavesNoWget()
    {
        testing::Sandbox sandbox;
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.config());
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("f.bin")), 8 << 20);
        testing::TestServer server(root.path());
        const QString address = server.url(QStringLiteral("/x/rate=500000/f.bin"));
        QProcess *brindle = startBrindle(sandbox.work());
        const QString win = window();
        typeAndDownload(win, address);
        QTRY_VERIFY_WITH_TIMEOUT(!testing::processesWith(address).isEmpty(), 5000);
        QTest::qWait(1000);
        run(QString::fromLocal8Bit(qgetenv("BRINDLE_WM_CLOSE")), {win});
        QVERIFY(brindle->waitForFinished(3000));
        QTRY_VERIFY_WITH_TIMEOUT(testing::processesWith(address).isEmpty(), 1000);
        QVERIFY(sizeOf(sandbox.work() + QStringLiteral("/f.bin")) > 0);
    }

    // A double-click while the server is slow to answer downloads once, and
    // one Pause stops it for good: no wget runs after it, and the window is
    // idle again.
    void doubleClickDownloadsOnce()
    {
        testing::Sandbox sandbox;
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.config());
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("f.bin")), 8 << 20);
        testing::TestServer server(root.path());
        const QString address = server.url(QStringLiteral("/x/headdelay=1,rate=500000/f.bin"));
        startBrindle(sandbox.work());
        const QString win = window();
        typeAddress(win, address);
        click(win, kDownloadButton, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!testing::processesWith(address).isEmpty(), 5000);
        QTest::qWait(500);
        click(win, kDownloadButton); // Pause
        QTRY_VERIFY_WITH_TIMEOUT(testing::processesWith(address).isEmpty(), 2000);
        QTest::qWait(2500); // a press left waiting would start wget again by now
        QCOMPARE(testing::processesWith(address), QList<int>());
        const qint64 paused = sizeOf(sandbox.work() + QStringLiteral("/f.bin"));
        QVERIFY(paused > 0 && paused < (8 << 20));
        shoot(win, QStringLiteral("double-click-paused"));
        // The window is idle: the next press downloads again.
        click(win, kDownloadButton);
        QTRY_VERIFY_WITH_TIMEOUT(!testing::processesWith(address).isEmpty(), 5000);
    }

    // A screen reader on the real accessibility bus finds one progress bar,
    // announced as it moves and ending at the percentage the window shows,
    // no stray percentage label, and the maker's link with its press action.
    // During the download the window answers at once: the button reads
    // "Pause" over the bus right after the press, and every question about
    // it is answered without waiting.
    void screenReaderReadsTheBar()
    {
        const auto bus = screenReaderBus();
        testing::Sandbox sandbox;
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.config());
        QTemporaryDir root;
        testing::makeFile(root.filePath(QStringLiteral("movie.bin")), 6 << 20);
        testing::TestServer server(root.path());
        const QString address = server.url(QStringLiteral("/x/rate=500000/movie.bin"));
        startBrindle(sandbox.work());
        const QString win = window();
        typeAddress(win, address);
        const QString probe = QStringLiteral(BRINDLE_SOURCE_DIR "/tests/e2e/atspi_probe.py");
        const QString python = QStringLiteral("/usr/bin/python3");
        const QString pressed = run(python, {probe, QStringLiteral("press"), win, QString::number(kDownloadButton.x()),
                                             QString::number(kDownloadButton.y())});
        QVERIFY2(pressed.startsWith(QStringLiteral("pause 0.")) && pressed.mid(6).toDouble() <= 0.2, qPrintable(pressed));
        const QString during = run(python, {probe, QStringLiteral("listen"), QStringLiteral("3")});
        const QString asked = run(python, {probe, QStringLiteral("button"), QStringLiteral("10")});
        QVERIFY2(asked.startsWith(QStringLiteral("button Pause|")) && asked.section(QLatin1Char('|'), 1).toDouble() <= 0.1,
                 qPrintable(asked));
        // Voice control empties the disabled box to its prefix; the press
        // after it is still Pause, and ends wget.
        QCOMPARE(run(python, {probe, QStringLiteral("settext"), QStringLiteral("http://")}).trimmed(), QStringLiteral("set"));
        click(win, kDownloadButton); // Pause: the display settles on the partial file
        QTest::qWait(1500);
        QCOMPARE(testing::processesWith(address), QList<int>());
        const QString paused = run(python, {probe, QStringLiteral("read")});
        // The percentage the eye gets: a bar at p % fills round(p * 281 / 100)
        // columns after the first.
        const double drawn = (shoot(win, QStringLiteral("paused")) - 1) * 100.0 / kBarWidth;

        const QStringList lines = paused.split(QLatin1Char('\n'));
        const QStringList bars = lines.filter(QRegularExpression(QStringLiteral("^progress Download progress\\|")));
        QCOMPARE(bars.size(), 1);
        const int value = bars.first().section(QLatin1Char('|'), 1).toInt();
        QVERIFY2(value > 0 && value < 100 && qAbs(value - drawn) <= 0.5, qPrintable(paused + QString::number(drawn)));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^progress "))).size(), 1);
        QVERIFY2(during.contains(QRegularExpression(QStringLiteral("^changed [1-9]"), QRegularExpression::MultilineOption)),
                 qPrintable(during));
        QVERIFY(lines.contains(QStringLiteral("link ") + QStringLiteral("https://example.org/|Press")));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("%$"))), QStringList());
    }

    // The window keeps the layout's proportions at any logical DPI: every
    // control is placed with the twips per pixel the bar draws with. It
    // speaks the language the environment asks for, LANGUAGE before the
    // locale, as a screen reader reads it.
    void layoutFollowsTheDpi_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("locale"); // LANG
        QTest::addColumn<QString>("language"); // LANGUAGE
        QTest::addColumn<QStringList>("spoken"); // the captions, the button and the bar
        // What a screen reader reads in a language of translations/LINGUAS,
        // from its catalogue; English without one.
        const auto spokenIn = [](const QString &language) {
            const auto text = [&](const char *english) {
                return language.isEmpty() ? QString::fromLatin1(english) : testing::windowText(language, english);
            };
            return QStringList{"label|" + text("File URL"), "button|" + text("Download"), "label|" + text("Total (MB)"),
                               "label|" + text("Current (MB)"), "progress " + text("Download progress") + "|0"};
        };
        QTest::newRow("96 dpi") << 96 << "C" << "" << spokenIn("");
        QTest::newRow("144 dpi") << 144 << "C" << "" << spokenIn("");
        const QStringList languages = testing::translatedLanguages();
        for (qsizetype i = 0; i < languages.size(); ++i) {
            const int dpi = i % 2 ? 144 : 96;
            QTest::addRow("%d dpi %s", dpi, qPrintable(languages[i]))
                << dpi << utf8LocaleOf(languages[i]) << "" << spokenIn(languages[i]);
        }
        // LANGUAGE before the locale, and past a language Brindle lacks.
        const QString first = utf8LocaleOf(languages.first());
        QTest::addRow("96 dpi %s before %s", qPrintable(languages.last()), qPrintable(languages.first()))
            << 96 << first << languages.last() << spokenIn(languages.last());
        QTest::addRow("96 dpi pt:%s before %s", qPrintable(languages.last()), qPrintable(languages.first()))
            << 96 << first << "pt:" + languages.last() << spokenIn(languages.last());
    }
    void layoutFollowsTheDpi()
    {
        QFETCH(int, dpi);
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QVERIFY2(!locale.isEmpty(), "a language without a UTF-8 locale here: tools/setup.sh test makes one");
        const int twipsPerPixel = qRound(1440.0 / dpi);
        testing::Sandbox sandbox;
        const auto bus = screenReaderBus();
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.config());
        QProcessEnvironment english = env_;
        env_.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
        env_.insert(QStringLiteral("QT_FONT_DPI"), QString::number(dpi));
        env_.insert(QStringLiteral("LANG"), locale);
        if (!language.isEmpty())
            env_.insert(QStringLiteral("LANGUAGE"), language);
        startBrindle(sandbox.work());
        env_ = english;
        const QString win = window();
        QTest::qWait(500);
        const QString file = QStringLiteral("%1/layout-%2dpi-%3%4.png").arg(shots_).arg(dpi).arg(locale, language);
        run(QStringLiteral("import"), {QStringLiteral("-window"), win, file});
        const QImage shot(file);
        namespace layout = app::layout;
        QCOMPARE(shot.size(), QSize(layout::kWindowWidth / twipsPerPixel, layout::kWindowHeight / twipsPerPixel));
        // The empty bar ends where the layout puts its right edge.
        const int row = (layout::kProgressBar.top + layout::kProgressBar.height / 2) / twipsPerPixel;
        const int right = (layout::kProgressBar.left + layout::kProgressBar.width) / twipsPerPixel - 1;
        const QRgb empty = shot.pixel((layout::kProgressBar.left + 3200) / twipsPerPixel, row);
        QCOMPARE(shot.pixel(right, row), empty);
        QVERIFY(shot.pixel(right + 1, row) != empty);
        QFETCH(QStringList, spoken);
        const QString read = run(QStringLiteral("/usr/bin/python3"),
                                 {QStringLiteral(BRINDLE_SOURCE_DIR "/tests/e2e/atspi_probe.py"), QStringLiteral("read")});
        for (const QString &line : spoken) {
            const QString expected = line.startsWith(QStringLiteral("progress ")) ? line : QStringLiteral("text ") + line;
            QVERIFY2(read.split(QLatin1Char('\n')).contains(expected), qPrintable(expected + QStringLiteral(" not in:\n") + read));
        }
        // The controls sit at their layout places too: a click at the
        // button's place presses it, and a press remembers the address.
        click(win, centreOf(layout::kDownloadButton, twipsPerPixel));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(sandbox.config() + QStringLiteral("/Brindle/brindle.ini")), 3000);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "e2e_test.moc"
