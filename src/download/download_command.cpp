#include "download/download_command.h"

#include "download/address_rules.h"
#include "download/digest.h"
#include "download/downloader_call.h"
#include "download/partial_check.h"
#include "download/remembered_address.h"
#include "download/size_conversion.h"
#include "platform/file_hasher.h"
#include "platform/file_lock.h"
#include "platform/files_on_disk.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <memory>
#include <variant>

namespace download {
namespace {

// How many copies beside the file a press compares, newest first, before
// fetching the file whole: each costs a round trip.
constexpr int kCopiesTried = 4;

QString captionOf(DownloadCommand::State state)
{
    return state == DownloadCommand::State::Downloading ? kPauseCaption : kDownloadCaption;
}

bool runsDownloader(DownloadCommand::State state)
{
    return state == DownloadCommand::State::Downloading || state == DownloadCommand::State::Stopping;
}

// The stretches as the ranges of one request.
QList<platform::HttpProbe::Request::Range> rangesOf(const QList<Stretch> &stretches)
{
    QList<platform::HttpProbe::Request::Range> ranges;
    for (const Stretch &stretch : stretches)
        ranges.append({stretch.from, stretch.to - stretch.from});
    return ranges;
}

// Every answer on the way to the file, as the digest's rules read them: a
// status only for the last (the others are redirects or challenges).
QList<AnsweredHeaders> answeredHeadersOf(const platform::HttpProbe::Answer &answer)
{
    QList<AnsweredHeaders> answers;
    for (qsizetype i = 0; i < answer.hops.size(); ++i)
        answers.append({i + 1 == answer.hops.size() ? answer.status : 0, answer.hops[i]});
    return answers;
}

} // namespace

// One press from idle, with everything it works with: the address, taken
// once; the file and its lock; the answers that came with the size; the
// offsets drawn for it; the copies it moved. Its steps, probe, lock,
// compare, run and verify, take and return values; the press ends in one
// place, outcome().
class DownloadCommand::PressFlow
{
public:
    PressFlow(DownloadCommand &command, const QString &address) : command_(command), address_(address)
    {
        for (int i = 0; i < kDrawnStretches; ++i)
            draws_ << QRandomGenerator::system()->generate64();
    }

    // The whole press, up to its end.
    PressOutcome run();
    // Closing during the press: ends wget, removes the empty file the lock
    // made; what the press would have said.
    PressOutcome abandon();

    const QString &address() const { return address_; }
    const QByteArray &file() const { return press_.file; }

private:
    // What a press works with, taken from the address once, when pressed.
    struct Press
    {
        QByteArray file;                // where wget writes; empty when it writes nothing
        std::optional<QString> request; // as wget requests it, when Qt's client can send that
        DownloaderCall call;
    };
    // How a step ended the press.
    struct EndOfPress
    {
        PressEnding ending;
        QString detail;
    };
    // What this press's size request gave.
    struct SizeAnswer
    {
        bool failed = false; // no answer, or an error status
        int status = 0;      // the HTTP status that came; 0 for none
        // The server's file length: the Content-Length as the window reads
        // it (toSize); nothing when the header is missing or no number.
        std::optional<qint64> serverLength;
        DigestFinding digest; // what its answers published
    };
    // The file under the name holds the server's bytes, or is empty: wget
    // may run.
    struct ReadyToRun
    {
    };

    EndOfPress steps();
    PressOutcome outcome(const EndOfPress &ending) const;

    // Asks for the size with a HEAD request and sets the command's
    // totalBytes from it. The stretches of a file already under the name are
    // asked for together with it.
    SizeAnswer probe();
    // Lets wget continue only a file of the server's bytes: sets any other
    // aside and locks the new, empty file, or brings back a copy that holds
    // the server's bytes. How the press ends when nothing may run.
    std::variant<ReadyToRun, EndOfPress> prepare(const SizeAnswer &answered);
    // Before wget fetches the file whole: the copies beside it, newest first
    // (by modification time), other than `justSetAside`, are compared
    // until one holds the server's bytes and is no longer than the server's
    // file (and, at its full length, has its published digest); that one is
    // brought back under the name and the lock moves to it. A user's own
    // copy is safe under this: it is continued only where its bytes are the
    // server's, and nothing of it is written over.
    void bringBackCopy(const SizeAnswer &answered, const QByteArray &justSetAside);
    // Runs wget with the state at Downloading, the lock handed to it, the
    // file hashed as it grows when a digest was published. wget's exit
    // status; nothing when it ended by Pause.
    std::variant<int, EndOfPress> runWget(const DigestFinding &digest);
    // After wget ended by itself: whether the file is the server's.
    // `lengthAtStart` is the file's length when wget started.
    EndOfPress verify(qint64 lengthAtStart, int status, const SizeAnswer &answered);
    // Sets the locked file aside; ends the press as `ending` says.
    EndOfPress endSettingAside(EndOfPress ending);

    // The server's answer for each stretch: those that came with the size,
    // the rest asked for together.
    QList<StretchAnswer> stretchAnswers(const QList<Stretch> &stretches);
    // Those answers, and then, for each stretch whose bytes under the name
    // are `own` and that an answer to several ranges did not show to be the
    // same (askAgainAlone), the answer to that stretch alone, all asked at
    // once; from a server that sent its whole file for several and does not
    // say it serves ranges, one stretch first, the rest only where that one
    // came as asked.
    QList<StretchAnswer> answersFor(const QList<Stretch> &stretches, const QList<std::optional<QByteArray>> &own);
    // The comparison's requests, within its one deadline.
    QList<platform::HttpProbe::Answer> ask(const QList<platform::HttpProbe::Request> &requests);
    // When a difference from the server's bytes makes the file another:
    // before wget continues a file, at once (a fresh copy loses nothing); a
    // file wget finished, only when a second answer repeats the difference.
    enum class DifferenceCounts { AtOnce, WhenRepeated };
    // Compares the stretches of the locked file with the server's bytes.
    Match compare(const platform::FileLock &file, const QList<Stretch> &stretches, DifferenceCounts counts);
    // The digest of the file's first `length` bytes, read off this thread;
    // nothing when they cannot be read.
    std::optional<QByteArray> digestOf(platform::GrowingFileHasher &hasher, qint64 length);

    DownloadCommand &command_;
    const QString address_;
    Press press_;
    QList<quint64> draws_;
    std::unique_ptr<platform::FileLock> file_; // the press's lock
    std::unique_ptr<platform::GrowingFileHasher> hasher_;
    // Answers that came with the size, for the stretches they were asked
    // for; each is used once, and none after wget ran.
    QList<std::pair<Stretch, StretchAnswer>> answersWithSize_;
    QByteArrayList keptAs_;
    QByteArray broughtBack_;
    QList<quint16> serverPorts_; // the ports the size request went to, redirects and proxy included
    std::optional<unsigned> confinement_; // what of the confinement applied to wget, once it started
    std::optional<qint64> serverLength_;  // as the size request told it
    bool servesRanges_ = false;           // the size request's answer said Accept-Ranges: bytes
    // The comparisons before wget runs share one deadline, and those after
    // it another: one time-out each, whatever they ask again.
    QDeadlineTimer comparing_{QDeadlineTimer::Forever};
};

DownloadCommand::DownloadCommand(CommandView &view, platform::HttpProbe &sizeProbe, Runner &runner,
                                 DownloadFolder folder)
    : view_(view), sizeProbe_(sizeProbe), runner_(runner), folder_(std::move(folder))
{
}

DownloadCommand::~DownloadCommand() = default;

QByteArray DownloadCommand::pressedFile() const
{
    return flow_ ? flow_->file() : QByteArray();
}

void DownloadCommand::click()
{
    const QString address = view_.address();
    // A failed write is not reported; the next press writes again.
    saveAddress(address);

    if (state_ == State::Downloading) {
        // The second click of a double-click on Download, with a server
        // near enough that wget already runs.
        if (pressedAt_.isValid() && pressedAt_.elapsed() < doubleClickInterval_.count())
            return;
        setState(State::Stopping);
        // The press that started the download goes back to idle.
        runner_.stop();
        return;
    }
    // A press is under way: it alone decides what happens next.
    if (state_ != State::Idle)
        return;

    pressedAt_.start();
    PressOutcome outcome;
    {
        PressFlow flow(*this, address);
        flow_ = &flow;
        outcome = flow.run();
        flow_ = nullptr;
    } // the lock goes here, and an empty file it made with it, before the window hears the end
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
    if (flow_)
        qCInfo(pressLog).noquote() << describe(shownAddress(flow_->address()), flow_->abandon());
}

void DownloadCommand::setState(State state)
{
    if (captionOf(state) != captionOf(state_))
        view_.setCaption(captionOf(state));
    if ((state == State::Idle) != (state_ == State::Idle))
        view_.setAddressEnabled(state == State::Idle);
    const bool runs = runsDownloader(state) != runsDownloader(state_);
    state_ = state;
    if (runs)
        view_.downloaderRuns(runsDownloader(state));
}

bool DownloadCommand::runsWget2()
{
    // No wget at all is for the run to say (NotStarted).
    const std::optional<platform::ProgramFile> wget = platform::programOnPath(QStringLiteral("wget"));
    if (!wget || wget == askedWget_)
        return wget && wget2_;
    // The first line is all that tells; confined as a download's wget is, reaching no file and no server.
    const std::optional<QByteArray> version = runner_.outputOf(
        wget->path, {QStringLiteral("--version")}, wgetReach(-1, {}, qgetenv("HOME"), qgetenv("WGETRC")), 256);
    askedWget_ = wget;
    wget2_ = version && isWget2(*version);
    return wget2_;
}

PressOutcome DownloadCommand::PressFlow::run()
{
    return outcome(steps());
}

PressOutcome DownloadCommand::PressFlow::abandon()
{
    // Closed while wget runs, or after Pause before its run returned.
    if (command_.state_ == State::Downloading || command_.state_ == State::Stopping)
        confinement_ = command_.runner_.confinement();
    if (file_)
        file_->removeIfMadeAndEmpty();
    return outcome({PressEnding::Stopped, QStringLiteral("closed")});
}

PressOutcome DownloadCommand::PressFlow::outcome(const EndOfPress &ending) const
{
    PressOutcome outcome;
    outcome.ending = ending.ending;
    outcome.address = address_;
    outcome.detail = ending.detail;
    outcome.file = press_.file;
    outcome.keptAs = keptAs_;
    outcome.broughtBack = broughtBack_;
    outcome.confinement = confinement_;
    outcome.serverLength = serverLength_;
    return outcome;
}

DownloadCommand::PressFlow::EndOfPress DownloadCommand::PressFlow::steps()
{
    if (!accepted(address_))
        return {PressEnding::Refused, {}};
    // A folder without a name would put the file, and its lock, at the root.
    const DownloadFolder &folder = command_.folder_;
    if (folder.path.isEmpty())
        return {PressEnding::NoFolder, {}};
    press_ = {folder.fileFor(address_), requestAddress(address_), wgetCall(address_)};

    command_.setState(State::Asking);
    if (command_.runsWget2())
        return {PressEnding::Wget2, {}};
    const SizeAnswer answered = probe();
    serverLength_ = answered.serverLength;
    if (answered.failed)
        return {PressEnding::NoAnswer, answered.status > 0 ? QStringLiteral("HTTP %1").arg(answered.status) : QString()};
    // An answer with an error leaves the total at 0, so a run always has one.
    if (command_.totalBytes_ <= 0)
        return {PressEnding::NoSize, {}};

    // An address for which wget writes no file has nothing to guard.
    if (press_.file.isEmpty()) {
        const auto ran = runWget({});
        if (const EndOfPress *ending = std::get_if<EndOfPress>(&ran))
            return *ending;
        const int status = std::get<int>(ran);
        return status == 0 ? EndOfPress{PressEnding::Unverified, {}} : EndOfPress{PressEnding::Failed, wgetStatusText(status)};
    }

    auto taken = platform::FileLock::take(press_.file);
    // Another Brindle's download goes on, and this display follows it; a
    // file that cannot be locked is not written at all.
    if (!taken.lock)
        return {taken.outcome == platform::FileLock::Outcome::HeldElsewhere ? PressEnding::HeldElsewhere
                                                                             : PressEnding::Unlockable,
                {}};
    file_ = std::move(taken.lock);
    const auto prepared = prepare(answered);
    if (const EndOfPress *ending = std::get_if<EndOfPress>(&prepared))
        return *ending;

    const std::optional<qint64> lengthAtStart = file_->length();
    if (!lengthAtStart)
        return {PressEnding::Unlockable, {}};
    const auto ran = runWget(answered.digest);
    if (const EndOfPress *ending = std::get_if<EndOfPress>(&ran))
        return *ending;
    return verify(*lengthAtStart, std::get<int>(ran), answered);
}

DownloadCommand::PressFlow::SizeAnswer DownloadCommand::PressFlow::probe()
{
    // A file already under the name is compared with the server's before
    // wget continues it: its stretches are asked for with the size, at once.
    // The file's digest is asked for as RFC 9530 asks, SHA-256 first.
    QList<platform::HttpProbe::Request> requests{platform::HttpProbe::Request{
        press_.request.value_or(address_), {}, {{"Want-Repr-Digest", "sha-256=10, sha-512=5"}}}};
    QList<Stretch> stretches;
    if (press_.request && !press_.file.isEmpty()) {
        if (const std::optional<qint64> length = platform::lengthOnDisk(press_.file); length && *length > 0)
            stretches = stretchesBeforeResume(*length, draws_);
    }
    if (!stretches.isEmpty())
        requests << platform::HttpProbe::Request{*press_.request, rangesOf(stretches)};
    const QList<platform::HttpProbe::Answer> answers = command_.sizeProbe_.sendAndWait(requests);
    answersWithSize_.clear();
    for (qsizetype i = 0; i < stretches.size(); ++i)
        answersWithSize_.append({stretches[i], stretchAnswerOf(answers[1], i, stretches.size())});

    const platform::HttpProbe::Answer &head = answers.first();
    serverPorts_ = head.ports;
    servesRanges_ = head.header(QByteArrayLiteral("Accept-Ranges")).value_or(QString()).trimmed().compare(QLatin1String("bytes"), Qt::CaseInsensitive) == 0;
    if (head.failed()) {
        command_.totalBytes_ = 0;
        return {true, head.status, std::nullopt, {}};
    }
    const auto header = head.header(QByteArrayLiteral("Content-Length"));
    const auto serverLength = header ? toSize(*header) : std::nullopt;
    if (!header)
        command_.totalBytes_ = 0;
    else if (serverLength)
        command_.totalBytes_ = *serverLength;
    // Text that is not a size leaves the previous press's total in place.
    return {false, head.status, serverLength, publishedDigest(answeredHeadersOf(head))};
}

std::variant<DownloadCommand::PressFlow::ReadyToRun, DownloadCommand::PressFlow::EndOfPress>
DownloadCommand::PressFlow::prepare(const SizeAnswer &answered)
{
    comparing_ = QDeadlineTimer(command_.sizeProbe_.timeout());
    const std::optional<qint64> length = file_->length();
    if (!length)
        return EndOfPress{PressEnding::Unlockable, {}};
    if (*length == 0) {
        bringBackCopy(answered, {});
        return ReadyToRun{};
    }
    const Match match =
        longerThanServers(*length, answered.serverLength)
            ? Match::Different
            : compare(*file_, stretchesBeforeResume(*length, draws_), DifferenceCounts::AtOnce);
    if (match == Match::Same)
        return ReadyToRun{};
    // A server that cannot tell leaves the file as it is, and nothing runs.
    if (match == Match::Unknown)
        return EndOfPress{PressEnding::Undecided, {}};
    const std::optional<QByteArray> moved = file_->setAside();
    if (!moved)
        return EndOfPress{PressEnding::NotSetAside, {}};
    keptAs_ << *moved;
    // The lock went with the file set aside; wget writes a new one.
    file_ = platform::FileLock::take(press_.file).lock;
    if (!file_)
        return EndOfPress{PressEnding::NotReplaced, {}};
    bringBackCopy(answered, *moved);
    return ReadyToRun{};
}

void DownloadCommand::PressFlow::bringBackCopy(const SizeAnswer &answered, const QByteArray &justSetAside)
{
    const DigestFinding &digest = answered.digest;
    QList<QByteArray> copies = platform::copiesBeside(press_.file);
    copies.removeAll(justSetAside);
    for (const QByteArray &path : copies.mid(0, kCopiesTried)) {
        auto copy = platform::FileLock::take(path).lock;
        const std::optional<qint64> length = copy ? copy->length() : std::nullopt;
        if (!length || *length == 0 || longerThanServers(*length, answered.serverLength)
            || compare(*copy, stretchesBeforeResume(*length, draws_), DifferenceCounts::AtOnce) != Match::Same)
            continue;
        // A whole file leaves nothing to continue, so only its digest can
        // vouch for it: a copy set aside as another file after its run (by
        // its digest, or a difference repeated) never comes back.
        if (*length == answered.serverLength) {
            if (!digest.digest)
                continue;
            platform::GrowingFileHasher hasher(copy->descriptor(), digest.digest->algorithm);
            if (digestOf(hasher, *length) != digest.digest->value)
                continue;
        }
        if (!copy->takePlaceOf(*file_))
            return;
        file_ = std::move(copy);
        broughtBack_ = path;
        return;
    }
}

std::variant<int, DownloadCommand::PressFlow::EndOfPress>
DownloadCommand::PressFlow::runWget(const DigestFinding &digest)
{
    // What the server answered before wget ran says nothing of the file after.
    answersWithSize_.clear();
    command_.setState(State::Downloading);
    // The file is hashed as wget writes it, so that its check adds nothing
    // after wget ends.
    if (file_ && digest.digest)
        hasher_ = std::make_unique<platform::GrowingFileHasher>(file_->descriptor(), digest.digest->algorithm);
    // Marked before wget writes, so whatever it writes, however the run
    // ends, tells where it came from; an empty file the lock made goes.
    if (file_)
        file_->markOrigin(originAddress(address_));
    // wget, and every process it starts, holds the lock with this press, so
    // the file stays held until the last of them is gone.
    const int lock = file_ ? file_->descriptor() : -1;
    const platform::Reach reach = wgetReach(lock, serverPorts_, qgetenv("HOME"), qgetenv("WGETRC"));
    const Runner::Result result =
        command_.runner_.runAndWait(QStringLiteral("wget"), press_.call.arguments, press_.call.input, lock, reach);
    if (!result.notStarted)
        confinement_ = command_.runner_.confinement();
    // A wget that cannot be started ends the run at once and wrote nothing;
    // the idle state is restored by the press, without a message.
    if (result.notStarted)
        return EndOfPress{PressEnding::NotStarted, *result.notStarted};
    if (command_.state_ != State::Downloading)
        return EndOfPress{PressEnding::Stopped, {}};
    // An end that could not be watched tells nothing of how wget did.
    if (!result.exitStatus)
        return EndOfPress{PressEnding::Failed, QStringLiteral("its end could not be watched")};
    return *result.exitStatus;
}

DownloadCommand::PressFlow::EndOfPress DownloadCommand::PressFlow::verify(qint64 lengthAtStart, int status,
                                                                      const SizeAnswer &answered)
{
    // wget ended by itself, perhaps after resuming on its own, against a
    // server whose file may have changed since the check before it.
    command_.setState(State::Finishing);
    comparing_ = QDeadlineTimer(command_.sizeProbe_.timeout());
    const std::optional<qint64> length = file_->length();
    const DigestFinding &digest = answered.digest;
    // A file wget fetched whole in this run is its one answer's, whatever
    // length the size request told; only a continued one can be a mix.
    const bool longer = length && longerThanServers(*length, answered.serverLength);
    if (longer && lengthAtStart > 0)
        return endSettingAside({PressEnding::NotTheServers, QStringLiteral("longer than the server's")});
    if (status != 0)
        return {PressEnding::Failed, wgetStatusText(status)};
    if (!length || *length == 0)
        return {PressEnding::Unverified, {}};
    // The file as wget finished it, at the length the server told, or at
    // wget's own end where it told none. Whatever leaves the file's state
    // open is named on the log line.
    QStringList undecided;
    if (longer)
        undecided << QStringLiteral("the size request told another length");
    const QString digestUndecided = QStringLiteral("the published digest decides nothing: ");
    if (!digest.undecided.isEmpty())
        undecided << digestUndecided + digest.undecided;
    if (hasher_ && answered.serverLength && *length != *answered.serverLength) {
        // A digest of the length told is not this file's.
        if (!longer)
            undecided << digestUndecided + QStringLiteral("the file is shorter than the server's");
    } else if (hasher_) {
        const std::optional<QByteArray> own = digestOf(*hasher_, *length);
        const QString name = algorithmName(digest.digest->algorithm);
        if (own && *own == digest.digest->value)
            return {PressEnding::Verified, name};
        if (own)
            return endSettingAside({PressEnding::DigestDiffers, name});
        const std::optional<QString> missing = platform::GrowingFileHasher::libraryFailure(digest.digest->algorithm);
        undecided << digestUndecided + missing.value_or(QStringLiteral("the file could not be read"));
    }
    switch (compare(*file_, stretchesAfterRun(lengthAtStart, *length, draws_), DifferenceCounts::WhenRepeated)) {
    case Match::Different:
        return endSettingAside({PressEnding::NotTheServers, {}});
    case Match::Unknown:
        undecided << QStringLiteral("the server could not tell whether the file holds its bytes");
        break;
    case Match::Same:
        break;
    }
    return {PressEnding::Unverified, undecided.join(QStringLiteral("; "))};
}

DownloadCommand::PressFlow::EndOfPress DownloadCommand::PressFlow::endSettingAside(EndOfPress ending)
{
    if (const auto moved = file_->setAside()) {
        keptAs_ << *moved;
        return ending;
    }
    // Moved or replaced meanwhile, or the folder refuses: the name keeps
    // what it holds, and the ending must not say it was set aside.
    return {PressEnding::NotSetAside, ending.ending == PressEnding::DigestDiffers
                                          ? QStringLiteral("its %1 digest is not the server's").arg(ending.detail)
                                          : ending.detail};
}

std::optional<QByteArray> DownloadCommand::PressFlow::digestOf(platform::GrowingFileHasher &hasher, qint64 length)
{
    std::optional<std::optional<QByteArray>> result;
    QEventLoop loop;
    QObject::connect(&hasher, &platform::GrowingFileHasher::finished, &loop,
                     [&](const std::optional<QByteArray> &digest) {
                         result = digest;
                         loop.quit();
                     });
    hasher.finish(length);
    loop.exec();
    return *result;
}

QList<StretchAnswer> DownloadCommand::PressFlow::stretchAnswers(const QList<Stretch> &stretches)
{
    QList<std::optional<StretchAnswer>> found;
    QList<Stretch> asked;
    for (const Stretch &stretch : stretches) {
        found.append(std::nullopt);
        for (qsizetype i = 0; i < answersWithSize_.size(); ++i) {
            if (answersWithSize_[i].first == stretch) {
                found.last() = answersWithSize_.takeAt(i).second;
                break;
            }
        }
        // The bytes wget gets, or none: a file Qt's client cannot ask for
        // can be compared with nothing.
        if (!found.last() && !press_.request)
            found.last() = StretchAnswer{true, 0, std::nullopt, std::nullopt};
        if (!found.last())
            asked << stretch;
    }
    // The stretches still unanswered, in one request.
    const QList<platform::HttpProbe::Answer> answers =
        asked.isEmpty() ? QList<platform::HttpProbe::Answer>()
                        : ask({platform::HttpProbe::Request{*press_.request, rangesOf(asked)}});
    QList<StretchAnswer> result;
    qsizetype next = 0;
    for (const std::optional<StretchAnswer> &answer : std::as_const(found))
        result << (answer ? *answer : stretchAnswerOf(answers.first(), next++, asked.size()));
    return result;
}

QList<StretchAnswer> DownloadCommand::PressFlow::answersFor(const QList<Stretch> &stretches,
                                                            const QList<std::optional<QByteArray>> &own)
{
    QList<StretchAnswer> answers = stretchAnswers(stretches);
    QList<qsizetype> open;
    for (qsizetype i = 0; i < stretches.size(); ++i)
        if (press_.request && own[i] && askAgainAlone(answers[i], compareStretch(stretches[i], answers[i], *own[i])))
            open << i;
    const auto alone = [&](qsizetype i) { return platform::HttpProbe::Request{*press_.request, rangesOf({stretches[i]})}; };
    // A server that sent its whole file for several ranges, and says nothing
    // of serving ranges, may send it for one too: one stretch tells first.
    if (!open.isEmpty() && !servesRanges_ && answers[open.first()].status == 200) {
        const qsizetype first = open.takeFirst();
        const platform::HttpProbe::Answer answer = ask({alone(first)}).first();
        answers[first] = stretchAnswerOf(answer);
        if (answer.status != 206)
            return answers;
    }
    QList<platform::HttpProbe::Request> requests;
    for (const qsizetype i : std::as_const(open))
        requests << alone(i);
    const QList<platform::HttpProbe::Answer> again = requests.isEmpty() ? QList<platform::HttpProbe::Answer>() : ask(requests);
    for (qsizetype i = 0; i < again.size(); ++i)
        answers[open[i]] = stretchAnswerOf(again[i]);
    return answers;
}

QList<platform::HttpProbe::Answer> DownloadCommand::PressFlow::ask(const QList<platform::HttpProbe::Request> &requests)
{
    return command_.sizeProbe_.sendAndWait(requests, comparing_);
}

Match DownloadCommand::PressFlow::compare(const platform::FileLock &file, const QList<Stretch> &stretches,
                                          DifferenceCounts counts)
{
    QList<std::optional<QByteArray>> own;
    for (const Stretch &stretch : stretches)
        own << file.read(stretch.from, stretch.to - stretch.from);
    const QList<StretchAnswer> servers = answersFor(stretches, own);
    QList<Stretch> differing;
    QList<std::optional<QByteArray>> differingOwn;
    QList<std::optional<QByteArray>> differingBytes;
    bool unknown = false;
    for (qsizetype i = 0; i < stretches.size(); ++i) {
        const Match match = own[i] ? compareStretch(stretches[i], servers[i], *own[i]) : Match::Unknown;
        unknown = unknown || match == Match::Unknown;
        if (match == Match::Different) {
            differing << stretches[i];
            differingOwn << own[i];
            differingBytes << servers[i].bytes;
        }
    }
    // A stretch that differs decides, whatever the others could tell.
    if (differing.isEmpty())
        return unknown ? Match::Unknown : Match::Same;
    if (counts == DifferenceCounts::AtOnce)
        return Match::Different;
    // A server that writes something new into every answer (a time, a
    // token) tells nothing about the file by its bytes.
    const QList<StretchAnswer> again = answersFor(differing, differingOwn);
    for (qsizetype i = 0; i < differing.size(); ++i) {
        if (differingBytes[i] && again[i].bytes != differingBytes[i])
            return Match::Unknown;
    }
    return Match::Different;
}

} // namespace download
