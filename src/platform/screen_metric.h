#pragma once
// The screen's twips per pixel (1440 twips to the inch).

namespace platform {

// 1440 divided by the primary screen's logical horizontal DPI, rounded half to
// even; 15 (96 DPI) when no screen answers.
int screenTwipsPerPixel();

} // namespace platform
