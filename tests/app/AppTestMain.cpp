// The window tests share one QApplication on the offscreen platform, with the core's main queue
// on its event loop, and write their log into a private home folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>

#include "app/NimblaResetToolApp.h"
#include "platform/HomeDirectory.h"

namespace {

// The offscreen platform warns about every window it cannot hint sizes for; that is noise here.
QtMessageHandler defaultHandler = nullptr;
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QStringLiteral("does not support propagateSizeHints"))) {
        return;
    }
    defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    // Test discovery runs this binary without the test's environment.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);

    std::string home = (std::filesystem::temp_directory_path() / "nimbla-app-test-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        return 2;
    }
    std::filesystem::create_directory(std::filesystem::path(home) / "Desktop");
    nimbla::platform::homeDirectorySeam().replace([home] { return home; });

    defaultHandler = qInstallMessageHandler(messageHandler);
    QApplication application(argc, argv);
    nimbla::app::NimblaResetToolApp::installMainQueue();
    const int status = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return status;
}
