#pragma once
// Ending the program at once, from however deep inside a waiting handler.

namespace platform {

// Flushes standard streams and ends the process with status 0 without
// returning to any caller or event loop. The remembered address is already on
// disk: every write of it is synced.
[[noreturn]] void endProgramNow();

} // namespace platform
