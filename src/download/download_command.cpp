#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "download/partial_record.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"
#include "platform/file_lock.h"

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
    // An answer with an error leaves the size at 0, so a run always has one.
    if (const std::optional<ServerAnswer> first = probe(); first && serverSize_ > 0)
        download(folder_.fileFor(view_.address()), *first);
    view_.setAddressEnabled(true);
    view_.setCaption(kDownloadCaption);
}

void DownloadCommand::download(const QByteArray &file, const ServerAnswer &first)
{
    const DownloaderCall call = wgetCall(view_.address());
    // An address for which wget writes no file has nothing to guard.
    if (file.isEmpty()) {
        view_.setCaption(kPauseCaption);
        runner_.runAndWait(QStringLiteral("wget"), call.arguments, call.input);
        return;
    }
    auto taken = platform::FileLock::take(file);
    // Another Brindle's download goes on, and this display follows it; a
    // file that cannot be locked is not written at all.
    if (taken.outcome == platform::FileLock::Outcome::HeldElsewhere
        || taken.outcome == platform::FileLock::Outcome::Unavailable)
        return;

    const Validator validator = settleValidator(first, recordedVersion(file));
    const FileVersion started = versionOf(first, validator);
    // Checked here, after any request above let a nested press run.
    const Prepared prepared = preparePartial(file, started);
    if (!prepared.ready)
        return;
    if (prepared.setAside && taken.lock) {
        // The lock went with the file set aside; wget writes a new one.
        taken = platform::FileLock::take(file);
        if (taken.outcome != platform::FileLock::Outcome::Taken)
            return;
    }

    view_.setCaption(kPauseCaption);
    // A wget that cannot be started ends the run at once; the idle state
    // is restored by the press either way, without a message.
    runner_.runAndWait(QStringLiteral("wget"), call.arguments, call.input);

    // A Pause sets the caption back first: a caption still reading "Pause"
    // means wget ended by itself, and the file may look finished.
    std::optional<FileVersion> ended;
    if (view_.caption() == kPauseCaption) {
        if (const auto now = ask())
            ended = versionOf(*now, validator);
    }
    finishPartial(file, started, ended);
}

Validator DownloadCommand::settleValidator(const ServerAnswer &first,
                                           const std::optional<FileVersion> &recorded)
{
    const Validator once = chooseValidator(first);
    if (once != Validator::ETag || (recorded && recorded->validator == first.etag))
        return once;
    const std::optional<ServerAnswer> again = ask();
    return again ? chooseValidator(first, again) : once;
}

std::optional<ServerAnswer> DownloadCommand::ask()
{
    // Refused while an outer press's request still runs; this press then
    // reads that request's outcome.
    sizeProbe_.send(view_.address(), QByteArrayLiteral("HEAD"));
    sizeProbe_.waitWhileBusy();
    sizeProbe_.cancel();
    if (sizeProbe_.errorCode() != 0)
        return std::nullopt;
    const auto length = sizeProbe_.header(QByteArrayLiteral("Content-Length"));
    const auto size = length ? toSize(*length) : std::nullopt;
    return ServerAnswer{sizeProbe_.header(QByteArrayLiteral("ETag")),
                        sizeProbe_.header(QByteArrayLiteral("Last-Modified")), size.value_or(-1)};
}

std::optional<ServerAnswer> DownloadCommand::probe()
{
    const std::optional<ServerAnswer> got = ask();
    if (sizeProbe_.errorCode() != 0) {
        serverSize_ = 0;
    } else if (const auto header = sizeProbe_.header(QByteArrayLiteral("Content-Length")); !header) {
        serverSize_ = 0;
    } else if (const auto size = toSize(*header)) {
        serverSize_ = *size;
    }
    // Text that is not a size leaves the previous probe's size in place.
    return got;
}

} // namespace download
