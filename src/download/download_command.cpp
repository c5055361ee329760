#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"
#include "platform/file_lock.h"
#include "platform/files_on_disk.h"

#include <QScopeGuard>

namespace download {
namespace {

QString captionOf(DownloadCommand::State state)
{
    return state == DownloadCommand::State::Downloading ? kPauseCaption : kDownloadCaption;
}

ServerBytes serverBytesOf(const platform::HttpProbe::Answer &answer)
{
    return {answer.errorCode != 0, answer.status, answer.bytes, answer.fileLength};
}

PressOutcome endedWith(PressEnding ending, const QString &detail = {})
{
    PressOutcome outcome;
    outcome.ending = ending;
    outcome.detail = detail;
    return outcome;
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
    const QString address = view_.address();
    // A failed write is not reported; the next press writes again.
    saveAddress(address);

    if (state_ == State::Downloading) {
        setState(State::Stopping);
        // The press that started the download goes back to idle.
        runner_.terminate();
        return;
    }
    // A press is under way: it alone decides what happens next.
    if (state_ != State::Idle)
        return;

    PressOutcome outcome = press(address);
    outcome.file = pressedFile_;
    pressedFile_.clear();
    setState(State::Idle);
    qCInfo(pressLog).noquote() << describe(shownAddress(address), outcome);
    outcome_ = std::move(outcome);
    view_.pressEnded(*outcome_);
}

void DownloadCommand::abandon()
{
    if (state_ == State::Downloading)
        setState(State::Stopping);
    runner_.kill();
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

PressOutcome DownloadCommand::press(const QString &address)
{
    if (!accepted(address))
        return endedWith(PressEnding::Refused);
    // A folder without a name would put the file, and its lock, at the root.
    if (folder_.path.isEmpty())
        return endedWith(PressEnding::NoFolder);
    const Press press{address, folder_.fileFor(address), requestAddress(address, folder_.utf8Locale),
                      wgetCall(address)};
    pressedFile_ = press.file;
    setState(State::Asking);
    const SizeAnswer answered = probe(press);
    if (!answered.length)
        return endedWith(PressEnding::NoAnswer,
                         answered.status > 0 ? QStringLiteral("HTTP %1").arg(answered.status) : QString());
    // An answer with an error leaves the size at 0, so a run always has one.
    if (serverSize_ <= 0)
        return endedWith(PressEnding::NoSize);
    return download(press, *answered.length);
}

DownloadCommand::SizeAnswer DownloadCommand::probe(const Press &press)
{
    // A file already under the name is compared with the server's before
    // wget continues it: its stretches are asked for with the size, at once.
    QList<platform::HttpProbe::Request> requests{{press.request.value_or(press.address), std::nullopt}};
    QList<Stretch> stretches;
    if (press.request && !press.file.isEmpty()) {
        if (const std::optional<qint64> length = platform::lengthOnDisk(press.file); length && *length > 0)
            stretches = stretchesBeforeResume(*length);
    }
    for (const Stretch &stretch : std::as_const(stretches))
        requests << platform::HttpProbe::Request{*press.request, {{stretch.from, stretch.to - stretch.from}}};
    const QList<platform::HttpProbe::Answer> answers = sizeProbe_.ask(requests);
    earlyAnswers_.clear();
    for (qsizetype i = 0; i < stretches.size(); ++i)
        earlyAnswers_.append({stretches[i], serverBytesOf(answers[i + 1])});

    const platform::HttpProbe::Answer &head = answers.first();
    serverPorts_ = head.ports;
    if (head.errorCode != 0) {
        serverSize_ = 0;
        return {std::nullopt, head.status};
    }
    const auto header = head.header(QByteArrayLiteral("Content-Length"));
    const auto size = header ? toSize(*header) : std::nullopt;
    if (!header)
        serverSize_ = 0;
    else if (size)
        serverSize_ = *size;
    // Text that is not a size leaves the previous probe's size in place.
    return {size.value_or(-1), head.status};
}

PressOutcome DownloadCommand::download(const Press &press, qint64 answeredSize)
{
    PressOutcome outcome;
    // An address for which wget writes no file has nothing to guard.
    if (press.file.isEmpty()) {
        run(press, outcome);
        return outcome;
    }
    auto taken = platform::FileLock::take(press.file);
    // Another Brindle's download goes on, and this display follows it; a
    // file that cannot be locked is not written at all.
    if (!taken.lock)
        return endedWith(taken.outcome == platform::FileLock::Outcome::HeldElsewhere ? PressEnding::HeldElsewhere
                                                                                     : PressEnding::Unlockable);
    file_ = std::move(taken.lock);
    const auto letGo = qScopeGuard([this] { file_.reset(); });
    if (const std::optional<PressEnding> ending = prepare(press, answeredSize, outcome)) {
        outcome.ending = *ending;
        return outcome;
    }

    const std::optional<qint64> startedAt = file_->length();
    if (!startedAt) {
        outcome.ending = PressEnding::Unlockable;
        return outcome;
    }
    run(press, outcome);
    if (outcome.ending != PressEnding::Ended)
        return outcome;
    // wget ended by itself, perhaps after resuming on its own, against a
    // server whose file may have changed since the check before it.
    setState(State::Finishing);
    const std::optional<qint64> length = file_->length();
    if (length && *length > 0
        && compare(press, *file_, stretchesAfterRun(*startedAt, *length), Difference::Confirmed) == Match::Different) {
        if (const auto moved = file_->setAside())
            outcome.setAside << *moved;
    }
    return outcome;
}

std::optional<PressEnding> DownloadCommand::prepare(const Press &press, qint64 answeredSize,
                                                    PressOutcome &outcome)
{
    const std::optional<qint64> length = file_->length();
    if (!length)
        return PressEnding::Unlockable;
    if (*length == 0) {
        outcome.broughtBack = bringBackCopy(press, answeredSize, {}).value_or(QByteArray());
        return std::nullopt;
    }
    // A file longer than the server's cannot be a part of it.
    const Match match = answeredSize >= 0 && *length > answeredSize
                            ? Match::Different
                            : compare(press, *file_, stretchesBeforeResume(*length), Difference::Taken);
    if (match == Match::Same)
        return std::nullopt;
    // A server that cannot tell leaves the file as it is, and nothing runs.
    if (match == Match::Unknown)
        return PressEnding::Undecided;
    const std::optional<QByteArray> moved = file_->setAside();
    if (!moved)
        return PressEnding::NotSetAside;
    outcome.setAside << *moved;
    // The lock went with the file set aside; wget writes a new one.
    file_ = platform::FileLock::take(press.file).lock;
    if (!file_)
        return PressEnding::NotReplaced;
    outcome.broughtBack = bringBackCopy(press, answeredSize, *moved).value_or(QByteArray());
    return std::nullopt;
}

std::optional<QByteArray> DownloadCommand::bringBackCopy(const Press &press, qint64 answeredSize,
                                                         const QByteArray &justSetAside)
{
    QList<QByteArray> copies = platform::copiesBeside(press.file);
    copies.removeAll(justSetAside);
    if (copies.isEmpty())
        return std::nullopt;
    auto copy = platform::FileLock::take(copies.first()).lock;
    const std::optional<qint64> length = copy ? copy->length() : std::nullopt;
    if (!length || *length == 0 || (answeredSize >= 0 && *length > answeredSize)
        || compare(press, *copy, stretchesBeforeResume(*length), Difference::Taken) != Match::Same
        || !copy->takePlaceOf(*file_))
        return std::nullopt;
    file_ = std::move(copy);
    return copies.first();
}

ServerBytes DownloadCommand::ask(const Press &press, const Stretch &stretch)
{
    for (qsizetype i = 0; i < earlyAnswers_.size(); ++i) {
        if (earlyAnswers_[i].first == stretch)
            return earlyAnswers_.takeAt(i).second;
    }
    // The bytes wget gets, or none: a file Qt's client cannot ask for can
    // be compared with nothing.
    if (!press.request)
        return {true, 0, std::nullopt, std::nullopt};
    return serverBytesOf(sizeProbe_.ask({{*press.request, {{stretch.from, stretch.to - stretch.from}}}}).first());
}

Match DownloadCommand::compare(const Press &press, const platform::FileLock &file, const QList<Stretch> &stretches,
                               Difference difference)
{
    for (const Stretch &stretch : stretches) {
        const ServerBytes server = ask(press, stretch);
        const std::optional<QByteArray> own = file.read(stretch.from, stretch.to - stretch.from);
        Match match = own ? compareStretch(stretch, server, *own) : Match::Unknown;
        // A server that writes something new into every answer (a time, a
        // token) tells nothing about the file by its bytes.
        if (match == Match::Different && difference == Difference::Confirmed && server.bytes
            && ask(press, stretch).bytes != server.bytes)
            match = Match::Unknown;
        if (match != Match::Same)
            return match;
    }
    return Match::Same;
}

void DownloadCommand::run(const Press &press, PressOutcome &outcome)
{
    // What the server answered before wget ran says nothing of the file after.
    earlyAnswers_.clear();
    setState(State::Downloading);
    // wget, and every process it starts, holds the lock with this press, so
    // the file stays held until the last of them is gone.
    const int lock = file_ ? file_->descriptor() : -1;
    // A wget that cannot be started ends the run at once and wrote nothing;
    // the idle state is restored by the press, without a message.
    const platform::Reach reach = wgetReach(lock, serverPorts_, qgetenv("HOME"), qgetenv("WGETRC"));
    const auto error = runner_.runAndWait(QStringLiteral("wget"), press.call.arguments, press.call.input, lock, reach);
    outcome.confinement = runner_.confinement();
    if (error) {
        outcome.ending = PressEnding::NotStarted;
        outcome.detail = *error;
        return;
    }
    outcome.ending = state_ == State::Downloading ? PressEnding::Ended : PressEnding::Paused;
}

} // namespace download
