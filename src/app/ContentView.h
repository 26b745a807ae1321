#pragma once

#include <QWidget>

#include "app/WelcomeView.h"

namespace nimbla::app {

// The window's content: exactly one WelcomeView.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(QWidget* parent = nullptr);
    WelcomeView* welcomeView() const { return welcomeView_; }

private:
    WelcomeView* welcomeView_;
};

}  // namespace nimbla::app
