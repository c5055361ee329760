#pragma once
// The Download/Pause command. Every press saves the address first. Then one
// press at a time: from idle a press probes the size and, with a size above
// 0, runs wget until it ends; while wget runs a press is Pause; while the
// command waits for the server (before or after wget) or for a paused wget
// to go, a press does nothing more.
//
// Only one Brindle writes a file: a run holds the file's own lock for its
// whole life, and a press whose file another Brindle is downloading, or
// whose file cannot be locked, runs nothing. wget continues a file only
// when its bytes are the server's (see partial_check.h): any other file is
// set aside under the next free copy name and the server's file fetched
// whole, and a file that wget finished is compared again and set aside the
// same way when it does not hold the server's bytes.

#include "download/download_folder.h"
#include "download/partial_check.h"
#include "download/runner.h"
#include "platform/http_probe.h"

#include <QString>
#include <memory>
#include <optional>

namespace platform {
class FileLock;
}

namespace download {

inline const QString kDownloadCaption = QStringLiteral("Download");
inline const QString kPauseCaption = QStringLiteral("Pause");

// What the command reads and changes in the window.
class CommandView
{
public:
    virtual ~CommandView() = default;
    virtual QString address() const = 0;
    virtual void setAddressEnabled(bool enabled) = 0;
    virtual void setCaption(const QString &caption) = 0;
};

class DownloadCommand
{
public:
    enum class State {
        Idle,        // no press is under way
        Asking,      // waiting for the server before wget runs
        Downloading, // wget runs; a press is Pause
        Stopping,    // Pause has ended wget; its run has not returned yet
        Finishing,   // wget ended by itself; the file is being compared
    };

    DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                    DownloadFolder folder = DownloadFolder::current());
    ~DownloadCommand();

    // The button's click.
    void click();
    // Closing: ends a running wget and removes the empty file the lock made
    // for it, so nothing of a download that never began is left.
    void abandon();

    State state() const { return state_; }
    // Total size in bytes from the last probe that produced one; 0 at start.
    qint64 serverSize() const { return serverSize_; }

private:
    // Shows the state: the caption reads "Pause" while wget runs, and the
    // address box is enabled only when idle.
    void setState(State state);
    // Sets serverSize_ from a HEAD request; the length this answer gave, -1
    // for none, or nothing when the request failed.
    std::optional<qint64> probe();
    // Runs wget for the file unless another Brindle is downloading it.
    void download(qint64 answeredSize);
    // Lets wget continue only a file of the server's bytes: sets any other
    // aside and locks the new, empty file. False when nothing may run.
    bool prepare(qint64 answeredSize);
    // The server's bytes for the stretch.
    ServerBytes ask(const Stretch &stretch);
    // What a difference in the server's bytes counts for: before wget
    // continues a file, any difference sets it aside (a fresh copy loses
    // nothing); a file wget finished is set aside only for a difference
    // that a second answer repeats.
    enum class Difference { Taken, Confirmed };
    // Compares the stretches of the locked file with the server's bytes.
    Match compare(const platform::FileLock &file, const QList<Stretch> &stretches, Difference difference);
    // Runs wget with the state at Downloading; true when it started and
    // ended by itself, not by Pause.
    bool run();

    CommandView &view_;
    platform::HttpProbe &sizeProbe_;
    Runner &runner_;
    DownloadFolder folder_;
    State state_ = State::Idle;
    qint64 serverSize_ = 0;
    std::unique_ptr<platform::FileLock> file_; // the running press's lock
};

} // namespace download
