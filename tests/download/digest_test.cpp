#include "download/digest.h"
#include "platform/file_hasher.h"
#include "support/helpers.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using namespace download;
using platform::HashAlgorithm;

Q_DECLARE_METATYPE(QList<AnsweredHeaders>)
Q_DECLARE_METATYPE(HashAlgorithm)

namespace {

const QByteArray body("the file's bytes");
QByteArray hashOf(QCryptographicHash::Algorithm algorithm, const QByteArray &bytes = body)
{
    return QCryptographicHash::hash(bytes, algorithm);
}
const QByteArray sha256 = hashOf(QCryptographicHash::Sha256);
const QByteArray sha512 = hashOf(QCryptographicHash::Sha512);
const QByteArray md5 = hashOf(QCryptographicHash::Md5);
const QByteArray other256 = hashOf(QCryptographicHash::Sha256, "another file");

QList<AnsweredHeaders> answer(const QByteArray &name, const QByteArray &value, int status = 200)
{
    return {{status, {{name, value}}}};
}

QCryptographicHash::Algorithm qtAlgorithm(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return QCryptographicHash::Sha256;
    case HashAlgorithm::Sha512:
        return QCryptographicHash::Sha512;
    case HashAlgorithm::Md5:
        return QCryptographicHash::Md5;
    }
    return QCryptographicHash::Sha256;
}

// What `hasher` answers once told the file ends at `length`; nothing
// while it has not answered.
std::optional<std::optional<QByteArray>> finished(platform::GrowingFileHasher &hasher, qint64 length)
{
    std::optional<std::optional<QByteArray>> result;
    QEventLoop loop;
    QObject::connect(&hasher, &platform::GrowingFileHasher::finished, &loop, [&](const std::optional<QByteArray> &digest) {
        result = digest;
        loop.quit();
    });
    const testing::Deadline deadline(10, "the digest");
    hasher.finish(length);
    loop.exec();
    return result;
}

} // namespace

class DigestTest : public QObject
{
    Q_OBJECT
private slots:
    // Each form a server publishes its file's digest in; what decides
    // nothing says why.
    void publishedDigest_data()
    {
        QTest::addColumn<QList<AnsweredHeaders>>("answers");
        QTest::addColumn<int>("algorithm"); // -1: no digest decides
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("undecided");
        const int none = -1;
        const int s256 = int(HashAlgorithm::Sha256), s512 = int(HashAlgorithm::Sha512), m5 = int(HashAlgorithm::Md5);
        const auto b64 = [](const QByteArray &bytes) { return bytes.toBase64(); };
        const QString malformed = QStringLiteral("malformed ");
        QTest::newRow("nothing published") << answer("ETag", "\"x\"") << none << QByteArray() << "";
        QTest::newRow("Repr-Digest sha-256") << answer("Repr-Digest", "sha-256=:" + b64(sha256) + ":") << s256 << sha256 << "";
        QTest::newRow("Repr-Digest sha-512, a parameter, blanks")
            << answer("repr-digest", "  sha-512=:" + b64(sha512) + ":;q=1 ") << s512 << sha512 << "";
        QTest::newRow("Repr-Digest both: SHA-256 decides")
            << answer("Repr-Digest", "sha-512=:" + b64(sha512) + ":, sha-256=:" + b64(sha256) + ":") << s256 << sha256 << "";
        QTest::newRow("Repr-Digest unknown beside known")
            << answer("Repr-Digest", "sha=:" + b64(md5) + ":, sha-256=:" + b64(sha256) + ":") << s256 << sha256 << "";
        QTest::newRow("Repr-Digest unknown only")
            << answer("Repr-Digest", "md5=:" + b64(md5) + ":") << none << QByteArray() << "no digest algorithm known here";
        QTest::newRow("Repr-Digest not a byte sequence")
            << answer("Repr-Digest", "sha-256=" + b64(sha256)) << none << QByteArray() << malformed + "Repr-Digest";
        QTest::newRow("Repr-Digest base64 error")
            << answer("Repr-Digest", "sha-256=:" + b64(sha256).replace('A', '!') + "!:") << none << QByteArray()
            << malformed + "Repr-Digest";
        QTest::newRow("Repr-Digest stray characters, the algorithm's length without them")
            << answer("Repr-Digest", "sha-256=:" + b64(sha256).insert(20, "!*!*") + ":") << none << QByteArray()
            << malformed + "Repr-Digest";
        QTest::newRow("Repr-Digest too short for its algorithm")
            << answer("Repr-Digest", "sha-256=:" + b64(md5) + ":") << none << QByteArray() << malformed + "Repr-Digest";
        QTest::newRow("Digest SHA-256 on a redirect")
            << (answer("Digest", "SHA-256=" + b64(sha256), 302) + answer("Server", "x")) << s256 << sha256 << "";
        QTest::newRow("Digest md5 in lower case") << answer("Digest", "md5=" + b64(md5)) << m5 << md5 << "";
        QTest::newRow("Digest SHA-512 beside UNIXsum")
            << answer("Digest", "UNIXsum=1234, SHA-512=" + b64(sha512)) << s512 << sha512 << "";
        QTest::newRow("Digest in hex") << answer("Digest", "SHA-256=" + sha256.toHex()) << none << QByteArray() << malformed + "Digest";
        QTest::newRow("Digest without padding")
            << answer("Digest", "MD5=" + b64(md5).chopped(2)) << none << QByteArray() << malformed + "Digest";
        QTest::newRow("Digest without a name") << answer("Digest", "=" + b64(md5)) << none << QByteArray() << malformed + "Digest";
        QTest::newRow("Content-MD5 on a 200") << answer("Content-MD5", b64(md5)) << m5 << md5 << "";
        // A part's digest, or a redirect's body's: not the file's.
        QTest::newRow("Content-MD5 on a 206") << answer("Content-MD5", b64(md5), 206) << none << QByteArray() << "";
        QTest::newRow("Content-MD5 on a redirect") << answer("Content-MD5", b64(md5), 302) << none << QByteArray() << "";
        QTest::newRow("x-goog-hash md5 beside crc32c")
            << answer("x-goog-hash", "crc32c=n03x6A==,md5=" + b64(md5)) << m5 << md5 << "";
        QTest::newRow("x-goog-hash in two lines")
            << QList<AnsweredHeaders>{{200, {{"x-goog-hash", "crc32c=n03x6A=="}, {"X-Goog-Hash", "md5=" + b64(md5)}}}}
            << m5 << md5 << "";
        QTest::newRow("x-goog-hash crc32c only")
            << answer("x-goog-hash", "crc32c=n03x6A==") << none << QByteArray() << "no digest algorithm known here";
        QTest::newRow("forms agreeing")
            << QList<AnsweredHeaders>{{200, {{"Digest", "SHA-256=" + b64(sha256)}, {"Repr-Digest", "sha-256=:" + b64(sha256) + ":"}}}}
            << s256 << sha256 << "";
        QTest::newRow("redirect and file disagreeing")
            << (answer("Digest", "SHA-256=" + b64(other256), 302) + answer("Repr-Digest", "sha-256=:" + b64(sha256) + ":"))
            << none << QByteArray() << "the published digests disagree";
        QTest::newRow("malformed beside a good one")
            << QList<AnsweredHeaders>{{200, {{"Content-MD5", "x"}, {"Repr-Digest", "sha-256=:" + b64(sha256) + ":"}}}}
            << none << QByteArray() << malformed + "Content-MD5";
    }
    void publishedDigest()
    {
        QFETCH(QList<AnsweredHeaders>, answers);
        QFETCH(int, algorithm);
        const DigestFinding finding = download::publishedDigest(answers);
        QCOMPARE(finding.digest ? int(finding.digest->algorithm) : -1, algorithm);
        QTEST(finding.digest ? finding.digest->value : QByteArray(), "value");
        QTEST(finding.undecided, "undecided");
    }

    // The file is hashed as it grows, its bytes read in chunks of the
    // reader's size across whatever the writes were; a file cut short is
    // hashed again from its start. Negative: the file cut to nothing.
    void hashesAsTheFileGrows_data()
    {
        QTest::addColumn<HashAlgorithm>("algorithm");
        // written before hashing starts, as a resumed part; -1: the hasher is
        // given a folder, which cannot be read, while the bytes asked for are
        // written to the file
        QTest::addColumn<qint64>("before");
        QTest::addColumn<QList<qint64>>("writes");
        QTest::addColumn<qint64>("missing"); // asked for this many bytes more than written
        const qint64 chunk = 1 << 20;
        QTest::newRow("one write") << HashAlgorithm::Sha256 << qint64(0) << QList<qint64>{1000} << qint64(0);
        QTest::newRow("across the reader's chunks")
            << HashAlgorithm::Sha512 << qint64(0) << QList<qint64>{chunk - 1, 2, chunk + 5, 3 * chunk} << qint64(0);
        QTest::newRow("byte by byte") << HashAlgorithm::Md5 << qint64(0) << QList<qint64>(40, 1) << qint64(0);
        QTest::newRow("a part, then more") << HashAlgorithm::Sha256 << 5 * chunk + 7 << QList<qint64>{4096, 9} << qint64(0);
        QTest::newRow("cut to nothing and written again")
            << HashAlgorithm::Sha256 << qint64(0) << QList<qint64>{chunk + 70000, -1, 3000} << qint64(0);
        QTest::newRow("fewer bytes than asked for") << HashAlgorithm::Sha256 << qint64(10) << QList<qint64>{10} << qint64(1);
        QTest::newRow("nothing") << HashAlgorithm::Md5 << qint64(0) << QList<qint64>{} << qint64(0);
        QTest::newRow("cannot be read") << HashAlgorithm::Md5 << qint64(-1) << QList<qint64>{1000} << qint64(0);
    }
    void hashesAsTheFileGrows()
    {
        QFETCH(HashAlgorithm, algorithm);
        QFETCH(qint64, before);
        QFETCH(QList<qint64>, writes);
        QFETCH(qint64, missing);
        QTemporaryFile file;
        QVERIFY(file.open());
        QByteArray written;
        const auto write = [&](qint64 size) {
            if (size < 0) {
                QVERIFY(file.resize(0) && file.seek(0));
                written.clear();
                return;
            }
            QByteArray bytes(size, 0);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
            QCOMPARE(file.write(bytes), size);
            QVERIFY(file.flush());
            written += bytes;
        };
        write(before);
        QTemporaryDir folder;
        const int unreadable = ::open(QFile::encodeName(folder.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const auto closeFolder = qScopeGuard([unreadable] { ::close(unreadable); });
        platform::GrowingFileHasher hasher(before < 0 ? unreadable : file.handle(), algorithm);
        for (const qint64 size : writes) {
            QTest::qWait(30); // the hasher reads what came so far
            write(size);
        }
        const std::optional<std::optional<QByteArray>> result = finished(hasher, written.size() + missing);
        QVERIFY(result);
        const std::optional<QByteArray> expected = missing || before < 0
                                                       ? std::nullopt
                                                       : std::optional(QCryptographicHash::hash(written, qtAlgorithm(algorithm)));
        QCOMPARE(*result, expected);
    }

    // Where libcrypto cannot be loaded, or computes no digest, a hasher
    // answers nothing and says why: run again in a process whose loader
    // finds a libcrypto.so.3 that is none, or whose libcrypto's
    // configuration loads no provider with digests.
    void noDigestWithoutLibcrypto_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("file"); // what the variable names, in a folder of the test's
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("failure");
        QTest::newRow("not a library") << "LD_LIBRARY_PATH" << "libcrypto.so.3" << QByteArray("not a library")
                                       << "libcrypto.so.3: file too short";
        QTest::newRow("no provider with digests")
            << "OPENSSL_CONF" << "openssl.cnf"
            << QByteArray("openssl_conf = init\n[init]\nproviders = providers\n[providers]\nnull = null\n[null]\nactivate = 1\n")
            << "offers no such digest";
    }
    void noDigestWithoutLibcrypto()
    {
        QFETCH(QString, failure);
        if (qEnvironmentVariableIsSet("BRINDLE_LIBCRYPTO_SHADOWED")) {
            QTemporaryFile file;
            QVERIFY(file.open() && file.write(body) == body.size() && file.flush());
            platform::GrowingFileHasher hasher(file.handle(), HashAlgorithm::Sha256);
            const std::optional<std::optional<QByteArray>> result = finished(hasher, body.size());
            QVERIFY(result && !*result);
            const std::optional<QString> why = platform::GrowingFileHasher::libraryFailure(HashAlgorithm::Sha256);
            QVERIFY2(why && why->contains(failure), qPrintable(why.value_or(QString())));
            return;
        }
        QVERIFY(!platform::GrowingFileHasher::libraryFailure(HashAlgorithm::Sha256));
        QFETCH(QString, variable);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        QFile written(folder.filePath(file));
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(content) == content.size());
        written.close();
        QProcess again;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(variable, variable == QStringLiteral("OPENSSL_CONF") ? written.fileName() : folder.path());
        environment.insert(QStringLiteral("BRINDLE_LIBCRYPTO_SHADOWED"), QStringLiteral("1"));
        again.setProcessEnvironment(environment);
        again.setProcessChannelMode(QProcess::MergedChannels);
        again.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("noDigestWithoutLibcrypto:") + QString::fromLatin1(QTest::currentDataTag())});
        QVERIFY(again.waitForFinished(30000));
        const QByteArray output = again.readAll();
        // Where the test's own libraries bring libcrypto (Debian 13's
        // libproxy, through libcurl and libssh2), no process of it can lack it.
        if (again.exitCode() == 127 && output.contains("error while loading shared libraries"))
            QSKIP("libcrypto is among the libraries this test is linked with");
        QVERIFY2(again.exitStatus() == QProcess::NormalExit && again.exitCode() == 0, output.constData());
    }
};

QTEST_GUILESS_MAIN(DigestTest)
#include "digest_test.moc"
