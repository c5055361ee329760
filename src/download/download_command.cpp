#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"

namespace download {

DownloadCommand::DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner)
    : view_(view), sizeProbe_(sizeProbe), runner_(runner)
{
}

void DownloadCommand::click()
{
    // A failed write is not reported; the next press writes again.
    saveaddress(view_.address());
    if (!accepted(view_.address()))
        return;

    if (view_.caption() == kPauseCaption) {
        view_.setCaption(kDownloadCaption);
        // The press that started the download enables the address again.
        runner_.terminate();
        return;
    }

    view_.setAddressEnabled(false);
    probe();
    if (filesize_ > 0) {
        view_.setCaption(kPauseCaption);
        // A wget that cannot be started ends the run at once; the idle state
        // is restored below either way, without a message.
        runner_.runwait(QStringLiteral("wget"), {QStringLiteral("-c"), view_.address()});
    }
    view_.setAddressEnabled(true);
    view_.setCaption(kDownloadCaption);
}

void DownloadCommand::probe()
{
    // Refused while an outer press's request still runs; this press then
    // reads that request's outcome.
    sizeProbe_.send(view_.address(), QByteArrayLiteral("HEAD"));
    sizeProbe_.waitWhileBusy();
    if (sizeProbe_.errorCode() != 0) {
        filesize_ = 0;
    } else if (const auto header = sizeProbe_.header(QByteArrayLiteral("Content-Length")); !header) {
        filesize_ = 0;
    } else if (const auto size = tosize(*header)) {
        filesize_ = *size;
    }
    // Text that is not a size leaves the previous probe's size in place.
    sizeProbe_.cancel();
}

} // namespace download
