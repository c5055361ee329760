#include "platform/sleep_inhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <utility>

namespace platform {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr uint kSuspendAndIdle = 4 | 8; // the portal's flags
const QString kLogin = QStringLiteral("org.freedesktop.login1");
constexpr int kAnswerMilliseconds = 5000;

} // namespace

SleepInhibitor::SleepInhibitor(MessageBus &sessionBus, MessageBus &systemBus, QString who, QObject *parent)
    : QObject(parent), sessionBus_(sessionBus), systemBus_(systemBus), who_(std::move(who))
{
    connect(&sessionBus_, &MessageBus::settledWith, this, [this] {
        if (waiting_ == Step::Portal)
            ask(Step::Portal);
    });
    connect(&systemBus_, &MessageBus::settledWith, this, [this] {
        if (waiting_ == Step::Login)
            ask(Step::Login);
    });
}

void SleepInhibitor::hold(const QString &reason)
{
    if (held_)
        return;
    held_ = true;
    reason_ = reason;
    ++holds_;
    ask(Step::Portal);
}

void SleepInhibitor::release()
{
    if (!held_)
        return;
    held_ = false;
    if (!portalRequest_.isEmpty())
        closePortalRequest(std::exchange(portalRequest_, QString()));
    loginHold_ = QDBusUnixFileDescriptor();
}

void SleepInhibitor::ask(Step step)
{
    MessageBus &bus = step == Step::Portal ? sessionBus_ : systemBus_;
    bus.reach();
    if (!bus.settled()) {
        waiting_ = step;
        return;
    }
    waiting_ = Step::None;
    if (!held_)
        return;
    if (!bus.connection()) {
        if (step == Step::Portal)
            ask(Step::Login);
        return;
    }
    if (step == Step::Portal)
        askPortal();
    else
        askLogin();
}

void SleepInhibitor::askPortal()
{
    QDBusConnection connection = *sessionBus_.connection();
    // The portal names the request after the caller and the token, so a
    // release before the answer can close it already.
    const QString token = QStringLiteral("brindle%1").arg(holds_);
    portalRequest_ = kPortalPath + QStringLiteral("/request/")
                     + connection.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'))
                     + QLatin1Char('/') + token;
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"),
                                                       QStringLiteral("Inhibit"));
    call << QString() << kSuspendAndIdle
         << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("reason"), reason_}};
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(call, kAnswerMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, hold = holds_, expected = portalRequest_](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                const bool wanted = held_ && hold == holds_;
                if (reply.isError()) {
                    // A portal that never answered may still make the
                    // request: it is closed at release all the same.
                    if (wanted) {
                        if (reply.error().type() != QDBusError::NoReply && reply.error().type() != QDBusError::Timeout)
                            portalRequest_.clear();
                        ask(Step::Login);
                    }
                    return;
                }
                const QString path = reply.value().path();
                if (wanted)
                    portalRequest_ = path;
                else if (path != expected) // an older portal's own name, not closed yet
                    closePortalRequest(path);
            });
}

void SleepInhibitor::askLogin()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << who_ << reason_ << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(systemBus_.connection()->asyncCall(call, kAnswerMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, hold = holds_](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
        // A hold released meanwhile lets go of the descriptor with the reply.
        if (reply.isValid() && held_ && hold == holds_)
            loginHold_ = reply.value();
    });
}

void SleepInhibitor::closePortalRequest(const QString &path)
{
    if (!sessionBus_.connection())
        return;
    // Sent without waiting for an answer.
    sessionBus_.connection()->send(QDBusMessage::createMethodCall(kPortal, path, QStringLiteral("org.freedesktop.portal.Request"),
                                                                  QStringLiteral("Close")));
}

} // namespace platform
