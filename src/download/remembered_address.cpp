#include "download/remembered_address.h"

#include "download/address_rules.h"
#include "platform/settings_store.h"

namespace download {
namespace {
const QString kSection = QStringLiteral("lasturl");
const QString kKey = QStringLiteral("last");
} // namespace

QString restoreAddress()
{
    return restoreAddress(platform::applicationName());
}

QString restoreAddress(const QString &application)
{
    return platform::readSetting(application, kSection, kKey, kPrefix);
}

bool saveAddress(const QString &text)
{
    return saveAddress(platform::applicationName(), text);
}

bool saveAddress(const QString &application, const QString &text)
{
    return platform::writeSetting(application, kSection, kKey, text);
}

} // namespace download
