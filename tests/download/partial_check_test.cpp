#include "download/partial_check.h"
#include "platform/http_probe.h"
#include "support/helpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace download;

// Failing rows show the stretches.
namespace download {
char *toString(const Stretch &stretch)
{
    return QTest::toString(QStringLiteral("[%1, %2)").arg(stretch.from).arg(stretch.to));
}
} // namespace download

namespace {
constexpr qint64 compared = kComparedBytes;
constexpr qint64 large = qint64(10) << 30; // past 32 bits
} // namespace

class PartialCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void stretchesBeforeResume_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QList<quint64>>("draws");
        QTest::addColumn<QList<Stretch>>("stretches");
        QTest::newRow("empty") << qint64(0) << QList<quint64>{} << QList<Stretch>{};
        QTest::newRow("one byte") << qint64(1) << QList<quint64>{} << QList<Stretch>{{0, 1}};
        QTest::newRow("one byte short of 64 KiB") << compared - 1 << QList<quint64>{} << QList<Stretch>{{0, compared - 1}};
        QTest::newRow("64 KiB") << compared << QList<quint64>{} << QList<Stretch>{{0, compared}};
        QTest::newRow("64 KiB and one") << compared + 1 << QList<quint64>{} << QList<Stretch>{{0, compared + 1}};
        QTest::newRow("128 KiB, the two touching") << 2 * compared << QList<quint64>{} << QList<Stretch>{{0, 2 * compared}};
        QTest::newRow("128 KiB and one")
            << 2 * compared + 1 << QList<quint64>{} << QList<Stretch>{{0, compared}, {compared + 1, 2 * compared + 1}};
        QTest::newRow("large") << large << QList<quint64>{} << QList<Stretch>{{0, compared}, {large - compared, large}};
        // Drawn stretches lie anywhere in the file, in order, one where they
        // meet; a draw beyond the file wraps into it.
        QTest::newRow("large, drawn")
            << large << QList<quint64>{quint64(large), 1 << 30, 1, (1 << 30) + 100}
            << QList<Stretch>{{0, compared}, {1 << 30, (1 << 30) + 4196}, {large - compared, large}};
        QTest::newRow("drawn in a file shorter than a drawn stretch")
            << qint64(1000) << QList<quint64>{123456789} << QList<Stretch>{{0, 1000}};
        QTest::newRow("drawn between the two")
            << 4 * compared << QList<quint64>{quint64(compared + 10)}
            << QList<Stretch>{{0, compared}, {compared + 10, compared + 10 + 4096}, {3 * compared, 4 * compared}};
    }
    void stretchesBeforeResume()
    {
        QFETCH(qint64, length);
        QFETCH(QList<quint64>, draws);
        QTEST(download::stretchesBeforeResume(length, draws), "stretches");
    }

    void stretchesAfterRun_data()
    {
        QTest::addColumn<qint64>("lengthAtStart");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QList<quint64>>("draws");
        QTest::addColumn<QList<Stretch>>("stretches");
        QTest::newRow("one byte, from nothing") << qint64(0) << qint64(1) << QList<quint64>{} << QList<Stretch>{{0, 1}};
        QTest::newRow("large, from nothing") << qint64(0) << large << QList<quint64>{} << QList<Stretch>{{0, compared}};
        QTest::newRow("from one byte") << qint64(1) << large << QList<quint64>{} << QList<Stretch>{{0, compared + 1}};
        QTest::newRow("from 128 KiB, the two touching") << 2 * compared << large << QList<quint64>{} << QList<Stretch>{{0, 3 * compared}};
        QTest::newRow("from 128 KiB and one")
            << 2 * compared + 1 << large << QList<quint64>{} << QList<Stretch>{{0, compared}, {compared + 1, 3 * compared + 1}};
        QTest::newRow("one byte written")
            << large - 1 << large << QList<quint64>{} << QList<Stretch>{{0, compared}, {large - 1 - compared, large}};
        QTest::newRow("nothing written") << large << large << QList<quint64>{} << QList<Stretch>{{0, compared}, {large - compared, large}};
        QTest::newRow("drawn before where the run began")
            << large - 1 << large << QList<quint64>{quint64(compared)}
            << QList<Stretch>{{0, compared + 4096}, {large - 1 - compared, large}};
    }
    void stretchesAfterRun()
    {
        QFETCH(qint64, lengthAtStart);
        QFETCH(qint64, length);
        QFETCH(QList<quint64>, draws);
        QTEST(download::stretchesAfterRun(lengthAtStart, length, draws), "stretches");
    }

    // The file's own bytes at [64 KiB, 128 KiB) against each kind of answer.
    void compareStretch_data()
    {
        QTest::addColumn<bool>("failed");
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<QByteArray>>("bytes");
        QTest::addColumn<std::optional<qint64>>("completeLength");
        QTest::addColumn<Match>("match");
        QTest::addColumn<bool>("alone");      // the answer was to this range alone
        QTest::addColumn<bool>("askedAgain"); // the range is then asked for alone
        const QByteArray own(compared, 'a');
        // Zeros, as a crash or a full disk leaves them at a part's end.
        const QByteArray zeroedEnd = own.left(compared - 4096) + QByteArray(4096, '\0');
        const std::optional<qint64> unknown;
        QTest::newRow("206, the same") << false << 206 << std::optional(own) << std::optional(large) << Match::Same << true << false;
        QTest::newRow("206, zeros at the part's end")
            << false << 206 << std::optional(zeroedEnd) << std::optional(large) << Match::Different << true << false;
        QTest::newRow("200, the same, no length") << false << 200 << std::optional(own) << unknown << Match::Same << true << false;
        QTest::newRow("fewer sent, the same") << false << 206 << std::optional(own.left(10)) << std::optional(large)
                                              << Match::Same << true << false;
        QTest::newRow("fewer sent, one differs")
            << false << 206 << std::optional(own.left(9) + 'b') << std::optional(large) << Match::Different << true << false;
        QTest::newRow("server's file ends inside")
            << false << 206 << std::optional(own.left(10)) << std::optional(compared + 10) << Match::Different << true << false;
        QTest::newRow("server's file ends with it")
            << false << 206 << std::optional(own) << std::optional(2 * compared) << Match::Same << true << false;
        QTest::newRow("416") << true << 416 << std::optional<QByteArray>() << unknown << Match::Different << true << false;
        QTest::newRow("500") << true << 500 << std::optional<QByteArray>() << unknown << Match::Unknown << true << false;
        QTest::newRow("no answer") << true << 0 << std::optional<QByteArray>() << unknown << Match::Unknown << true << false;
        QTest::newRow("answer without the bytes") << false << 206 << std::optional<QByteArray>() << unknown
                                                  << Match::Unknown << true << false;
        QTest::newRow("no bytes sent") << false << 206 << std::optional(QByteArray()) << unknown << Match::Unknown << true << false;
        // An answer to several ranges shows a stretch the same, or nothing.
        QTest::newRow("several, the same") << false << 206 << std::optional(own) << std::optional(large) << Match::Same << false << false;
        QTest::newRow("several, bytes differ") << false << 200 << std::optional(zeroedEnd) << unknown << Match::Unknown << false << true;
        QTest::newRow("several, server's file ends inside")
            << false << 206 << std::optional(own.left(10)) << std::optional(compared + 10) << Match::Unknown << false << true;
        QTest::newRow("several, 416") << true << 416 << std::optional<QByteArray>() << unknown << Match::Unknown << false << true;
        QTest::newRow("several, no answer") << true << 0 << std::optional<QByteArray>() << unknown << Match::Unknown << false << false;
    }

    void compareStretch()
    {
        QFETCH(bool, failed);
        QFETCH(int, status);
        QFETCH(std::optional<QByteArray>, bytes);
        QFETCH(std::optional<qint64>, completeLength);
        QFETCH(bool, alone);
        const StretchAnswer server{failed, status, bytes, completeLength, alone};
        const Match match = download::compareStretch({compared, 2 * compared}, server, QByteArray(compared, 'a'));
        QTEST(match, "match");
        QTEST(download::askAgainAlone(server, match), "askedAgain");
    }

    // The real client against real answers: a partial 256 KiB long whose
    // first 192 KiB are the server's whole file.
    void serverAnswers_data()
    {
        QTest::addColumn<bool>("nginx");
        QTest::addColumn<QString>("options"); // the script server's
        QTest::addColumn<qint64>("from"); // of a 64 KiB stretch
        QTest::addColumn<bool>("zeroedEnd");
        QTest::addColumn<Match>("match");
        QTest::addColumn<qint64>("second"); // another stretch's start, asked in the same request; -1: none
        for (const bool nginx : {false, true}) {
            const char *server = nginx ? "nginx" : "script";
            QTest::addRow("%s: 206", server) << nginx << "" << compared << false << Match::Same << qint64(-1);
            QTest::addRow("%s: 206, zeros at the part's end", server)
                << nginx << "" << compared << true << Match::Different << qint64(-1);
            QTest::addRow("%s: the file ends inside", server)
                << nginx << "" << 5 * compared / 2 << false << Match::Different << qint64(-1);
            // nginx's 416 has a body.
            QTest::addRow("%s: 416", server) << nginx << "" << 3 * compared << false << Match::Different << qint64(-1);
            QTest::addRow("%s: two stretches, multipart", server) << nginx << "" << qint64(0) << false << Match::Same
                                                                  << compared;
            QTest::addRow("%s: two stretches, zeros in the second", server)
                << nginx << "" << qint64(0) << true << Match::Different << 2 * compared;
        }
        QTest::newRow("script: 200 to a Range") << false << "norange=1" << compared << false << Match::Same << qint64(-1);
        QTest::newRow("script: 200 to a Range, the file ends inside")
            << false << "norange=1" << 5 * compared / 2 << false << Match::Different << qint64(-1);
        QTest::newRow("script: fewer sent than asked") << false << "rangecap=1000" << compared << false << Match::Same << qint64(-1);
        QTest::newRow("script: error page") << false << "getstatus=503" << compared << false << Match::Unknown << qint64(-1);
        // Bytes of another encoding are not the file's.
        QTest::newRow("script: compressed despite identity") << false << "gzipranges=1" << compared << false << Match::Unknown << qint64(-1);
        QTest::newRow("script: two stretches, 200") << false << "norange=1" << qint64(0) << false << Match::Same
                                                    << 2 * compared;
        QTest::newRow("script: two stretches, redirected")
            << false << "redirect=!f.bin" << qint64(0) << false << Match::Same << compared;
        QTest::newRow("script: redirected") << false << "redirect=!f.bin" << compared << false << Match::Same << qint64(-1);
    }
    void serverAnswers()
    {
        QFETCH(bool, nginx);
        QFETCH(QString, options);
        QFETCH(qint64, from);
        QFETCH(bool, zeroedEnd);
        QFETCH(qint64, second);
        QTemporaryDir site;
        const QString served = site.filePath(QStringLiteral("f.bin"));
        testing::makeFile(served, 3 * compared);
        QFile file(served);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray partial = file.readAll() + QByteArray(compared, 'p');
        const qint64 last = second < 0 ? from : second; // the stretch whose end is zeroed
        if (zeroedEnd)
            partial.replace(last + compared - 4096, 4096, QByteArray(4096, '\0'));
        std::unique_ptr<testing::Nginx> realSite;
        std::unique_ptr<testing::TestServer> script;
        QString address;
        if (nginx) {
            realSite = std::make_unique<testing::Nginx>(site.path());
            address = realSite->url(QStringLiteral("/f.bin"));
        } else {
            script = std::make_unique<testing::TestServer>(site.path());
            address = script->url(QStringLiteral("/x/%1/f.bin").arg(options));
        }
        platform::HttpProbe probe;
        if (second < 0) {
            const auto answer = probe.sendAndWait({{address, {{from, compared}}}}).first();
            QTEST(download::compareStretch({from, from + compared}, download::stretchAnswerOf(answer),
                                           partial.mid(from, compared)),
                  "match");
            return;
        }
        // Both in one request: the first is the server's, the second as the row says.
        const auto answer = probe.sendAndWait({{address, {{from, compared}, {second, compared}}}}).first();
        QCOMPARE(answer.rangeBytes.size(), 2);
        QCOMPARE(answer.hops.size(), options.startsWith(QStringLiteral("redirect")) ? 2 : 1);
        const StretchAnswer first = download::stretchAnswerOf(answer, 0);
        QCOMPARE(download::compareStretch({from, from + compared}, first, partial.mid(from, compared)), Match::Same);
        const StretchAnswer other = download::stretchAnswerOf(answer, 1);
        QTEST(download::compareStretch({second, second + compared}, other, partial.mid(second, compared)), "match");
    }
};

QTEST_GUILESS_MAIN(PartialCheckTest)
#include "partial_check_test.moc"
