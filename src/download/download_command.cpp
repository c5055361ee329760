#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/downloader_call.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"
#include "platform/file_lock.h"

#include <QScopeGuard>

namespace download {
namespace {

QString captionOf(DownloadCommand::State state)
{
    return state == DownloadCommand::State::Downloading ? kPauseCaption : kDownloadCaption;
}

} // namespace

DownloadCommand::DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                                 DownloadFolder folder)
    : view_(view), sizeProbe_(sizeProbe), runner_(runner), folder_(std::move(folder))
{
}

DownloadCommand::~DownloadCommand() = default;

void DownloadCommand::click()
{
    // A failed write is not reported; the next press writes again.
    saveAddress(view_.address());
    if (!accepted(view_.address()))
        return;

    if (state_ == State::Downloading) {
        setState(State::Stopping);
        // The press that started the download goes back to idle.
        runner_.terminate();
        return;
    }
    // A press is under way: it alone decides what happens next.
    if (state_ != State::Idle)
        return;

    setState(State::Asking);
    // An answer with an error leaves the size at 0, so a run always has one.
    if (const std::optional<qint64> answered = probe(); answered && serverSize_ > 0)
        download(*answered);
    setState(State::Idle);
}

void DownloadCommand::abandon()
{
    runner_.terminate();
    if (file_)
        file_->removeIfMadeAndEmpty();
}

void DownloadCommand::setState(State state)
{
    if (captionOf(state) != captionOf(state_))
        view_.setCaption(captionOf(state));
    if ((state == State::Idle) != (state_ == State::Idle))
        view_.setAddressEnabled(state == State::Idle);
    state_ = state;
}

void DownloadCommand::download(qint64 answeredSize)
{
    const QByteArray path = folder_.fileFor(view_.address());
    // An address for which wget writes no file has nothing to guard.
    if (path.isEmpty()) {
        run();
        return;
    }
    auto taken = platform::FileLock::take(path);
    // Another Brindle's download goes on, and this display follows it; a
    // file that cannot be locked is not written at all.
    if (!taken.lock)
        return;
    file_ = std::move(taken.lock);
    const auto letGo = qScopeGuard([this] { file_.reset(); });
    if (!prepare(answeredSize))
        return;

    const std::optional<qint64> startedAt = file_->length();
    if (!startedAt || !run())
        return;
    // wget ended by itself, perhaps after resuming on its own, against a
    // server whose file may have changed since the check before it.
    setState(State::Finishing);
    const std::optional<qint64> length = file_->length();
    if (length && *length > 0
        && compare(*file_, stretchesAfterRun(*startedAt, *length), Difference::Confirmed) == Match::Different)
        file_->setAside();
}

bool DownloadCommand::prepare(qint64 answeredSize)
{
    const std::optional<qint64> length = file_->length();
    if (!length)
        return false;
    if (*length == 0)
        return true;
    // A file longer than the server's cannot be a part of it.
    const Match match = answeredSize >= 0 && *length > answeredSize
                            ? Match::Different
                            : compare(*file_, stretchesBeforeResume(*length), Difference::Taken);
    if (match == Match::Same)
        return true;
    // A server that cannot tell leaves the file as it is, and nothing runs.
    if (match == Match::Unknown || !file_->setAside())
        return false;
    // The lock went with the file set aside; wget writes a new one.
    file_ = platform::FileLock::take(file_->path()).lock;
    return file_ != nullptr;
}

ServerBytes DownloadCommand::ask(const Stretch &stretch)
{
    // The bytes wget gets, or none: a file Qt's client cannot ask for can
    // be compared with nothing.
    const std::optional<QString> requested = requestAddress(view_.address(), folder_.utf8Locale);
    if (!requested)
        return {true, 0, std::nullopt, std::nullopt};
    sizeProbe_.sendRange(*requested, stretch.from, stretch.to - stretch.from);
    sizeProbe_.waitWhileBusy();
    return {sizeProbe_.errorCode() != 0, sizeProbe_.status(), sizeProbe_.bytes(), sizeProbe_.fileLength()};
}

Match DownloadCommand::compare(const platform::FileLock &file, const QList<Stretch> &stretches,
                               Difference difference)
{
    for (const Stretch &stretch : stretches) {
        const ServerBytes server = ask(stretch);
        const std::optional<QByteArray> own = file.read(stretch.from, stretch.to - stretch.from);
        Match match = own ? compareStretch(stretch, server, *own) : Match::Unknown;
        // A server that writes something new into every answer (a time, a
        // token) tells nothing about the file by its bytes.
        if (match == Match::Different && difference == Difference::Confirmed && server.bytes
            && ask(stretch).bytes != server.bytes)
            match = Match::Unknown;
        if (match != Match::Same)
            return match;
    }
    return Match::Same;
}

bool DownloadCommand::run()
{
    const DownloaderCall call = wgetCall(view_.address());
    setState(State::Downloading);
    // A wget that cannot be started ends the run at once and wrote nothing;
    // the idle state is restored by the press, without a message.
    if (runner_.runAndWait(QStringLiteral("wget"), call.arguments, call.input))
        return false;
    return state_ == State::Downloading;
}

std::optional<qint64> DownloadCommand::probe()
{
    sizeProbe_.send(requestAddress(view_.address(), folder_.utf8Locale).value_or(view_.address()),
                    QByteArrayLiteral("HEAD"));
    sizeProbe_.waitWhileBusy();
    sizeProbe_.cancel();
    if (sizeProbe_.errorCode() != 0) {
        serverSize_ = 0;
        return std::nullopt;
    }
    const auto header = sizeProbe_.header(QByteArrayLiteral("Content-Length"));
    const auto size = header ? toSize(*header) : std::nullopt;
    if (!header)
        serverSize_ = 0;
    else if (size)
        serverSize_ = *size;
    // Text that is not a size leaves the previous probe's size in place.
    return size.value_or(-1);
}

} // namespace download
