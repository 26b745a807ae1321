#include "app/ContentView.h"

#include <QVBoxLayout>

namespace nimbla::app {

ContentView::ContentView(QWidget* parent) : QWidget(parent), welcomeView_(new WelcomeView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Given more room than it needs, the view keeps its own size and stays in the middle.
    layout->addWidget(welcomeView_, 0, Qt::AlignCenter);
}

}  // namespace nimbla::app
