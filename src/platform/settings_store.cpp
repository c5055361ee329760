#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

QString settingsPath(const QString &application)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Brindle/") + application + QStringLiteral(".ini");
}

// The address may carry a password: Brindle's folder is for the user alone,
// and the file is readable by the user alone, also one that an older
// Brindle left readable by others, from the moment it is read at start-up.
// Reading makes nothing that is missing (`create` false); writing makes the
// folder and the file. The sync after a write replaces the file with one of
// the same mode.
void makePrivate(const QString &path, bool create)
{
    const QString folder = QFileInfo(path).path();
    const QByteArray folderName = QFile::encodeName(folder);
    if (create) {
        QDir().mkpath(QFileInfo(folder).path());
        ::mkdir(folderName.constData(), 0700);
    }
    // Also a folder that already exists, when it is the user's own.
    struct stat info {};
    if (::lstat(folderName.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
        ::chmod(folderName.constData(), 0700);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0), 0600);
    if (fd >= 0) {
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid())
            ::fchmod(fd, 0600);
        ::close(fd);
    }
}

// The program may end without unwinding, so every write reaches the disk now.
bool syncStore(QSettings &store)
{
    store.sync();
    // A format error only says the old contents could not be parsed; the
    // sync has rewritten the file.
    return store.status() != QSettings::AccessError;
}

} // namespace

QString applicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString readSetting(const QString &application, const QString &section,
                    const QString &key, const QString &fallback)
{
    const QString path = settingsPath(application);
    makePrivate(path, false);
    QSettings store(path, QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return fallback;
    const QVariant value = store.value(section + QLatin1Char('/') + key);
    if (!value.isValid() || value.typeId() == QMetaType::QStringList)
        return fallback;
    return value.toString();
}

bool writeSetting(const QString &application, const QString &section,
                  const QString &key, const QString &value)
{
    const QString path = settingsPath(application);
    makePrivate(path, true);
    QSettings store(path, QSettings::IniFormat);
    const QString name = section + QLatin1Char('/') + key;
    // A sync waits for the disk, which a running download keeps busy: a
    // value already stored, read back without error, is not written again.
    if (store.status() == QSettings::NoError && store.value(name) == QVariant(value))
        return true;
    store.setValue(name, value);
    return syncStore(store);
}

} // namespace platform
