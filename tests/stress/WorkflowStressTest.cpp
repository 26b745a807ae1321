#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "StressSupport.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/ScriptingService.h"
#include "platform/Workspace.h"
#include "process/RunProcess.h"

namespace nimbla {
namespace {

using namespace stress;

// Each button pressed twice in a row, with the log's Desktop in the state the environment gives:
// NIMBLA_STRESS_HOME names a home folder prepared from outside (a read-only Desktop, a Desktop
// on a full file system; see in_mount_namespace.sh); without it the Desktop is missing. Every
// press ends in its own outcome, and nothing crashes, whether the log can be written or not.
//
// The workflows run their commands through the real runner, but each command is /bin/echo of
// its own arguments, so nothing on this machine changes; the privileged step goes through the
// real privileged runner to a scripting service that answers once with success, once with an
// error (whose log line must also be dropped quietly).
TEST(WorkflowStress, EachButtonTwiceEndsInTwoOutcomesWhateverTheDesktop) {
    TempDir fallback;
    const char* prepared = std::getenv("NIMBLA_STRESS_HOME");
    const std::string home = prepared ? prepared : fallback.path().string();
    const std::string logPath = useLogHome(home);
    const bool desktopExisted = fs::exists(fs::path(home) / "Desktop");

    TempDir resources;
    for (const char* script : {"uninstall_nimbla_drive", "uninstall_nimbla_drive_r"}) {
        std::ofstream(resources.path() / script) << "#!/bin/sh\nexit 0\n";
        fs::permissions(resources.path() / script, fs::perms::owner_all);
    }
    auto bundle = platform::mainBundleSeam().override([&] {
        return platform::BundleInfo{resources.path().string(), "1.0.0"};
    });
    auto workspace = platform::workspaceSeam().override(
        [] { return std::vector<platform::RunningApplication>{}; });
    auto runner = runProcessSeam().override([](const std::string& url,
                                               const std::vector<std::string>& arguments,
                                               const std::string& description) {
        std::vector<std::string> echoed{url};
        echoed.insert(echoed.end(), arguments.begin(), arguments.end());
        return runProcess("/bin/echo", echoed, description);
    });
    std::mutex mutex;
    int privilegedCalls = 0;
    auto scripting = platform::scriptingServiceSeam().override([&](const std::string&) {
        std::lock_guard lock(mutex);
        if (++privilegedCalls % 2 == 1) {
            return platform::ScriptOutcome{std::string("removed"), std::nullopt};
        }
        platform::ScriptErrorInfo error;
        error.entries["NSAppleScriptErrorNumber"] = -128L;
        error.entries["NSAppleScriptErrorMessage"] = std::string("User canceled.");
        return platform::ScriptOutcome{std::nullopt, error};
    });

    std::vector<std::string> outcomes;
    std::vector<platform::NotificationCenter::Token> tokens;
    auto& center = platform::NotificationCenter::defaultCenter();
    for (std::string_view name :
         {outcomes::resetSuccess, outcomes::resetFailed, outcomes::uninstallSuccess,
          outcomes::uninstallFailed, outcomes::nimblaDriveRunning}) {
        tokens.push_back(center.addObserver(name, [&outcomes, &mutex, name] {
            std::lock_guard lock(mutex);
            outcomes.emplace_back(name);
        }));
    }
    auto settle = [&](std::size_t expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            platform::waitForBackgroundIdle();
            platform::mainRunLoop().drain();
            std::lock_guard lock(mutex);
            if (outcomes.size() >= expected || std::chrono::steady_clock::now() > deadline) {
                return;
            }
        }
    };

    resetNimbla();
    resetNimbla();
    settle(2);
    uninstallNimbla();
    uninstallNimbla();
    settle(4);
    for (auto token : tokens) {
        center.removeObserver(token);
    }

    EXPECT_EQ(outcomes, (std::vector<std::string>{"RESET_SUCCESS", "RESET_SUCCESS",
                                                  "UNINSTALL_SUCCESS", "UNINSTALL_FAILED"}));
    EXPECT_EQ(privilegedCalls, 2);
    // The log never makes a Desktop of its own.
    EXPECT_EQ(fs::exists(fs::path(home) / "Desktop"), desktopExisted);
    if (!prepared) {
        EXPECT_FALSE(fs::exists(logPath));
    }
    if (const char* expectLog = std::getenv("NIMBLA_STRESS_EXPECT_LOG")) {
        // A usable Desktop (the control case) receives every line.
        const std::string content = readFile(logPath);
        EXPECT_EQ(std::string(expectLog), "1");
        EXPECT_NE(content.find("Reset Succeeded\n"), std::string::npos);
        EXPECT_NE(content.find("sudo script completed with error info: "), std::string::npos);
    }
}

}  // namespace
}  // namespace nimbla
