#pragma once
// Keeps the computer from suspending, on demand or when idle, while held:
// through the XDG desktop portal's Inhibit (suspend and idle) where a portal
// answers on the session bus, else through logind's Inhibit ("sleep:idle",
// mode "block") on the system bus. Nothing waits for either: hold() and
// release() send and return, and an answer that comes after release() is
// taken back as it comes. A portal that takes the call and sends no answer
// within five seconds counts as none. Both holds end with the process,
// however it ends: the portal drops the requests of a connection that leaves
// the bus, and logind's hold is a descriptor, close-on-exec, that the kernel
// closes.

#include "platform/message_bus.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace platform {

class SleepInhibitor : public QObject
{
    Q_OBJECT
public:
    // `who` names the program to logind, which shows it with the reason.
    // Holds nothing until hold(); going while held lets go of logind's
    // descriptor, and leaves the portal's request to the connection's end.
    SleepInhibitor(MessageBus &sessionBus, MessageBus &systemBus, QString who, QObject *parent = nullptr);

    // Asks to stay awake, for `reason` (a line the desktop may show); nothing
    // more while held already.
    void hold(const QString &reason);
    // Lets the computer sleep again.
    void release();

private:
    enum class Step { None, Portal, Login };
    void ask(Step step);
    void askPortal();
    void askLogin();
    void closePortalRequest(const QString &path);

    MessageBus &sessionBus_;
    MessageBus &systemBus_;
    QString who_;
    QString reason_;
    bool held_ = false;
    quint64 holds_ = 0;        // counts hold(), so an answer finds whether it is still wanted
    Step waiting_ = Step::None; // the bus the hold waits for to be reached
    QString portalRequest_;     // the portal's request for this hold, to be closed at release
    QDBusUnixFileDescriptor loginHold_; // logind's descriptor for this hold
};

} // namespace platform
