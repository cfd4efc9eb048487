#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Korvex"));
    window.resize(800, 500);
    window.show();
    return QApplication::exec();
}
