#pragma once
// Brindle in the user's language. Brindle's texts are written in English;
// its catalogues (brindle_<language>.qm, built from translations/*.ts) are
// installed beside Qt's own, whose catalogue translates what Qt draws for
// Brindle, such as a message box's buttons.

#include <QLocale>
#include <QString>

namespace app {

// Where the catalogues are installed: a fixed path from the executable's
// folder, which the build tree keeps as well.
QString installedTranslations();

// Installs Brindle's catalogue and Qt's for the first of the locale's
// interface languages (for the system locale: LANGUAGE's list first, then
// LC_ALL, LC_MESSAGES or LANG, as Qt reads them) that is English, where
// Brindle keeps its own texts, or that Brindle has a catalogue for. Replaces
// the catalogues installed before; windows made afterwards show its texts.
// Returns that language as a locale, the C locale when none was found, so
// that the window writes its figures as its words are written.
QLocale installTranslations(const QLocale &locale = QLocale(), const QString &folder = installedTranslations());

} // namespace app
