#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace platform {
namespace {

QString settingsPath(const QString &application)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Brindle/") + application + QStringLiteral(".ini");
}

} // namespace

QString applicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString readSetting(const QString &application, const QString &section,
                    const QString &key, const QString &fallback)
{
    QSettings store(settingsPath(application), QSettings::IniFormat);
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
    QSettings store(settingsPath(application), QSettings::IniFormat);
    store.setValue(section + QLatin1Char('/') + key, value);
    // The program may end without unwinding, so every write reaches the disk now.
    store.sync();
    // A format error only says the old contents could not be parsed; the
    // sync has rewritten the file.
    return store.status() != QSettings::AccessError;
}

} // namespace platform
