// The start-up benchmark's reference: the least a Qt Widgets program does to
// show a window, linked against Qt Widgets alone. It fills the screen with
// the grey of the program's device panel, so the benchmark waits for the
// same pixel in both.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(210, 210, 210));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.setGeometry(0, 0, 1920, 1080);
    window.show();
    return app.exec();
}
