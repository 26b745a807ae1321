#include "app/AppDelegate.h"

#include <QGuiApplication>

namespace nimbla::app {

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(const QGuiApplication&) const {
    return true;
}

void AppDelegate::install(QGuiApplication& application) {
    // The delegate decides, not Qt's own default.
    application.setQuitOnLastWindowClosed(false);
    connect(&application, &QGuiApplication::lastWindowClosed, this, [this, &application] {
        if (applicationShouldTerminateAfterLastWindowClosed(application)) {
            QCoreApplication::quit();
        }
    });
}

}  // namespace nimbla::app
