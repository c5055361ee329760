// Runs Brindle's window for the shutdown tests:
//   shutdown_helper <address> [<pause-after-ms>]
// presses Download at once and, the optional delay after the caption first
// reads "Pause" (as a user clicks what they see), again, printing "pausing"
// just before. Prints "returned" once the first press has
// returned. Closes the window
// when a line arrives on standard input, printing "closing" just before.
#include "app/main_window.h"
#include "download/download_command.h"

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
    // The caption has no signal of its own; a test helper may look.
    QTimer captionWatch;
    if (argc == 3) {
        const int pauseAfter = std::atoi(argv[2]);
        QObject::connect(&captionWatch, &QTimer::timeout, [command, pauseAfter, &captionWatch] {
            if (command->text() != download::kPauseCaption)
                return;
            captionWatch.stop();
            QTimer::singleShot(pauseAfter, [command] {
                say("pausing");
                command->click();
            });
        });
        captionWatch.start(10);
    }
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [window, &input] {
        input.setEnabled(false);
        say("closing");
        window->close();
        say("still running");
    });
    return application.exec();
}
