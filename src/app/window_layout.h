#pragma once
// Where each control of Brindle's window sits, in twips (1440 to the inch):
// the layout's one source, read by the window, which places every control
// with the screen's twips per pixel, and by the tests that look for a
// control at its place on screen.

namespace app::layout {

struct TwipsRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The window's fixed size.
inline constexpr int kWindowWidth = 5370;
inline constexpr int kWindowHeight = 2535;

inline constexpr TwipsRect kAddressCaption{120, 120, 735, 255};
inline constexpr TwipsRect kAddressBox{960, 75, 3015, 375};
// Widened to the left for a longer caption (MainWindow::fitButtonCaptions).
inline constexpr TwipsRect kDownloadButton{4200, 0, 975, 495};
inline constexpr TwipsRect kTotalSizeCaption{120, 840, 855, 255};
inline constexpr TwipsRect kTotalSize{1200, 840, 3135, 375};
inline constexpr TwipsRect kCurrentSizeCaption{120, 1320, 975, 255};
inline constexpr TwipsRect kCurrentSize{1200, 1320, 3015, 375};
inline constexpr TwipsRect kProgressBar{600, 1800, 4215, 375};
// Inside the bar, from its top left corner.
inline constexpr TwipsRect kPercentLabel{1800, 0, 495, 255};
inline constexpr TwipsRect kMakerLink{3480, 2280, 1935, 255};

} // namespace app::layout
