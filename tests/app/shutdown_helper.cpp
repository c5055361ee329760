// Runs Brindle's window for the shutdown tests:
//   shutdown_helper <address> [<pause-after-ms>]
// presses Download at once and, after the optional delay, again (Pause),
// printing "pausing" just before. Prints "returned" once the first press has
// returned. Closes the window
// when a line arrives on standard input, printing "closing" just before.
#include "app/main_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

namespace {
void say(const char *line)
{
    std::puts(line);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3)
        return 2;
    auto *window = new app::MainWindow();
    auto *command = window->findChild<QPushButton *>(QStringLiteral("downloadButton"));
    window->findChild<QLineEdit *>(QStringLiteral("addressBox"))->setText(QString::fromLocal8Bit(argv[1]));
    QTimer::singleShot(0, [command] {
        command->click();
        say("returned");
    });
    if (argc == 3)
        QTimer::singleShot(std::atoi(argv[2]), [command] {
            say("pausing");
            command->click();
        });
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [window, &input] {
        input.setEnabled(false);
        say("closing");
        window->close();
        say("still running");
    });
    return application.exec();
}
