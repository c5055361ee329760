#pragma once
// The Download/Pause command: every press saves the address, then either
// probes the size and runs wget until it ends, or stops the running wget.
// Only one Brindle writes a file: a run holds the file's own lock for its
// whole life, and a press whose file another Brindle is downloading, or
// whose file cannot be locked, runs nothing. wget continues only a file of
// the server's current version that Brindle recorded: any other is set
// aside first, and one whose version changed while wget ran is set aside
// when it ends.

#include "download/download_folder.h"
#include "download/partial_record.h"
#include "download/runner.h"
#include "platform/http_probe.h"

#include <QString>
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
    virtual QString caption() const = 0;
    virtual void setCaption(const QString &caption) = 0;
};

class DownloadCommand
{
public:
    DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                    DownloadFolder folder = DownloadFolder::current());

    // The button's click. Presses arriving while this one waits run nested.
    void click();

    // Total size in bytes from the last probe that produced one; 0 at start.
    qint64 serverSize() const { return serverSize_; }

private:
    // Sends a HEAD request for the address, or joins the one already under
    // way, waits for its end, then cancels it. Returns its answer, or
    // nothing when it failed; the probe's outcome stays readable until the
    // next request.
    std::optional<ServerAnswer> ask();
    // Sets serverSize_ from a HEAD request; returns the server's answer.
    std::optional<ServerAnswer> probe();
    // Runs wget for the file unless another Brindle is downloading it.
    void download(const QByteArray &file, const ServerAnswer &first);
    // The validator to tell this server's versions apart by: a strong ETag
    // that the record does not already confirm is asked for once more.
    Validator settleValidator(const ServerAnswer &first, const std::optional<FileVersion> &recorded);

    CommandView &view_;
    platform::HttpProbe &sizeProbe_;
    Runner &runner_;
    DownloadFolder folder_;
    qint64 serverSize_ = 0;
};

} // namespace download
