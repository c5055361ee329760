#pragma once
// Reading a Content-Length header's text as a size in bytes: the size the
// window shows as the total, and the server's length as a press's HEAD
// tells it (which also decides "longer than the server's" and when the
// digest is checked). It is read as a number in the locale, rounded, by
// design. The probe reads the lengths of ranged answers, which decide
// whether stretches are the server's bytes, as the whole numbers HTTP
// writes (platform::HttpProbe::Answer::completeLength): the two are not one
// parser.

#include <QLocale>
#include <QString>
#include <optional>

namespace download {

// A number in the locale, blanks around it allowed, rounded half to even,
// within the 64-bit range. Nothing for empty text, text that is not a number
// or a number out of range.
std::optional<qint64> toSize(const QString &text, const QLocale &locale = QLocale());

} // namespace download
