#include "app/startup.h"

#include "app/main_window.h"
#include "app/translations.h"

#include <QApplication>
#include <QIcon>

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
    QIcon icon;
    for (const int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/icons/brindle-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(kDesktopEntry);

    // Closing the window ends the program from inside its close handler, so
    // the window is never destroyed in the ordinary way.
    auto *window = new MainWindow({}, language);
    window->show();
}

} // namespace app
