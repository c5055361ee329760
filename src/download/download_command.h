#pragma once
// The Download/Pause command. Every press saves the address first. Then one
// press at a time: from idle a press probes the size and, with a size above
// 0, runs wget until it ends; while wget runs a press is Pause, whatever
// the address box holds by then; while the command waits for the server
// (before or after wget) or for a paused wget to go, a press does nothing
// more. A press takes the address once, when it is pressed, and works with
// it to its end. Each press from idle ends in a PressOutcome.
//
// Only one Brindle writes a file: a run holds the file's own lock for its
// whole life, wget's processes hold it with it, and a press whose file
// another Brindle is downloading, or whose file cannot be locked, runs
// nothing. wget continues a file only when its bytes are the server's (see
// partial_check.h): any other file is set aside under the next free copy
// name and the server's file fetched whole, and a file that wget finished
// is compared again and set aside the same way when it does not hold the
// server's bytes.

#include "download/download_folder.h"
#include "download/downloader_call.h"
#include "download/partial_check.h"
#include "download/press_outcome.h"
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
    // The file the running press works with, whatever the box shows by
    // now; empty when idle, or when wget writes no file for its address.
    const QByteArray &pressedFile() const { return pressedFile_; }
    // How the last press from idle ended; nothing before the first has.
    const std::optional<PressOutcome> &outcome() const { return outcome_; }
    // Total size in bytes: set by each press that gets an answer to its size
    // request (0 for a failed request or one without the header), kept when
    // the header is no size, 0 at start.
    qint64 serverSize() const { return serverSize_; }

private:
    // What a press works with, taken from the address once, when pressed.
    struct Press
    {
        QString address;
        QByteArray file;                // where wget writes; empty when it writes nothing
        std::optional<QString> request; // as wget requests it, when Qt's client can send that
        DownloaderCall call;
    };

    // Shows the state: the caption reads "Pause" while wget runs, and the
    // address box is enabled only when idle.
    void setState(State state);
    // A whole press from idle, up to its end.
    PressOutcome press(const QString &address);
    // What the size request gave: the length its answer gave (-1 for none),
    // or nothing when it failed, with the HTTP status that came (0 for none).
    struct SizeAnswer
    {
        std::optional<qint64> length;
        int status = 0;
    };
    // Sets serverSize_ from a HEAD request. The stretches of a file already
    // under the name are asked for together with it.
    SizeAnswer probe(const Press &press);
    // Runs wget for the file unless another Brindle is downloading it.
    PressOutcome download(const Press &press, qint64 answeredSize);
    // Lets wget continue only a file of the server's bytes: sets any other
    // aside, noting the copy in `outcome`, and locks the new, empty file, or
    // brings back a copy that holds the server's bytes. How the press ends
    // when nothing may run.
    std::optional<PressEnding> prepare(const Press &press, qint64 answeredSize, PressOutcome &outcome);
    // Before wget fetches the file whole: the newest copy beside it (by its
    // time of last change), other than `justSetAside`, is brought back under
    // the name when it holds the server's bytes and is no longer than the
    // server's file, and the lock moves to it. A user's own copy is safe
    // under this: it is continued only where its bytes are the server's, as
    // a file under the name is, and nothing of it is written over. The
    // copy brought back, or nothing.
    std::optional<QByteArray> bringBackCopy(const Press &press, qint64 answeredSize, const QByteArray &justSetAside);
    // The server's bytes for the stretch: the answer that came with the
    // size for it, or a new one.
    ServerBytes ask(const Press &press, const Stretch &stretch);
    // What a difference in the server's bytes counts for: before wget
    // continues a file, any difference sets it aside (a fresh copy loses
    // nothing); a file wget finished is set aside only for a difference
    // that a second answer repeats.
    enum class Difference { Taken, Confirmed };
    // Compares the stretches of the locked file with the server's bytes.
    Match compare(const Press &press, const platform::FileLock &file, const QList<Stretch> &stretches,
                  Difference difference);
    // Runs wget with the state at Downloading, the lock handed to it; sets
    // how the run ended: NotStarted, Paused or Ended.
    void run(const Press &press, PressOutcome &outcome);

    CommandView &view_;
    platform::HttpProbe &sizeProbe_;
    Runner &runner_;
    DownloadFolder folder_;
    State state_ = State::Idle;
    qint64 serverSize_ = 0;
    std::optional<PressOutcome> outcome_;
    QByteArray pressedFile_;
    QList<quint16> serverPorts_; // the ports the running press's size request went to
    std::unique_ptr<platform::FileLock> file_; // the running press's lock
    // Answers that came with the size, for the stretches they were asked for.
    QList<std::pair<Stretch, ServerBytes>> earlyAnswers_;
};

} // namespace download
