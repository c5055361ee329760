#include "platform/screen_metric.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {

int screenTwipsPerPixel()
{
    const QScreen *screen = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    const double dpi = screen ? screen->logicalDotsPerInchX() : 0.0;
    if (!(dpi > 0.0))
        return 15;
    const double twipsPerPixel = std::nearbyint(1440.0 / dpi);
    return twipsPerPixel >= 1.0 ? static_cast<int>(twipsPerPixel) : 1;
}

} // namespace platform
