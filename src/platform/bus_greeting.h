#pragma once
// Whether a message bus speaks, asked before Qt is given it. Qt connects to
// every bus, the accessibility bus among them, on one thread of its own,
// and libdbus waits there for the bus's answers without a time limit: one
// bus that takes its callers and never speaks, or stops (a stopped or hung
// daemon, another kind of server), would silence every other bus too.

#include <QString>

namespace platform {

// Whether the bus at the D-Bus `address` answers a client's authentication
// (AUTH EXTERNAL; REJECTED is an answer too) and, let in, its Hello within
// two seconds in all. Blocks for up to that long: call it off the window's
// thread. As libdbus does, the addresses of a list are tried in turn, the
// first that takes the connection is the bus, and one it cannot connect to
// is passed over: a transport it does not know, a unix address naming no
// socket, or naming one beside a listening address's tmpdir, dir or
// runtime, a TCP address without a port or of another family (the first
// value of a key counts). Unix sockets and TCP are asked; a bus of another
// transport (nonce-tcp, unixexec, autolaunch) is taken at its word.
bool answersAsBus(const QString &address);

} // namespace platform
