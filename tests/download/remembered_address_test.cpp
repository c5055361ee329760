#include "download/remembered_address.h"
#include "support/helpers.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace download;

class RememberedAddressTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsExactly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("plain") << "http://127.0.0.1/f.zip";
        QTest::newRow("bare prefix") << "http://";
        QTest::newRow("no prefix") << "ftp://host/x";
        QTest::newRow("ini syntax") << "http://h/a;b=c [lasturl] #x \"q\" \\n";
        QTest::newRow("non-ascii") << QString::fromUtf8("http://h/dé ü/файл.bin");
        QTest::newRow("newline and tab") << "http://h/a\nb\tc";
        QTest::newRow("long") << "http://h/" + QString(1 << 20, QLatin1Char('a'));
    }
    void roundTripsExactly()
    {
        QFETCH(QString, address);
        testing::Sandbox sandbox;
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://"));
        QVERIFY(saveAddress(QStringLiteral("brindle"), address));
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), address);
    }

    void eachExecutableNameHasItsOwn()
    {
        testing::Sandbox sandbox;
        QVERIFY(saveAddress(QStringLiteral("brindle"), QStringLiteral("http://a/1")));
        QVERIFY(saveAddress(QStringLiteral("copy"), QStringLiteral("http://b/2")));
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://a/1"));
        QCOMPARE(restoreAddress(QStringLiteral("copy")), QStringLiteral("http://b/2"));
        QCOMPARE(restoreAddress(QStringLiteral("other")), QStringLiteral("http://"));
    }

    // Faults that root cannot be stopped by file modes from meeting: the
    // store falls back to "http://" and a later write in a sound place works.
    void brokenStoreFallsBack_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("garbage") << "garbage";
        QTest::newRow("file is a folder") << "folder";
        QTest::newRow("config below a file") << "below-file";
    }
    void brokenStoreFallsBack()
    {
        QFETCH(QString, fault);
        testing::Sandbox sandbox;
        const QString ini = sandbox.config() + QStringLiteral("/Brindle/brindle.ini");
        QDir().mkpath(sandbox.config() + QStringLiteral("/Brindle"));
        QFile file(ini);
        if (fault == QStringLiteral("folder")) {
            QDir().mkpath(ini);
        } else if (fault == QStringLiteral("below-file")) {
            QFile blocker(sandbox.config() + QStringLiteral("/plain"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            qputenv("XDG_CONFIG_HOME", blocker.fileName().toLocal8Bit() + "/below");
        } else {
            QVERIFY(file.open(QIODevice::WriteOnly));
            // Garbage that holds the key behind a line the store cannot read.
            file.write(fault == QStringLiteral("garbage") ? QByteArray("[lasturl]\nlast=http://garbled\n[[=\n\xff\x00\n", 36)
                                                         : QByteArray());
            file.close();
        }
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://"));
        const bool writable = fault == QStringLiteral("empty") || fault == QStringLiteral("garbage");
        QCOMPARE(saveAddress(QStringLiteral("brindle"), QStringLiteral("http://h/f")), writable);
        if (writable) // the sync rewrote the broken file
            QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://h/f"));

        qputenv("XDG_CONFIG_HOME", sandbox.config().toLocal8Bit() + "/sound");
        QVERIFY(saveAddress(QStringLiteral("brindle"), QStringLiteral("http://h/f")));
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://h/f"));
    }

    // The address may hold a password: only the user may read it, also
    // when an older file was readable by all, from start-up on.
    void storeIsPrivate_data()
    {
        QTest::addColumn<bool>("olderFile");
        QTest::addColumn<bool>("readFirst"); // restored at start-up before any press
        QTest::newRow("new") << false << false;
        QTest::newRow("older, readable by all, in an open folder") << true << false;
        QTest::newRow("older, readable by all, read at start-up") << true << true;
    }
    void storeIsPrivate()
    {
        QFETCH(bool, olderFile);
        QFETCH(bool, readFirst);
        testing::Sandbox sandbox;
        const QString folder = sandbox.config() + QStringLiteral("/Brindle");
        const QString ini = folder + QStringLiteral("/brindle.ini");
        if (olderFile) {
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                              | QFile::ExeOther);
            QFile file(ini);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[lasturl]\nlast=http://user:secret@h/f\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        if (readFirst)
            QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://user:secret@h/f"));
        else
            QVERIFY(saveAddress(QStringLiteral("brindle"), QStringLiteral("http://user:secret@h/f")));
        const auto owner = QFile::ReadOwner | QFile::WriteOwner;
        QCOMPARE(QFile::permissions(ini) & ~(QFile::ReadUser | QFile::WriteUser), owner);
        QCOMPARE(QFile::permissions(folder) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 owner | QFile::ExeOwner);
        QCOMPARE(restoreAddress(QStringLiteral("brindle")), QStringLiteral("http://user:secret@h/f"));
    }
};

QTEST_GUILESS_MAIN(RememberedAddressTest)
#include "remembered_address_test.moc"
