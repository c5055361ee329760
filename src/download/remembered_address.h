#pragma once
// The last address, remembered per user and per executable name.

#include <QString>

namespace download {

// The remembered address, or "http://" when none is stored or the store
// cannot be read. `application` defaults to the running executable's name.
QString restoreAddress();
QString restoreAddress(const QString &application);

// Stores the text unchanged; false when the store could not be written.
bool saveAddress(const QString &text);
bool saveAddress(const QString &application, const QString &text);

} // namespace download
