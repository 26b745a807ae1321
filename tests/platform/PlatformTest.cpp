// The platform layer: queues, notifications, property lists, the system version, the bundle's
// resources, the home folder and the scripting service.

#include <gmock/gmock.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <atomic>
#include <future>

#include "helpers/PlistData.h"
#include "helpers/TestSupport.h"
#include "platform/Bundle.h"
#include "platform/ChildProcess.h"
#include "platform/HomeDirectory.h"
#include "platform/PropertyList.h"
#include "platform/ScriptingService.h"
#include "platform/SystemVersion.h"
#include "platform/Users.h"

namespace nimbla::platform {
namespace {

using namespace std::literals;
using namespace testsupport;
using ::testing::HasSubstr;

TEST(Queues, MainQueueRunsInOrderIncludingWorkQueuedWhileDraining) {
    std::string order;
    dispatchMainAsync([&] {
        order += '1';
        dispatchMainAsync([&] { order += '3'; });
    });
    dispatchMainAsync([&] { order += '2'; });
    EXPECT_EQ(order, "");  // nothing runs before the loop is drained
    EXPECT_EQ(mainRunLoop().drain(), 3);
    EXPECT_EQ(order, "123");
}

TEST(Queues, BackgroundRunsBlockingTasksSideBySideAndIdleWaitsForNestedWork) {
    std::promise<void> started;
    const auto secondStarted = started.get_future().share();
    std::atomic<int> done{0};
    dispatchBackgroundAsync([&, secondStarted] {
        done += secondStarted.wait_for(10s) == std::future_status::ready ? 1 : 100;
    });
    dispatchBackgroundAsync([&] {
        started.set_value();
        dispatchBackgroundAsync([&] {
            std::this_thread::sleep_for(20ms);
            ++done;
        });
    });
    waitForBackgroundIdle();
    EXPECT_EQ(done, 2);
}

TEST(NotificationCenter, AnObserverMayRemoveItselfAndLaterOnesWhileBeingCalled) {
    NotificationCenter center;
    std::string calls;
    NotificationCenter::Token self = 0, later = 0;
    self = center.addObserver("N", [&] {
        calls += 's';
        center.removeObserver(self);
        center.removeObserver(later);
    });
    later = center.addObserver("N", [&] { calls += 'l'; });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, "s");
}

// Removal from another thread waits for calls in progress, so nothing runs after it returned.
TEST(NotificationCenter, ConcurrentAddRemoveAndPostNeverCallARemovedObserver) {
    NotificationCenter center;
    std::atomic<int> stop{0}, late{0};
    std::thread poster([&] {
        while (!stop) center.post("N");
    });
    const auto churn = [&] {
        for (int round = 0; round < 500; ++round) {
            auto gone = std::make_shared<std::atomic<int>>(0);
            const auto token = center.addObserver("N", [&late, gone] {
                std::this_thread::yield();
                late += *gone;
            });
            std::this_thread::yield();
            center.removeObserver(token);
            *gone = 1;
        }
    };
    std::thread churners[] = {std::thread(churn), std::thread(churn), std::thread(churn)};
    for (auto& churner : churners) churner.join();
    stop = 1;
    poster.join();
    EXPECT_EQ(late, 0);
}

TEST(PropertyList, GivesTheSystemVersionFromXmlOrBinaryElseTheKernelRelease) {
    TempDir dir;
    writePlist(dir.path / "xml", {{"ProductVersion", "11.7.10"}}, false);
    writePlist(dir.path / "bin", {{"ProductVersion", "13.6"}}, true);
    writePlist(dir.path / "number", {{"Key", 12u}}, false);
    std::ofstream(dir.path / "garbage") << "bplist00\xff\xfe\x01";
    ASSERT_EQ(::mkfifo((dir.path / "fifo").c_str(), 0600), 0);  // must not block
    for (const char* name : {"number", "garbage", "fifo", "none", ""})
        EXPECT_EQ(readPlistString(dir.path / name, "Key"), std::nullopt) << name;
    EXPECT_EQ(operatingSystemVersionFrom(dir.path / "xml"), (OperatingSystemVersion{11, 7, 10}));
    EXPECT_EQ(operatingSystemVersionFrom(dir.path / "bin"), (OperatingSystemVersion{13, 6, 0}));
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_EQ(operatingSystemVersionFrom(dir.path / "garbage"),
              parseOperatingSystemVersion(names.release));
}

TEST(Bundle, AnExecutableInAnApplicationBundleTakesItsResourcesAndVersionFromThere) {
    TempDir dir;
    const fs::path contents = dir.path / "Tool.app/Contents";
    writePlist(contents / "Info.plist", {{"CFBundleShortVersionString", "2.1"}}, true);
    fs::create_directories(contents / "Resources");
    fs::create_directories(dir.path / "share/nimbla-reset-tool");
    fs::create_directories(dir.path / "bin");
    const BundleInfo app = bundleForExecutable(contents / "MacOS/tool");
    EXPECT_EQ(app.resourceDirectory, (contents / "Resources").string());
    EXPECT_EQ(app.shortVersion, "2.1");
    EXPECT_EQ(bundleForExecutable(dir.path / "bin/tool").resourceDirectory,
              (dir.path / "share/nimbla-reset-tool").string());
}

TEST(Bundle, PathForResourceGivesOnlyExistingFilesOfTheResourceFolder) {
    EXPECT_TRUE(pathForResource("uninstall_nimbla_drive_r", ""));  // shipped beside the build
    TempDir dir;
    writePlist(dir.path / "Logo.png", {{"Key", ""}}, true);
    auto guard = mainBundleSeam().override([&] { return BundleInfo{dir.str(), "9.9"}; });
    EXPECT_EQ(pathForResource("Logo", "png"), dir.str() + "/Logo.png");
    EXPECT_EQ(pathForResource("Logo", ""), std::nullopt);
    fs::create_directory(dir.path / "Folder.png");
    EXPECT_EQ(pathForResource("Folder", "png"), std::nullopt);
}

TEST(HomeDirectory, IsAnAbsoluteHomeElseTheUserDatabases) {
    const char* saved = std::getenv("HOME");
    const std::string own = lookUpUser(::getuid())->home;
    std::vector<std::string> found;
    for (const char* home : {"/home/x//", "relative/home", ""}) {
        ::setenv("HOME", home, 1);
        found.push_back(homeDirectorySeam().real()());
    }
    saved ? ::setenv("HOME", saved, 1) : ::unsetenv("HOME");
    EXPECT_EQ(found, (std::vector<std::string>{"/home/x", own, own}));
}

std::string statement(const std::string& literal) {
    return "do shell script \"" + literal + "\" with administrator privileges";
}
std::string errorOf(const ScriptOutcome& outcome) {
    return outcome.error ? outcome.error->description() : "none";
}

TEST(ScriptingService, AnythingButTheOneStatementIsASyntaxError) {
    for (const std::string& source :
         {""s, "do shell script \"true\""s, statement("a\\qb"), statement("true") + " and more",
          statement("true") + "\n" + statement("rm"), statement("tr\0ue"s), statement("a\\")})
        EXPECT_THAT(errorOf(executeAppleScript(source)), HasSubstr("Number = -2741;")) << source;
}

// What osascript printed and how it ended, as the scripting service's outcome.
TEST(ScriptingService, ReadsOsascriptsResultOrErrorLineAndPkexecsDismissal) {
    const auto ran = [](int status, std::string out, std::string err, bool pkexec = false) {
        ChildOutput child{true, 0, true, status, 0, std::move(out), std::move(err)};
        const ScriptOutcome outcome = pkexec ? pkexecOutcome(child) : osascriptOutcome(child);
        return outcome.result.value_or("-") + "|" + errorOf(outcome);
    };
    const auto error = [](long number, const std::string& message) {
        return "-|{\n    NSAppleScriptErrorBriefMessage = \"" + message +
               "\";\n    NSAppleScriptErrorMessage = \"" + message +
               "\";\n    NSAppleScriptErrorNumber = " + std::to_string(number) + ";\n}";
    };
    EXPECT_EQ(ran(0, "removed\rdone\n", ""), "removed\rdone|none");
    EXPECT_EQ(ran(0, "\n", ""), "-|none");
    EXPECT_EQ(ran(1, "", "0:72: execution error: User canceled. (-128)\n"),
              error(-128, "User canceled."));
    EXPECT_EQ(ran(1, "", "0:72: execution error: rm: x (y): denied\rmore (1)\n"),
              error(1, "rm: x (y): denied\rmore"));
    EXPECT_EQ(ran(1, "", "osascript: no\n"), error(-2700, "osascript: no"));
    EXPECT_EQ(ran(1, "", "0:1: execution error: bad (12x)\n"),
              error(-2700, "0:1: execution error: bad (12x)"));
    // pkexec: 126 is the dismissed prompt, the user's cancel; 127, refused authorisation, is not.
    EXPECT_EQ(ran(126, "", "", true), error(-128, "User canceled."));
    EXPECT_EQ(ran(127, "", "Not authorized.\n", true), error(127, "Not authorized."));
    ChildOutput missing;
    missing.launchError = ENOENT;
    EXPECT_THAT(errorOf(osascriptOutcome(missing)), HasSubstr("Number = 127;"));
}

TEST(ScriptingService, RunsAsRootGivingMacLineEndsOrStatusAndStandardError) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: otherwise the service asks for authorisation";
    EXPECT_EQ(executeAppleScript(statement(R"(id -u; echo \"a\tb\"\nprintf 'c\\nd\\n\\n')")).result,
              "0\ra\tb\rc\rd\r");
    EXPECT_EQ(executeAppleScript(statement("true")).result, std::nullopt);
    EXPECT_THAT(errorOf(executeAppleScript(statement("echo out; echo a >&2; echo b >&2; exit 3"))),
                HasSubstr("Message = \"a\rb\";\n    NSAppleScriptErrorNumber = 3;\n}"));
    EXPECT_THAT(errorOf(executeAppleScript(statement("kill -9 $$"))),
                HasSubstr("NSAppleScriptErrorNumber = 137;"));  // 128 + the signal
    const auto start = std::chrono::steady_clock::now();  // output held open in the background
    EXPECT_EQ(executeAppleScript(statement("sleep 5 & echo started")).result, "started");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    // The watch hears of the command as it starts, so an interrupted run can stop it; then of 0.
    std::vector<pid_t> heard;
    const ChildWatch watch = [&heard](pid_t pid) {
        heard.push_back(pid);
        if (pid != 0)
            ::kill(pid, SIGTERM);
    };
    EXPECT_THAT(errorOf(executeAppleScript(statement("sleep 30"), &watch)),
                HasSubstr("NSAppleScriptErrorNumber = 143;"));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_GT(heard[0], 0);
    EXPECT_EQ(heard[1], 0);
}

}  // namespace
}  // namespace nimbla::platform
