// The reference for the start-up benchmark: the least a Qt 6 Widgets program does to show a main
// window (an application object and an empty main window of the same size). With "--text" the
// window holds one line of text, so the font machinery starts too, as in any real window.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.resize(800, 600);
    if (argc > 1 && QByteArrayView(argv[1]) == "--text")
        window.setCentralWidget(new QLabel(QStringLiteral("Text"), &window));
    window.show();
    return app.exec();
}
