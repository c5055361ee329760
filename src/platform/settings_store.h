#pragma once
// The per-user settings store: one INI file per application name under the
// user's XDG config folder ($XDG_CONFIG_HOME, or ~/.config), read afresh on
// every call so that a change of the environment or the executable's name is
// seen at once.

#include <QString>

namespace platform {

// The running executable's file name without its extension.
QString applicationName();

// The stored text, or `fallback` when nothing is stored or the store cannot
// be read. A store that exists is made private first, as writeSetting makes it.
QString readSetting(const QString &application, const QString &section,
                    const QString &key, const QString &fallback);

// Stores the text and syncs it to disk before returning, in a file that only
// the user may read (0600, its folder made 0700); text already stored there
// is left as it is. False when the store could not be written.
bool writeSetting(const QString &application, const QString &section,
                  const QString &key, const QString &value);

} // namespace platform
