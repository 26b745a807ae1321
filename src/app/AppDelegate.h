#pragma once

#include <QObject>

class QGuiApplication;

namespace nimbla::app {

// The application's delegate: once the last window has closed, the tool ends.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Asked each time the application's last window has closed.
    bool applicationShouldTerminateAfterLastWindowClosed(const QGuiApplication& application) const;

    // Makes this the delegate of `application`: from now on it is asked when the last window
    // closes, and the application quits when it answers true.
    void install(QGuiApplication& application);
};

}  // namespace nimbla::app
