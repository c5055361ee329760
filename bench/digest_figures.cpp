// What checking a file's digest costs: each library's throughput on 1 GiB
// in memory (libcrypto, which Brindle uses, and Qt's QCryptographicHash);
// the time from real wget's end to the window idle again for a 1 GiB file
// whose SHA-256 the server publishes; and Brindle's own processor time for
// a 200 MiB loopback download with and without a published digest, beside
// wget's own. Prints table rows.
#include "app/main_window.h"
#include "support/helpers.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr qint64 kGiB = qint64(1) << 30;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

testing::Cost press(app::MainWindow &window, const QString &address)
{
    window.findChild<QLineEdit *>(QStringLiteral("addressBox"))->setText(address);
    auto *button = window.findChild<QPushButton *>(QStringLiteral("downloadButton"));
    return testing::costOf([button] { button->click(); });
}

// Seconds to hash 1 GiB, in blocks of 1 MiB as the hasher reads them.
double libcryptoSeconds(const EVP_MD *method, const QByteArray &block)
{
    QElapsedTimer clock;
    clock.start();
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, method, nullptr);
    for (qint64 done = 0; done < kGiB; done += block.size())
        EVP_DigestUpdate(context, block.constData(), size_t(block.size()));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    return clock.nsecsElapsed() / 1e9;
}

double qtSeconds(QCryptographicHash::Algorithm algorithm, const QByteArray &block)
{
    QElapsedTimer clock;
    clock.start();
    QCryptographicHash hash(algorithm);
    for (qint64 done = 0; done < kGiB; done += block.size())
        hash.addData(block);
    hash.result();
    return clock.nsecsElapsed() / 1e9;
}

// Writes `size` pseudo-random bytes; returns their SHA-256 in base64.
QByteArray makeSource(const QString &path, qint64 size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QRandomGenerator generator(11);
    QByteArray block(1 << 20, Qt::Uninitialized);
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (qint64 done = 0; done < size; done += block.size()) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block);
        EVP_DigestUpdate(context, block.constData(), size_t(block.size()));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    EVP_MD_CTX_free(context);
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toBase64();
}

void publish(const QString &path, const QByteArray &sha256)
{
    QFile headers(path + QStringLiteral(".headers"));
    headers.open(QIODevice::WriteOnly);
    headers.write("Repr-Digest: sha-256=:" + sha256 + ":\n");
}

double childCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    const struct
    {
        const char *name;
        const EVP_MD *method;
        QCryptographicHash::Algorithm qt;
    } algorithms[] = {{"SHA-256", EVP_sha256(), QCryptographicHash::Sha256},
                      {"SHA-512", EVP_sha512(), QCryptographicHash::Sha512},
                      {"MD5", EVP_md5(), QCryptographicHash::Md5}};
    for (const auto &algorithm : algorithms) {
        const double ours = libcryptoSeconds(algorithm.method, block);
        const double qt = qtSeconds(algorithm.qt, block);
        std::printf("| %s of 1 GiB in memory | libcrypto %.2f s (%.0f MB/s), QCryptographicHash %.2f s (%.0f MB/s) "
                    "| faster than loopback wget writes |\n",
                    algorithm.name, ours, kGiB / ours / 1e6, qt, kGiB / qt / 1e6);
    }

    const testing::Sandbox sandbox;
    QTemporaryDir root;
    const testing::TestServer server(root.path());
    const QString base = server.url(QString());
    app::MainWindow window([] {});

    {
        const QString huge = root.filePath(QStringLiteral("huge.bin"));
        publish(huge, makeSource(huge, kGiB));
        // Real wget, in a wrapper that reports when it ends (confined, it
        // can write no file of its own).
        const testing::FakeWget wget(
            QStringLiteral("/usr/bin/wget \"$@\"; s=$?; date +%s%N > \"$report\"; exit $s"));
        std::vector<double> ends;
        for (int i = 0; i < 3; ++i) {
            QFile::remove(QStringLiteral("huge.bin"));
            press(window, base + QStringLiteral("/huge.bin"));
            const qint64 idleAt = QDateTime::currentMSecsSinceEpoch();
            const QByteArrayList noted = wget.reports().trimmed().split('\n');
            ends.push_back(double(idleAt - noted.last().toLongLong() / 1000000));
        }
        QFile::remove(QStringLiteral("huge.bin"));
        QFile::remove(huge);
        std::printf("| wget's end to the window idle, 1 GiB with a published SHA-256, median of 3 | %.0f ms "
                    "| at most 100 ms |\n",
                    median(ends));
    }

    const QString plain = root.filePath(QStringLiteral("plain.bin"));
    const QString checked = root.filePath(QStringLiteral("checked.bin"));
    publish(checked, makeSource(checked, 200 << 20));
    QFile::copy(checked, plain);
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> wgetAlone;
    for (int i = 0; i < 3; ++i) {
        for (const QString &name : {QStringLiteral("plain.bin"), QStringLiteral("checked.bin")}) {
            QFile::remove(name);
            (name == QStringLiteral("plain.bin") ? without : with)
                .push_back(press(window, base + QLatin1Char('/') + name).cpuSeconds);
        }
        QFile::remove(QStringLiteral("plain.bin"));
        QProcess wget;
        wget.setStandardOutputFile(QProcess::nullDevice());
        wget.setStandardErrorFile(QProcess::nullDevice());
        const double before = childCpuSeconds();
        wget.start(QStringLiteral("wget"), {QStringLiteral("-c"), base + QStringLiteral("/plain.bin")});
        wget.waitForFinished(-1);
        wgetAlone.push_back(childCpuSeconds() - before);
    }
    std::printf("| Brindle's own CPU for a 200 MiB loopback download, median of 3 | %.3f s without a digest, "
                "%.3f s with a published SHA-256 (wget's own %.3f s) | the hash's cost, nothing more |\n",
                median(without), median(with), median(wgetAlone));
    return 0;
}
