#include "app/startup.h"

#include "app/main_window.h"
#include "app/translations.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

// The icons are resources of Brindle's static library, which the linker
// leaves out unless they are asked for by name (outside any namespace).
static void addResources()
{
    Q_INIT_RESOURCE(brindle);
}

namespace app {
namespace {

// The version record the executable carries: `strings brindle` shows it.
[[gnu::used, gnu::section(".brindle_version")]] const char kVersionRecord[] =
    "ProductName=Brindle ProductVersion=" BRINDLE_VERSION_TEXT " FileVersion=" BRINDLE_VERSION_TEXT
    " FileVersionNumber=" BRINDLE_VERSION;

} // namespace

void startup()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION_TEXT));
    const QLocale language = installTranslations();
    addResources();
    // Read by Qt's own PNG reader, told the format: a reader left to guess
    // loads every image-format plugin installed to ask each first.
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QImageReader reader(QStringLiteral(":/icons/brindle-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(kDesktopEntry);

    // Closing the window ends the program from inside its close handler, so
    // the window is never destroyed in the ordinary way.
    auto *window = new MainWindow({}, language);
    window->show();
}

} // namespace app
