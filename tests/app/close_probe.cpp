// Starts the tool's window, presses Reset while the reset's commands hang, then closes the
// window. The process must end at once with status 0 instead of waiting for the stuck work.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <QApplication>
#include <QTimer>

#include "app/ContentView.h"
#include "app/FittingButton.h"
#include "app/NimblaResetToolApp.h"
#include "platform/HomeDirectory.h"
#include "platform/Workspace.h"
#include "process/RunProcess.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home = (std::filesystem::temp_directory_path() / "nimbla-close-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr) {
        return 2;
    }
    nimbla::platform::homeDirectorySeam().replace([home] { return home; });
    nimbla::platform::workspaceSeam().replace(
        [] { return std::vector<nimbla::platform::RunningApplication>{}; });
    nimbla::runProcessSeam().replace(
        [](const std::string&, const std::vector<std::string>&, const std::string&) {
            std::this_thread::sleep_for(std::chrono::hours(1));
            return nimbla::ProcessResult{};
        });

    QApplication application(argc, argv);
    nimbla::app::NimblaResetToolApp::installMainQueue();
    nimbla::app::NimblaResetToolApp app;
    auto* view = app.window().contentView()->welcomeView();
    QTimer::singleShot(100, view, [view] { view->resetButton()->click(); });
    static bool closed = false;
    QTimer::singleShot(400, &app.window(), [&app] {
        closed = true;
        app.window().close();
    });
    // Should the window not end the tool, fail rather than hang.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(15));
        std::_Exit(3);
    }).detach();
    const int status = app.run();
    nimbla::app::NimblaResetToolApp::endProcess(closed ? status : 4);
}
