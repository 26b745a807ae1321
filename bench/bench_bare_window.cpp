// The least a Qt Widgets program does to show a window: the floor for the tool's start-up time
// and idle memory.  nimbla_bench_bare_window [title]
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral("Nimbla Bench Bare Window"));
    window.resize(480, 320);
    window.show();
    return app.exec();
}
