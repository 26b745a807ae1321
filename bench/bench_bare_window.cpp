// The baselines for the tool's start-up time and idle memory, built with the tool's flags and the
// same Qt modules (Core, Gui, Widgets) and style, none of the tool's code.
//
//   nimbla_bench_bare_window [--text] [title]
//
// Plain: the least a Qt Widgets program does to show a window; it draws no text, so it never
// starts the font system. --text: the tool's window without the tool, a 96 x 64 image (made in
// memory, also the window's icon) above two text buttons of the tool's width.
#include <cstring>

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QPixmap image() {
    QPixmap pixmap(96, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x7f, 0xe0));
    painter.drawEllipse(16, 4, 64, 56);
    return pixmap;
}

void fill(QWidget& window) {
    const QPixmap logo = image();
    QApplication::setWindowIcon(QIcon(logo));
    auto* label = new QLabel(&window);
    label->setPixmap(logo);
    auto* buttons = new QHBoxLayout;
    for (const char* text : {"Reset", "Uninstall"}) {
        auto* button = new QPushButton(QString::fromLatin1(text), &window);
        button->setFixedWidth(80);
        buttons->addWidget(button);
    }
    auto* stack = new QVBoxLayout(&window);
    stack->addWidget(label, 0, Qt::AlignCenter);
    stack->addSpacing(22);
    stack->addLayout(buttons);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool text = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    const int titleArg = text ? 2 : 1;
    QWidget window;
    window.setWindowTitle(argc > titleArg ? QString::fromLocal8Bit(argv[titleArg])
                          : text          ? QStringLiteral("Nimbla Bench Text Window")
                                          : QStringLiteral("Nimbla Bench Bare Window"));
    if (text) {
        fill(window);
    } else {
        window.resize(480, 320);
    }
    window.show();
    return app.exec();
}
