#pragma once
// The Download/Pause command. Every press saves the address first. Then one
// press at a time: from idle a press probes the size and, with a size above
// 0, runs wget until it ends; while wget runs a press is Pause, whatever
// the address box holds by then; while the command waits for the server
// (before or after wget), for a paused wget to go or for the finished
// file's check, a press does nothing more. A press takes the address once,
// when it is pressed, and works with it to its end. Each press from idle is
// one flow, probe, lock, compare, run, verify, and ends in a PressOutcome.
//
// A run holds the file's own lock (file_lock.h) for its whole life, and
// wget's processes hold it with it; a press whose file is held elsewhere,
// or cannot be opened or locked (but for a file system without locks, where
// it goes on once no other writer is found), runs nothing. Before wget runs, a file
// under the name is compared with the server's bytes (partial_check.h); one
// that differs is set aside under the next free copy name, and the
// server's file fetched whole, or a copy beside it that holds the server's
// bytes brought back and continued. After the run, the server's digest (digest.h), or a
// second comparison where none is published, decides whether the finished
// file stays under the name.
//
// wget must be GNU Wget 1.x: Wget2 does not continue the empty file a press
// locks for it. The first press asks the wget on PATH for its version (and
// asks again only once another file stands there); a press meeting Wget2
// ends before it asks the server or makes anything. A wget whose version
// cannot be read is taken for 1.x.

#include "download/download_folder.h"
#include "download/press_outcome.h"
#include "download/runner.h"
#include "platform/http_probe.h"

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <optional>

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
    // wget has been started (true), or its run has returned (false): from
    // Downloading until the run leaves Stopping or goes on to Finishing.
    virtual void downloaderRuns(bool runs) = 0;
    // A press from idle has ended, the window idle again.
    virtual void pressEnded(const PressOutcome &outcome) = 0;
};

class DownloadCommand
{
public:
    enum class State {
        Idle,        // no press is under way
        Asking,      // waiting for the server before wget runs
        Downloading, // wget runs; a press is Pause
        Stopping,    // Pause or closing has told wget's group to end; its run has not returned yet
        Finishing,   // wget ended by itself; the file is being checked
    };

    DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                    DownloadFolder folder = DownloadFolder::current());
    ~DownloadCommand();

    // The button's click.
    void click();
    // Closing: ends a running wget, removes the empty file the lock made
    // for it, so nothing of a download that never began is left, and
    // writes the running press's line.
    void abandon();
    // A press while wget runs that comes within this time of the press
    // that started the run is the second click of a double-click, not
    // Pause. The desktop's setting, read by the window; 0 at start.
    void setDoubleClickInterval(std::chrono::milliseconds interval) { doubleClickInterval_ = interval; }

    State state() const { return state_; }
    // The file the running press works with, whatever the box shows by
    // now; empty when idle, or when wget writes no file for its address.
    QByteArray pressedFile() const;
    // How the last press from idle ended; nothing before the first has.
    const std::optional<PressOutcome> &outcome() const { return outcome_; }
    // The total size in bytes the window shows: the server's file length
    // as each press's size request answered it (0 for a failed request or
    // one without the header); kept from the press before when the
    // Content-Length is no number; 0 at start. A press compares the file
    // with its own answer, never with a total kept from another press.
    qint64 totalBytes() const { return totalBytes_; }
    // The folder wget writes into, read once, when the command is made.
    const DownloadFolder &folder() const { return folder_; }

private:
    class PressFlow;
    friend class PressFlow;

    // Shows the state: the caption reads "Pause" while wget runs, and the
    // address box is enabled only when idle.
    void setState(State state);
    // Whether the wget on PATH is Wget2, asked of it once per file.
    bool runsWget2();

    CommandView &view_;
    platform::HttpProbe &sizeProbe_;
    Runner &runner_;
    DownloadFolder folder_;
    State state_ = State::Idle;
    qint64 totalBytes_ = 0;
    std::optional<PressOutcome> outcome_;
    PressFlow *flow_ = nullptr; // the running press, in click()'s frame
    QElapsedTimer pressedAt_;   // the press from idle
    std::chrono::milliseconds doubleClickInterval_{0};
    // The wget last asked for its version, and whether it said Wget2.
    std::optional<platform::ProgramFile> askedWget_;
    bool wget2_ = false;
};

} // namespace download
