#pragma once
// Shared test fixtures: a private settings folder, Brindle's loopback test
// server, nginx, a recording stand-in for wget, and process and file checks.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <memory>

namespace testing {

// Points XDG_CONFIG_HOME at a fresh temporary folder and the working
// directory at another. The working directory is put back on destruction;
// XDG_CONFIG_HOME is left on the removed folder, so nothing that runs after
// can reach the real settings.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    QString config() const { return config_.path(); }
    QString work() const { return work_.path(); }

private:
    QTemporaryDir config_;
    QTemporaryDir work_;
    QString previousDir_;
};

// tools/test_server.py on 127.0.0.1 serving `root`, noting each request's
// arrival in `requestLog` when one is named.
class TestServer
{
public:
    explicit TestServer(const QString &root, const QString &requestLog = QString());
    ~TestServer();
    QString url(const QString &path) const; // path starts with "/"

private:
    QProcess process_;
    int port_ = 0;
};

// nginx serving `root` on 127.0.0.1 as real sites are set up: CSV and JSON
// compressed for clients that accept gzip, ETag and Last-Modified on every
// file. Under /slow/ it sends 1 MiB a second; /private/ is the same at the
// same pace behind Basic authentication for user "alice", password "secret",
// and user "jörg", password "pässö" (their UTF-8 bytes);
// /limited/ answers one request in ten seconds, and 503 to the others.
class Nginx;
class Lighttpd;

// A real web server on 127.0.0.1 and a free port, run in the foreground with
// a configuration of the test's in a folder of its own; ended with it.
class WebServer
{
public:
    virtual ~WebServer();
    QString url(const QString &path) const;

private:
    friend class Nginx;
    friend class Lighttpd;
    WebServer();
    // Writes `configuration` (%1 the folder, %2 the port) to `file` in the
    // folder, starts `program` with `arguments` (%1 the file, %2 the folder)
    // and returns once it listens.
    void start(const QString &file, const QString &configuration, const QString &program, QStringList arguments);

    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

class Nginx : public WebServer
{
public:
    explicit Nginx(const QString &root);
};

// lighttpd serving `root` on 127.0.0.1 as Debian sets it up, which answers
// a Range of more than ten stretches with the first ten alone.
class Lighttpd : public WebServer
{
public:
    explicit Lighttpd(const QString &root);
};

// A loopback UDP port that keeps, in order, every datagram sent to it: how
// a confined child reports to a test. It holds none of the test's files or
// descriptors; UDP is the one channel confinement leaves open (the
// resolver's), so the child needs nothing but the port's number.
class ReportPort
{
public:
    ReportPort();
    // Where bash sends to it: `echo $? >"$path"`.
    QString path() const;
    // Everything received so far, in the order sent.
    QByteArray received();

private:
    QUdpSocket socket_;
    QByteArray received_;
};

// Puts a folder first on PATH holding a "wget" that logs its arguments and
// its standard input and sleeps `seconds`. Restores PATH on destruction. It
// logs through a ReportPort, so also when Brindle confines it. Asked for its
// version (`wget --version`), it prints `version` and ends, logging nothing.
class FakeWget
{
public:
    explicit FakeWget(double seconds = 0);
    // Runs the shell commands `then` after logging instead of sleeping; in
    // them $here names the stand-in's folder and $report a ReportPort's path
    // (reports()).
    explicit FakeWget(const QString &then, const QString &version = QString());
    ~FakeWget();
    QList<QStringList> calls() const; // one entry per run: its arguments
    QList<QByteArray> inputs() const; // one entry per run: its standard input
    QByteArray reports() const;       // what `then` sent to $report
    QString filePath(const QString &name) const { return dir_.filePath(name); } // in its folder

private:
    QList<QByteArrayList> records() const;

    QTemporaryDir dir_;
    QByteArray previousPath_;
    mutable ReportPort log_;
    mutable ReportPort reports_;
};

// Writes `size` pseudo-random bytes; returns the file's SHA-256.
QByteArray makeFile(const QString &path, qint64 size);
QByteArray sha256(const QString &path);

// The names in a folder as raw bytes, without "." and "..".
QList<QByteArray> namesIn(const QByteArray &folder);

// Where a process holds the text it is found by.
enum class Held {
    AsArgument, // one of its arguments, whole
    Anywhere,   // anywhere in its command line or environment
};

// Ids of live processes that hold `text` (its UTF-8 bytes) as `held` says;
// with `executable`, only those running that file (by its canonical path).
QList<int> processesWith(const QString &text, Held held = Held::AsArgument, const QString &executable = QString());

// Ids of this process's children that have ended and are not yet reaped.
QList<int> zombieChildren();

// Descriptors this process holds open.
int openDescriptors();

// This process's resident memory, in bytes.
qint64 residentBytes();

// Ends the test program with a message unless destroyed within `seconds`,
// so that a wait whose wake-up is lost fails fast instead of at CTest's
// time-out. It fires from any event loop, nested ones among them.
class Deadline
{
public:
    Deadline(double seconds, const char *what);
    ~Deadline();

private:
    QTimer *timer_;
};

int freePort();

// The languages Brindle is translated to, as translations/LINGUAS lists them,
// so that a language added there is checked without a test being edited.
QStringList translatedLanguages();

// The window's text for the English `source` in `language`, as its catalogue
// translations/brindle_<language>.ts has it; empty when it has none.
QString windowText(const QString &language, const QString &source);

// Wall-clock and processor seconds (user and system, this process) that an
// action takes.
struct Cost
{
    double seconds = 0;
    double cpuSeconds = 0;
};
Cost costOf(const std::function<void()> &action);

} // namespace testing
