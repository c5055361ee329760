#include "platform/screen_metric.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {
namespace {

const QScreen *primaryScreen()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen() : nullptr;
}

} // namespace

int screenTwipsPerPixel()
{
    const QScreen *screen = primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 0.0;
    if (!(dpi > 0.0))
        return 15;
    const double twipsPerPixel = std::nearbyint(1440.0 / dpi);
    return twipsPerPixel >= 1.0 ? static_cast<int>(twipsPerPixel) : 1;
}

std::optional<QPoint> screenCentre()
{
    const QScreen *screen = primaryScreen();
    return screen ? std::optional(screen->availableGeometry().center()) : std::nullopt;
}

} // namespace platform
