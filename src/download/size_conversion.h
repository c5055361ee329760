#pragma once
// Reading a Content-Length header's text as a size in bytes.

#include <QLocale>
#include <QString>
#include <optional>

namespace download {

// A number in the locale, blanks around it allowed, rounded half to even,
// within the 64-bit range. Nothing for empty text, text that is not a number
// or a number out of range.
std::optional<qint64> toSize(const QString &text, const QLocale &locale = QLocale());

} // namespace download
