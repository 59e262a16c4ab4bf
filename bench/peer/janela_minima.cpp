// The peer of the start-up measurement: the least a Qt Widgets program does to show one window.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Janela mínima"));
    window.resize(400, 300);
    window.show();
    return QApplication::exec();
}
