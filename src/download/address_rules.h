#pragma once
// Rules about the address text: the "http://" prefix, whether a press may use
// the address, and the file name that an address leads to.

#include <QByteArray>
#include <QString>
#include <optional>

namespace download {

inline const QString kPrefix = QStringLiteral("http://");

// The text the address box must be set to, or nothing when the text keeps
// the prefix. Replacing the text is itself a change, after which the rule
// finds the prefix and stops.
std::optional<QString> prefixRule(const QString &text);

// Refused when the text lacks the prefix or is nothing but the prefix.
bool accepted(const QString &text);

// Where the pieces of an address begin, split as wget splits it: the
// authority after the first "://" (or from the start), the path at the first
// "/" after it, the query at the first "?", the fragment at the first "#". A
// piece that is missing is empty: it begins where the next one does.
struct AddressPieces
{
    qsizetype authority = 0; // user, password, host and port
    qsizetype path = 0;      // where the authority ends
    qsizetype query = 0;     // "?" and what follows, up to the fragment
    qsizetype fragment = 0;  // "#" and what follows, to the end
};
AddressPieces piecesOf(QStringView address);
AddressPieces piecesOf(QByteArrayView address);

// True when the authority's user part (before its last "@") holds a ":" and
// so a password, also an empty one; so too for the authority after any
// later "://" (a whole address pasted after the box's own "http://").
bool holdsPassword(const QString &address);

// The address with each password that holdsPassword finds, and the ":"
// before it, left out, the users kept, and shown as shownOnLine shows it:
// what may be shown to others, on one line.
QString shownAddress(const QString &address);

// Where the file came from, as the file's user.xdg.origin.url attribute
// tells it to file managers: the address without the user and password of
// its authority, any later password (as shownAddress), the query (a signed
// token is a secret too) and the fragment, with each byte of its UTF-8 form
// that is not printable ASCII (space, controls, letters beyond ASCII), each
// of " < > \ ^ ` { | } and each "%" that begins no escape written as %XX,
// as wget --xattr writes them.
QString originAddress(const QString &address);

// The text with each control character (C0, DEL, C1), line or paragraph
// separator and bidirectional embedding, override or isolate written as %XX
// of its UTF-8 bytes: one line that shows what it holds.
QString shownOnLine(const QString &text);

// A control character (below 32, or 127): what a line shown to others
// writes as %XX.
bool isControl(unsigned char byte);

// The bytes with each byte that `escaped` picks written as %XX.
QByteArray percentEscaped(QByteArrayView bytes, bool (*escaped)(unsigned char byte));

// The name of the file that wget writes for the address, in the bytes that
// reach the file system: the last path segment, or "index.html" where the
// address names a folder (a last segment of "." or ".." among them) or no
// path at all, with its escapes decoded as wget decodes them (twice; a "/"
// or a control character that comes out is written back as %XX, and a whole
// name of ".." as "%2E%2E"), followed by "?" and the query when there is
// one; a fragment is dropped. wget keeps 19 bytes of the folder's longest
// name (`nameMax`, as pathconf reports it; -1 for no limit) spare, so a
// longer name is cut to nameMax - 19 bytes, wherever that falls. Empty for
// an address without a host, or whose name is "." once decoded, for which
// wget writes nothing. wget reads the address as UTF-8 (`wgetCall` tells it
// so), so the name is the same in every locale.
QByteArray wgetFileName(const QString &url, long nameMax);

// The address as wget asks the server for it, written so that Qt's client
// sends the very same request: the path's "." and ".." segments resolved as
// wget resolves them, the fragment dropped. Nothing when wget keeps an
// escaped dot segment as typed ("%2E%2E"), which Qt's client would read as a
// dot segment and resolve.
std::optional<QString> requestAddress(const QString &url);

} // namespace download
