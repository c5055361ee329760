#pragma once
// What Brindle tells the desktop about a press, as rules on values: whether
// its end is worth a notification, the notification's words in the user's
// language, the share of the file the task bar shows while wget runs, and
// why the computer is kept awake meanwhile.

#include "download/press_outcome.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace app {

// A notification tells how a press ended only to a user who is not looking
// at Brindle: none while `windowActive`, which the window sets while any of
// Brindle's windows is the active one (the window, or its message box),
// none for Pause (the user did it), none for a press that only remembered
// the address.
bool notifiesEnd(download::PressEnding ending, bool windowActive);

struct PressNotice
{
    QString summary; // names the file
    QString body;    // how the press ended
};

// The notification's words for `outcome`, in the user's language, its sizes
// written as the window's `language` writes numbers. The
// summary is the file's name, or `shownAddress` (see address_rules.h) when
// wget writes no file for it, and never holds a password; the name and the
// body's detail are shown as the log line shows them (shownOnLine). A download counts
// as done only when `lengthOnDisk`, the file's length now, reaches the
// length the server told (outcome.serverLength): wget that ends early has
// not downloaded it.
PressNotice pressNotice(const download::PressOutcome &outcome, const QString &shownAddress,
                        std::optional<qint64> lengthOnDisk, const QLocale &language);

// Why the computer stays awake while wget runs, in the user's language:
// "Downloading " and the file's name without the query wget adds to it, or
// `shownAddress` where wget writes no file, shown as the notification's
// summary shows it.
QString stayAwakeReason(const QByteArray &file, const QString &shownAddress);

// The share of the file to show on the task bar at a tick while wget runs,
// 0 to 1: the length on disk over the total size, or nothing to send
// when it is not above `shown`, the share shown last (nothing when none is
// shown yet, so the first tick always shows one). The bar only rises: a
// file set aside and begun again does not take it back.
std::optional<double> taskBarProgress(qint64 totalBytes, std::optional<qint64> lengthOnDisk,
                                      std::optional<double> shown);

} // namespace app
