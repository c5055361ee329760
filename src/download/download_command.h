#pragma once
// The Download/Pause command: every press saves the address, then either
// probes the size and runs wget until it ends, or stops the running wget.
// Only one wget ever writes a file: a run holds the file's lock for its whole
// life, and a press whose file another Brindle is downloading runs nothing.
// A partial file of another version than the server's is set aside first.

#include "download/download_folder.h"
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
    // Sets serverSize_ from a HEAD request; returns the file's validator.
    std::optional<QString> probe();
    // Runs wget for the file unless another Brindle is downloading it.
    void download(const QByteArray &file, const std::optional<QString> &validator);

    CommandView &view_;
    platform::HttpProbe &sizeProbe_;
    Runner &runner_;
    DownloadFolder folder_;
    qint64 serverSize_ = 0;
};

} // namespace download
