// The application shell: the delegate, and closing the window ends the tool.

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/ContentView.h"
#include "app/NimblaResetToolApp.h"

namespace nimbla::app {
namespace {

// Runs the event loop after `action`; true when something quit it within a few seconds.
bool quitsAfter(const std::function<void()>& action) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(5000);
    QTimer::singleShot(0, action);
    const int status = QCoreApplication::exec();
    return !timedOut && status == 0;
}

TEST(AppDelegateTest, AlwaysAnswersThatTheLastWindowEndsTheTool) {
    AppDelegate delegate;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(delegate.applicationShouldTerminateAfterLastWindowClosed(*qApp));
    }
}

TEST(ShellTest, ClosingTheWindowQuits) {
    NimblaResetToolApp app;
    app.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app.window()));
    EXPECT_TRUE(quitsAfter([&] { app.window().close(); }));
}

TEST(ShellTest, ClosingTheWindowQuitsEvenWhenOtherWindowsRemain) {
    QWidget other;
    other.show();
    NimblaResetToolApp app;
    app.window().show();
    EXPECT_TRUE(quitsAfter([&] { app.window().close(); }));
}

TEST(ShellTest, ClosingTheWindowQuitsWhileAnAlertIsShown) {
    NimblaResetToolApp app;
    app.window().show();
    platform::NotificationCenter::defaultCenter().post("RESET_FAILED");
    ASSERT_NE(app.window().contentView()->welcomeView()->shownAlert(), nullptr);
    EXPECT_TRUE(quitsAfter([&] { app.window().close(); }));
}

TEST(ShellTest, TheDelegateEndsTheToolWhenTheLastWindowCloses) {
    AppDelegate delegate;
    delegate.install(*qApp);
    QWidget window;
    window.show();
    EXPECT_TRUE(quitsAfter([&] { window.close(); }));
}

}  // namespace
}  // namespace nimbla::app
