#pragma once
// Start-up: prepares the platform and opens Brindle's only window.

namespace app {

// Nothing to prepare on this platform; true.
bool initcontrols();

// Creates the window, which lives until the program ends, and shows it.
void startup();

} // namespace app
