#pragma once
// How a press of Download ended, as a value: the command holds the last
// one, the window reads it, and each press writes it as one line to the
// "brindle.download" logging category (info), so a user who starts Brindle
// from a terminal, or reads the journal, can tell why nothing downloaded.
// The window itself shows no message.

#include <QByteArrayList>
#include <QLoggingCategory>
#include <QString>
#include <optional>

namespace download {

Q_DECLARE_LOGGING_CATEGORY(pressLog)

enum class PressEnding {
    Refused,       // the address lacks the prefix or is nothing but it: only remembered
    NoFolder,      // the working folder has no name (it was deleted): nothing asked, nothing made
    Wget2,         // the wget on PATH is Wget2, which does not continue the file locked for it: nothing asked, nothing made
    NoAnswer,      // the size request failed: no answer, an error status, too many redirects, a header block without end
    NoSize,        // the total is not above 0: the answer gave none, and no number kept one from a press before
    HeldElsewhere, // the file is held: its lock by another Brindle or a wget a Brindle left (this one's too), or open for writing elsewhere
    Unlockable,    // what is under the name cannot be opened, is no regular file, or flock failed (not for want of locks: there the press goes on unlocked)
    Undecided,     // the server could not tell whether the file holds its bytes: left as it is
    NotSetAside,   // the file does not hold the server's bytes and could not be moved, before or after the run
    NotReplaced,   // the file was set aside, and no new one could be locked under its name
    NotStarted,    // wget could not be started
    Stopped,       // Pause ended wget, or the window closed during the press ("closed"), whatever step it was at
    Failed,        // wget ended by itself with an error (its exit status is the detail), or its end could not be watched
    NotTheServers, // wget ended; the file is longer than the server's, or differs where compared: set aside
    DigestDiffers, // wget ended; the file's digest is not the one the server published: set aside
    Verified,      // wget ended; the file's digest is the one the server published (the detail names the algorithm)
    Unverified,    // wget ended by itself with status 0; no published digest decided, nor a difference (the detail says what could not tell): not shown to be downloaded
};

struct PressOutcome
{
    PressEnding ending = PressEnding::Refused;
    // The address pressed, whatever the box shows now; it may hold a
    // password, so show it through shownAddress() (address_rules.h).
    QString address;
    // The file wget writes for the pressed address; empty when none.
    QByteArray file;
    // The copies this press moved the file under the name to, in order:
    // before wget ran, and when it ended with bytes not the server's.
    QByteArrayList keptAs;
    // The copy this press found holding the server's bytes, brought back
    // under the name and continued; empty when none.
    QByteArray broughtBack;
    // What the log adds: the answer's HTTP status, why wget could not
    // start, wget's exit status or that its end could not be watched, the
    // digest's algorithm, why a file not the server's was found so ("longer
    // than the server's"), what left a finished file undecided, or
    // "closed".
    QString detail;
    // The server's file length as this press's size request told it;
    // nothing when it told none (no answer, or a Content-Length that is no
    // number), though the window's total may stay from a press before.
    std::optional<qint64> serverLength;
    // The platform::Confinement::Part flags that applied to wget; nothing
    // when the press started no wget.
    std::optional<unsigned> confinement;
};

// wget's exit status (see Runner::Result) in words: "exit status 8, the
// server answered with an error".
QString wgetStatusText(int status);

// One line on how the press for `shownAddress` (see address_rules.h) ended.
QString describe(const QString &shownAddress, const PressOutcome &outcome);

} // namespace download
