#pragma once
// The screen's twips per pixel (1440 twips to the inch), and where its
// middle is.

#include <QPoint>
#include <optional>

namespace platform {

// 1440 divided by the primary screen's logical horizontal DPI, rounded half to
// even; 15 (96 DPI) when no screen answers.
int screenTwipsPerPixel();

// The middle of the primary screen's area that windows may take; nothing
// when no screen answers.
std::optional<QPoint> screenCentre();

} // namespace platform
