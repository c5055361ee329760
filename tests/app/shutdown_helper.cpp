// Runs Brindle's window for the shutdown tests:
//   shutdown_helper <address> <close-after-ms> [<pause-after-ms>]
// presses Download at once, presses again (Pause) after the optional delay
// and closes the window after its delay (never when negative). Prints
// "closing" just before the close.
#include "app/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 3 && argc != 4)
        return 2;
    auto *form = new app::Form1();
    form->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QString::fromLocal8Bit(argv[1]));
    QTimer::singleShot(0, [form] { form->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); });
    if (argc == 4) {
        QTimer::singleShot(std::atoi(argv[3]),
                           [form] { form->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); });
    }
    if (const int delay = std::atoi(argv[2]); delay >= 0) {
        QTimer::singleShot(delay, [form] {
            std::puts("closing");
            std::fflush(stdout);
            form->close();
            std::puts("still running");
        });
    }
    return application.exec();
}
