#pragma once
// Rules about the address text: the "http://" prefix, whether a press may use
// the address, and the file name that an address leads to.

#include <QString>
#include <optional>

namespace download {

inline const QString kPrefix = QStringLiteral("http://");

// The text the address box must be set to, or nothing when the text keeps
// the prefix. Replacing the text is itself a change, after which the rule
// finds the prefix and stops.
std::optional<QString> prefixrule(const QString &text);

// Refused when the text lacks the prefix or is nothing but the prefix.
bool accepted(const QString &text);

// The text after the last "/", or the whole text when it holds none.
QString rightfilename(const QString &url);

// The name of the file that wget writes for the address: the last path
// segment with its escapes decoded as wget decodes them (twice; a "/" or a
// control character that comes out is written back as %XX), followed by "?"
// and the query when there is one; a fragment is dropped. Where the address
// names no file (no segment and no query) this is rightfilename(url).
QString wgetfilename(const QString &url);

} // namespace download
