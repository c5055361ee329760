#include "download/remembered_address.h"

#include "download/address_rules.h"
#include "platform/settings_store.h"

namespace download {
namespace {
const QString kSection = QStringLiteral("lasturl");
const QString kKey = QStringLiteral("last");
} // namespace

QString restoreaddress()
{
    return restoreaddress(platform::applicationName());
}

QString restoreaddress(const QString &application)
{
    return platform::readSetting(application, kSection, kKey, kPrefix);
}

bool saveaddress(const QString &text)
{
    return saveaddress(platform::applicationName(), text);
}

bool saveaddress(const QString &application, const QString &text)
{
    return platform::writeSetting(application, kSection, kKey, text);
}

} // namespace download
