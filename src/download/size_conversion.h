#pragma once
// Reading a Content-Length header's text as a size in bytes: the size the
// window shows as the total. It is read as a number in the locale, rounded,
// by design; the probe reads the lengths of ranged answers, which decide
// whether bytes are the server's, as the whole numbers HTTP writes
// (platform::HttpProbe::Answer::serverLength), and the two are not one
// parser: a locale's grouping or a fraction must never pass for a length
// that bytes are compared against.

#include <QLocale>
#include <QString>
#include <optional>

namespace download {

// A number in the locale, blanks around it allowed, rounded half to even,
// within the 64-bit range. Nothing for empty text, text that is not a number
// or a number out of range.
std::optional<qint64> toSize(const QString &text, const QLocale &locale = QLocale());

} // namespace download
