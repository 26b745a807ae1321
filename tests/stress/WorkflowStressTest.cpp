#include <algorithm>
#include <atomic>

#include "helpers/TestSupport.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/Bundle.h"
#include "platform/ScriptingService.h"
#include "platform/Trust.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

using namespace testsupport;
using namespace platform;

// Each button pressed twice in a row, with the log's Desktop as $NIMBLA_TEST_HOME has it (see
// in_mount_namespace.sh): missing, read-only, on a full file system, or usable (the control
// case, where every line must arrive). Every press ends in its own outcome and nothing crashes.
// The commands go through the real runner as /bin/echo of themselves, so nothing here changes;
// the privileged step reaches a scripting service that answers once with success, once with an
// error (whose log line must be dropped quietly too).
TEST(WorkflowStress, EachButtonTwiceEndsInTwoOutcomesWhateverTheDesktop) {
    const std::string log = LogCapture::path();
    const bool desktopExisted = fs::exists(fs::path(log).parent_path());
    TempDir resources;
    for (const char* script : {"uninstall_nimbla_drive", "uninstall_nimbla_drive_r"})
        writeExecutable(resources.path / script, "#!/bin/sh\n");
    auto bundle = mainBundleSeam().override([&] { return BundleInfo{resources.str(), "1.0.0"}; });
    auto workspace =
        runningApplicationsSeam().override([](uid_t) { return std::vector<RunningApplication>{}; });
    auto runner = runProcessSeam().override(
        [](const Session& session, auto& url, auto arguments, auto& description) {
            arguments.insert(arguments.begin(), url);
            return runProcess(session, "/bin/echo", arguments, description);
        });
    // The scripts lie below the temporary folder, which root never trusts.
    auto trusted = programTrustSeam().override([](auto&) { return std::string(); });
    std::atomic<int> privilegedCalls = 0;  // the two uninstall runs overlap
    auto scripting = scriptingServiceSeam().override([&](const std::string&, auto) {
        const ScriptErrorInfo canceled{{{"NSAppleScriptErrorNumber", -128L}}};
        return ++privilegedCalls % 2 ? ScriptOutcome{"removed", {}} : ScriptOutcome{{}, canceled};
    });
    OutcomeRecorder outcomes;
    resetNimbla();
    resetNimbla();
    settle();
    uninstallNimbla();
    uninstallNimbla();
    settle();
    // The two runs of each button overlap, so their outcomes may arrive in either order.
    std::sort(outcomes.names.begin() + 2, outcomes.names.end());
    EXPECT_EQ(outcomes.names, (std::vector<std::string>{"RESET_SUCCESS", "RESET_SUCCESS",
                                                        "UNINSTALL_FAILED", "UNINSTALL_SUCCESS"}));
    EXPECT_EQ(privilegedCalls, 2);
    EXPECT_EQ(fs::exists(fs::path(log).parent_path()), desktopExisted);  // never made by the log
    EXPECT_EQ(readFile(log).find("sudo script completed with error info: ") != std::string::npos,
              std::getenv("NIMBLA_STRESS_EXPECT_LOG") != nullptr);
}

}  // namespace
}  // namespace nimbla
