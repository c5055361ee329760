#pragma once
// The last address, remembered per user and per executable name.

#include <QString>

namespace download {

// The remembered address, or "http://" when none is stored or the store
// cannot be read. `application` defaults to the running executable's name.
QString restoreaddress();
QString restoreaddress(const QString &application);

// Stores the text unchanged; false when the store could not be written.
bool saveaddress(const QString &text);
bool saveaddress(const QString &application, const QString &text);

} // namespace download
