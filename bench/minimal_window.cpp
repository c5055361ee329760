// A minimal Qt window, the floor Brindle's start-up and memory are held to.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    new QLineEdit(&window);
    (new QPushButton(QStringLiteral("Go"), &window))->move(0, 30);
    (new QLabel(QStringLiteral("0"), &window))->move(0, 60);
    window.show();
    return application.exec();
}
