#include "support/helpers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testing {

Sandbox::Sandbox() : previousDir_(QDir::currentPath())
{
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    QDir::setCurrent(work_.path());
}

Sandbox::~Sandbox()
{
    QDir::setCurrent(previousDir_);
}

TestServer::TestServer(const QString &root, const QString &requestLog)
{
    // A copy elsewhere for a test run as a user who cannot reach the checkout.
    QStringList arguments{qEnvironmentVariable("BRINDLE_TEST_SERVER", QStringLiteral(BRINDLE_SOURCE_DIR "/tools/test_server.py")),
                          QStringLiteral("--root"), root};
    if (!requestLog.isEmpty())
        arguments << QStringLiteral("--log") << requestLog;
    // Debian's own, not a version manager's shim, whose start-up a loaded
    // machine stretches to seconds.
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (process_.waitForReadyRead(10000))
        port_ = process_.readLine().trimmed().toInt();
    if (port_ == 0)
        qFatal("test server did not start: %s", process_.readAllStandardError().constData());
}

TestServer::~TestServer()
{
    process_.kill();
    process_.waitForFinished();
}

QString TestServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

WebServer::WebServer() : port_(freePort())
{
}

WebServer::~WebServer()
{
    process_.terminate();
    process_.waitForFinished();
}

QString WebServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void WebServer::start(const QString &file, const QString &configuration, const QString &program, QStringList arguments)
{
    const QString conf = dir_.filePath(file);
    QFile written(conf);
    written.open(QIODevice::WriteOnly);
    written.write(configuration.arg(dir_.path()).arg(port_).toLocal8Bit());
    written.close();
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("%1"), conf).replace(QStringLiteral("%2"), dir_.path());
    process_.start(program, arguments);
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        if (socket.waitForConnected(100))
            return;
        QTest::qWait(50);
    }
    qFatal("%s did not start", qPrintable(program));
}

Nginx::Nginx(const QString &root)
{
    QFile users(dir_.filePath(QStringLiteral("users")));
    users.open(QIODevice::WriteOnly);
    users.write("alice:{PLAIN}secret\n"
                "j\xc3\xb6rg:{PLAIN}p\xc3\xa4ss\xc3\xb6\n");
    users.close();
    // One process, so no switch to an unprivileged user that could not read
    // the test's private folders.
    // Compressing text types is how many real sites are set up.
    start(QStringLiteral("nginx.conf"),
          QStringLiteral("daemon off; master_process off; pid %1/nginx.pid;\n"
                         "error_log %1/error.log;\nevents {}\n"
                         "http { access_log off; client_body_temp_path %1;\n"
                         "  types { text/html html; text/csv csv; application/json json; }\n"
                         "  default_type application/octet-stream;\n"
                         "  gzip on; gzip_types text/csv application/json;\n"
                         "  limit_req_zone $binary_remote_addr zone=few:1m rate=6r/m;\n"
                         "  server { listen 127.0.0.1:%2; root %3;\n"
                         "    location /limited/ { alias %3/; limit_req zone=few; }\n"
                         "    location /slow/ { alias %3/; limit_rate 1m; }\n"
                         "    location /private/ { alias %3/; limit_rate 1m; auth_basic Brindle;\n"
                         "      auth_basic_user_file %1/users; } } }\n")
              .replace(QStringLiteral("%3"), root),
          QStringLiteral("nginx"), {QStringLiteral("-c"), QStringLiteral("%1"), QStringLiteral("-p"), QStringLiteral("%2")});
}

Lighttpd::Lighttpd(const QString &root)
{
    start(QStringLiteral("lighttpd.conf"),
          QStringLiteral("server.document-root = \"%3\"\nserver.bind = \"127.0.0.1\"\nserver.port = %2\n"
                         "server.errorlog = \"%1/error.log\"\n")
              .replace(QStringLiteral("%3"), root),
          QStringLiteral("lighttpd"), {QStringLiteral("-D"), QStringLiteral("-f"), QStringLiteral("%1")});
}

FakeWget::FakeWget(double seconds) : FakeWget(QStringLiteral("exec sleep %1").arg(seconds))
{
}

ReportPort::ReportPort()
{
    if (!socket_.bind(QHostAddress::LocalHost, 0))
        qFatal("no UDP port for reports: %s", qPrintable(socket_.errorString()));
    // Drained as it arrives too, so a long test fills no buffer.
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { received(); });
}

QString ReportPort::path() const
{
    return QStringLiteral("/dev/udp/127.0.0.1/%1").arg(socket_.localPort());
}

QByteArray ReportPort::received()
{
    // Loopback delivers a datagram before its send returns, so all a child
    // sent before it ended is here.
    while (socket_.hasPendingDatagrams()) {
        QByteArray datagram(socket_.pendingDatagramSize(), Qt::Uninitialized);
        datagram.resize(std::max<qint64>(socket_.readDatagram(datagram.data(), datagram.size()), 0));
        received_ += datagram;
    }
    return received_;
}

FakeWget::FakeWget(const QString &then, const QString &version) : previousPath_(qgetenv("PATH"))
{
    const QString script = dir_.filePath(QStringLiteral("wget"));
    QFile file(script);
    file.open(QIODevice::WriteOnly);
    // Each argument ends in \037 and the standard input follows, so a split
    // argument or a second input line shows; bash, for /dev/udp.
    file.write(QStringLiteral("#!/bin/bash\nhere='%1' report='%5'\n"
                              "if [ \"$*\" = --version ]; then printf '%s' '%4'; exit 0; fi\n"
                              "{ for a in \"$@\"; do printf '%s\\037' \"$a\"; done; cat; printf '\\036'; } >%3\n%2\n")
                   .arg(dir_.path(), then, log_.path(), version, reports_.path())
                   .toLocal8Bit());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", dir_.path().toLocal8Bit() + ':' + previousPath_);
}

FakeWget::~FakeWget()
{
    qputenv("PATH", previousPath_);
}

QByteArray FakeWget::reports() const
{
    return reports_.received();
}

QList<QByteArrayList> FakeWget::records() const
{
    QList<QByteArrayList> records;
    QByteArrayList runs = log_.received().split('\x1e');
    runs.removeLast(); // after the last run's end mark
    for (const QByteArray &run : std::as_const(runs))
        records << run.split('\x1f'); // the arguments, then the input
    return records;
}

QList<QStringList> FakeWget::calls() const
{
    QList<QStringList> calls;
    for (QByteArrayList record : records()) {
        record.removeLast();
        QStringList arguments;
        for (const QByteArray &argument : std::as_const(record))
            arguments << QString::fromLocal8Bit(argument);
        calls << arguments;
    }
    return calls;
}

QList<QByteArray> FakeWget::inputs() const
{
    QList<QByteArray> inputs;
    for (const QByteArrayList &record : records())
        inputs << record.last();
    return inputs;
}

QByteArray makeFile(const QString &path, qint64 size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QRandomGenerator generator(42);
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block.constData(), std::min<qint64>(block.size(), size - written));
    }
    file.close();
    return sha256(path);
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QList<QByteArray> namesIn(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
    }
    return names;
}

QList<int> processesWith(const QString &text, Held held, const QString &executable)
{
    const QByteArray bytes = text.toUtf8();
    QList<int> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!numeric || !cmdline.open(QIODevice::ReadOnly))
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        stat.open(QIODevice::ReadOnly);
        if (stat.readAll().contains(") Z "))
            continue; // a zombie is gone, only not yet reaped
        const QByteArray arguments = cmdline.readAll();
        bool holds = arguments.split('\0').contains(bytes);
        if (!holds && held == Held::Anywhere) {
            QFile environment(QStringLiteral("/proc/%1/environ").arg(entry));
            holds = arguments.contains(bytes) || (environment.open(QIODevice::ReadOnly) && environment.readAll().contains(bytes));
        }
        if (holds
            && (executable.isEmpty()
                || QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == executable))
            found << pid;
    }
    return found;
}

QList<int> zombieChildren()
{
    QList<int> found;
    const QByteArray parent = QByteArray::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "<pid> (<name>) <state> <ppid> ...": the name may hold blanks.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1 && after[0] == "Z" && after[1] == parent)
            found << entry.toInt();
    }
    return found;
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

Deadline::Deadline(double seconds, const char *what) : timer_(new QTimer)
{
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, [what, seconds] {
        qFatal("%s: not done within %g s", what, seconds);
    });
    timer_->start(static_cast<int>(seconds * 1000));
}

Deadline::~Deadline()
{
    delete timer_;
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

Cost costOf(const std::function<void()> &action)
{
    const auto cpu = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
               + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    QElapsedTimer clock;
    const double before = cpu();
    clock.start();
    action();
    return {clock.nsecsElapsed() / 1e9, cpu() - before};
}

QStringList translatedLanguages()
{
    QFile list(QStringLiteral(BRINDLE_SOURCE_DIR "/translations/LINGUAS"));
    if (!list.open(QIODevice::ReadOnly))
        qFatal("translations/LINGUAS cannot be read");
    QStringList languages;
    while (!list.atEnd()) {
        const QString line = QString::fromUtf8(list.readLine()).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            languages << line;
    }
    return languages;
}

QString windowText(const QString &language, const QString &source)
{
    QFile catalogue(QStringLiteral(BRINDLE_SOURCE_DIR "/translations/brindle_%1.ts").arg(language));
    if (!catalogue.open(QIODevice::ReadOnly))
        qFatal("no catalogue for %s", qPrintable(language));
    QXmlStreamReader xml(&catalogue);
    bool matches = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            matches = xml.readElementText() == source;
        else if (xml.name() == QLatin1String("translation") && matches)
            return xml.readElementText();
    }
    return QString();
}

} // namespace testing
