#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "download/partial_record.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"
#include "platform/path_lock.h"

namespace download {

DownloadCommand::DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                                 DownloadFolder folder)
    : view_(view), sizeProbe_(sizeProbe), runner_(runner), folder_(std::move(folder))
{
}

void DownloadCommand::click()
{
    // A failed write is not reported; the next press writes again.
    saveAddress(view_.address());
    if (!accepted(view_.address()))
        return;

    if (view_.caption() == kPauseCaption) {
        view_.setCaption(kDownloadCaption);
        // The press that started the download enables the address again.
        runner_.terminate();
        return;
    }

    view_.setAddressEnabled(false);
    const std::optional<QString> validator = probe();
    if (serverSize_ > 0)
        download(folder_.fileFor(view_.address()), validator);
    view_.setAddressEnabled(true);
    view_.setCaption(kDownloadCaption);
}

void DownloadCommand::download(const QByteArray &file, const std::optional<QString> &validator)
{
    // Read now: a press nested in this run probes anew.
    const qint64 size = serverSize_;
    // An address for which wget writes no file has nothing to guard.
    std::shared_ptr<platform::PathLock> lock;
    if (!file.isEmpty()) {
        const auto taken = platform::PathLock::take(file);
        // The other window's download goes on, and this display follows it.
        if (taken.heldElsewhere)
            return;
        lock = taken.lock;
        if (!preparePartial(file, validator, size).ready)
            return;
    }
    view_.setCaption(kPauseCaption);
    const DownloaderCall call = wgetCall(view_.address());
    // A wget that cannot be started ends the run at once; the idle state
    // is restored by the press either way, without a message.
    runner_.runAndWait(QStringLiteral("wget"), call.arguments, call.input);
    if (!file.isEmpty())
        finishPartial(file, size);
}

std::optional<QString> DownloadCommand::probe()
{
    // Refused while an outer press's request still runs; this press then
    // reads that request's outcome.
    sizeProbe_.send(view_.address(), QByteArrayLiteral("HEAD"));
    sizeProbe_.waitWhileBusy();
    const auto validator = validatorOf(sizeProbe_.header(QByteArrayLiteral("ETag")),
                                       sizeProbe_.header(QByteArrayLiteral("Last-Modified")));
    if (sizeProbe_.errorCode() != 0) {
        serverSize_ = 0;
    } else if (const auto header = sizeProbe_.header(QByteArrayLiteral("Content-Length")); !header) {
        serverSize_ = 0;
    } else if (const auto size = toSize(*header)) {
        serverSize_ = *size;
    }
    // Text that is not a size leaves the previous probe's size in place.
    sizeProbe_.cancel();
    return validator;
}

} // namespace download
