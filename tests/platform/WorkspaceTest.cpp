// The running applications: which processes are a bundle's main executable, and whose they are.

#include <gmock/gmock.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "helpers/PlistData.h"
#include "helpers/TestSupport.h"
#include "platform/Workspace.h"

extern char** environ;

namespace nimbla::platform {
namespace {

using namespace testsupport;

// Other users' processes are told apart in the simulation (e2e.cli_two_users).
struct Sleepers {  // copies of sleep, killed at the end
    std::vector<pid_t> pids;
    void start(std::string path) {
        fs::create_directories(fs::path(path).parent_path());
        fs::copy_file("/bin/sleep", path, fs::copy_options::skip_existing);
        char* argv[] = {path.data(), const_cast<char*>("600"), nullptr};
        // posix_spawn returns once the program runs, so /proc shows it already.
        EXPECT_EQ(::posix_spawn(&pids.emplace_back(), argv[0], nullptr, nullptr, argv, environ), 0);
    }
    ~Sleepers() {
        for (pid_t pid : pids)
            if (pid > 0 && ::kill(pid, SIGKILL) == 0)
                ::waitpid(pid, nullptr, 0);
    }
};

// An application bundle's Info.plist naming its main executable and identifier ("-": none).
void writeInfoPlist(const fs::path& bundle, const std::string& executable, const std::string& id,
                    bool binary) {
    PlistEntries entries{{"CFBundleExecutable", executable}};
    if (id != "-")
        entries.emplace_back("CFBundleIdentifier", id);
    writePlist(bundle / "Contents/Info.plist", entries, binary);
}

TEST(Workspace, OnlyTheMainExecutableOfABundleIsTheApplication) {
    // Two instances of one bundle, a helper and a plug-in inside another, a bundle without
    // identifier, an executable the Info.plist does not name, a plain folder, and a bundle whose
    // executable is deleted while it runs.
    const struct {
        std::string bundle, executable, id, running, expected;
    } cases[] = {
        {"Foo.app", "Foo", "com.example.foo", "Foo.app/Contents/MacOS/Foo", "com.example.foo"},
        {"Foo.app", "Foo", "com.example.foo", "Foo.app/Contents/MacOS/Foo", "com.example.foo"},
        {"Nimbla.app", "Nimbla", "com.nimbla.desktop", "Nimbla.app/Contents/MacOS/fpe/rivlet", "-"},
        {"Nimbla.app/Contents/PlugIns/Ext.appex", "Ext", "com.nimbla.desktop",
         "Nimbla.app/Contents/PlugIns/Ext.appex/Contents/MacOS/Ext", "-"},
        {"Anon.app", "Anon", "-", "Anon.app/Contents/MacOS/Anon", "-"},
        {"Other.app", "Main", "com.example.other", "Other.app/Contents/MacOS/other", "-"},
        {"bin", "exe", "com.example.bin", "bin/exe", "-"},
        {"Gone.app", "Gone", "com.example.gone", "Gone.app/Contents/MacOS/Gone",
         "com.example.gone"},
    };
    TempDir dir;
    Sleepers sleepers;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        writeInfoPlist(dir.path / cases[i].bundle, cases[i].executable, cases[i].id, i % 2);
        sleepers.start(dir.path / cases[i].running);
    }
    fs::remove(dir.path / "Gone.app/Contents/MacOS/Gone");
    std::map<pid_t, std::optional<std::string>> found;
    const auto applications = runningApplicationsOf(getuid());
    ASSERT_TRUE(applications);
    for (const auto& app : *applications) found.emplace(app.pid, app.bundleIdentifier);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(found.contains(sleepers.pids[i])) << cases[i].running;
        EXPECT_EQ(found[sleepers.pids[i]].value_or("-"), cases[i].expected) << cases[i].running;
    }
}

// As macOS lists them: a process whose executable path cannot be read (replaced or deleted while
// it runs) counts by the path it was started from when its own name, cut to the system's length,
// is that path's last part; a list that cannot be read is no empty one.
TEST(Workspace, AProcessWithoutExecutablePathCountsByNameAndStartPath) {
    TempDir dir;
    const std::string app = (dir.path / "Nimbla.app").string(), exe = "/Contents/MacOS/";
    writeInfoPlist(app, "Nimbla", "com.nimbla.desktop", true);
    const std::string longName = "NimblaDriveHelperAgent";  // 22 bytes, cut to 16 by macOS
    writeInfoPlist(dir.path / "Long.app", longName, "com.example.long", false);
    const std::string longApp = (dir.path / "Long.app").string();
    ProcessList list = std::vector<ProcessEntry>{
        {10, 501, "", "Nimbla", app + exe + "Nimbla"},
        {11, 501, "", "sh", app + exe + "Nimbla"},
        {12, 501, "", "Nimbl", app + exe + "Nimbla"},
        {13, 501, "", "", app + exe + "Nimbla"},
        {14, 501, "", "Nimbla", ""},
        {15, 501, "", longName.substr(0, 16), longApp + exe + longName},
        {16, 501, app + exe + "Nimbla", "", ""},
    };
    auto processes = processListSeam().override([&](std::optional<uid_t>) { return list; });
    std::map<pid_t, std::string> found;
    const auto applications = runningApplicationsOf(501);
    ASSERT_TRUE(applications);
    for (const auto& application : *applications)
        found.emplace(application.pid, application.bundleIdentifier.value_or("-"));
    EXPECT_EQ(found, (std::map<pid_t, std::string>{{10, "com.nimbla.desktop"},
                                                   {15, "com.example.long"},
                                                   {16, "com.nimbla.desktop"}}));
    EXPECT_EQ(runningApplicationsOfEveryone().value().size(), 3u);
    list.reset();
    EXPECT_FALSE(runningApplicationsOf(501));
    EXPECT_FALSE(runningApplicationsOfEveryone());
}

}  // namespace
}  // namespace nimbla::platform
