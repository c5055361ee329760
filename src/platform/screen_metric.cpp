#include "platform/screen_metric.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {

int twipsPerPixelX()
{
    const QScreen *screen = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    const double dpi = screen ? screen->logicalDotsPerInchX() : 0.0;
    if (!(dpi > 0.0))
        return 15;
    const double tpp = std::nearbyint(1440.0 / dpi);
    return tpp >= 1.0 ? static_cast<int>(tpp) : 1;
}

} // namespace platform
