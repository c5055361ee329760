#pragma once
// Start-up: prepares the platform and opens Brindle's only window.

namespace app {

// Creates the window, which lives until the program ends, and shows it.
void startup();

} // namespace app
