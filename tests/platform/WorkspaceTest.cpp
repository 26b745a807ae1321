#include "platform/Workspace.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "PlatformTestSupport.h"

extern char** environ;

namespace nimbla::platform {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// A copy of the idle program at `path`, started and killed again at the end of the test.
class IdleProcess {
public:
    explicit IdleProcess(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        if (!fs::exists(path)) {
            fs::copy_file(IDLE_APP_PATH, path);
        }
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        // glibc's posix_spawn returns once the program is executing, so /proc already shows it.
        if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) {
            pid_ = 0;
        }
    }
    // Starts it as another user (root only).
    IdleProcess(const std::string& path, uid_t uid) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) {
                ::_exit(127);
            }
            ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait until it runs the program (or has given up) before looking at it.
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            std::error_code ec;
            if (fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec) == path ||
                ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                break;
            }
            ::usleep(2000);
        }
    }
    ~IdleProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    IdleProcess(const IdleProcess&) = delete;
    IdleProcess& operator=(const IdleProcess&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

const RunningApplication* find(const std::vector<RunningApplication>& apps, pid_t pid) {
    auto it = std::find_if(apps.begin(), apps.end(), [&](const auto& a) { return a.pid == pid; });
    return it == apps.end() ? nullptr : &*it;
}

TEST(Workspace, GivesEachProcessTheIdentifierOfTheBundleItRunsFrom) {
    TempDir dir;
    writePlist(dir / "Foo.app/Contents/Info.plist", "CFBundleIdentifier", "com.example.foo",
               PlistFormat::Xml);
    writePlist(dir / "Nimbla.app/Contents/Info.plist", "CFBundleIdentifier", "com.nimbla.desktop",
               PlistFormat::Binary);
    // A nested bundle without an Info.plist belongs to the bundle around it.
    writePlist(dir / "Outer.app/Contents/Info.plist", "CFBundleIdentifier", "com.example.outer",
               PlistFormat::Xml);
    // A nested bundle with its own Info.plist is its own application.
    writePlist(dir / "Outer.app/Contents/Helpers/Own.app/Contents/Info.plist", "CFBundleIdentifier",
               "com.example.own", PlistFormat::Binary);
    // A bundle whose Info.plist has no identifier gives none.
    writePlist(dir / "Anon.app/Contents/Info.plist", "CFBundleName", "Anon", PlistFormat::Xml);

    IdleProcess foo1(dir / "Foo.app/Contents/MacOS/Foo");
    IdleProcess foo2(dir / "Foo.app/Contents/MacOS/Foo");
    IdleProcess nimbla(dir / "Nimbla.app/Contents/MacOS/Nimbla");
    IdleProcess inner(dir / "Outer.app/Contents/Helpers/Inner.app/Contents/MacOS/Inner");
    IdleProcess own(dir / "Outer.app/Contents/Helpers/Own.app/Contents/MacOS/Own");
    IdleProcess anon(dir / "Anon.app/Contents/MacOS/Anon");
    IdleProcess plain(dir / "bin/idle");
    for (const IdleProcess* p : {&foo1, &foo2, &nimbla, &inner, &own, &anon, &plain}) {
        ASSERT_GT(p->pid(), 0);
    }

    const auto apps = runningApplications();
    const auto identifierOf = [&](const IdleProcess& p) -> std::optional<std::string> {
        const RunningApplication* app = find(apps, p.pid());
        EXPECT_NE(app, nullptr) << "pid " << p.pid() << " missing from the snapshot";
        return app ? app->bundleIdentifier : std::nullopt;
    };
    EXPECT_EQ(identifierOf(foo1), "com.example.foo");
    EXPECT_EQ(identifierOf(foo2), "com.example.foo");
    EXPECT_EQ(identifierOf(nimbla), "com.nimbla.desktop");
    EXPECT_EQ(identifierOf(inner), "com.example.outer");
    EXPECT_EQ(identifierOf(own), "com.example.own");
    EXPECT_EQ(identifierOf(anon), std::nullopt);
    EXPECT_EQ(identifierOf(plain), std::nullopt);
    ASSERT_NE(find(apps, ::getpid()), nullptr);
}

TEST(Workspace, AProcessWhoseExecutableWasDeletedStillBelongsToItsBundle) {
    TempDir dir;
    writePlist(dir / "Gone.app/Contents/Info.plist", "CFBundleIdentifier", "com.example.gone",
               PlistFormat::Xml);
    IdleProcess gone(dir / "Gone.app/Contents/MacOS/Gone");
    ASSERT_GT(gone.pid(), 0);
    fs::remove(dir / "Gone.app/Contents/MacOS/Gone");

    const auto apps = runningApplications();
    const RunningApplication* app = find(apps, gone.pid());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->bundleIdentifier, "com.example.gone");
}

TEST(Workspace, ListsOnlyTheCurrentUsersProcesses) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "starting a process as another user needs root";
    }
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    writePlist(dir / "Foo.app/Contents/Info.plist", "CFBundleIdentifier", "com.example.foo",
               PlistFormat::Xml);
    const std::string exe = dir / "Foo.app/Contents/MacOS/Foo";
    fs::create_directories(fs::path(exe).parent_path());
    fs::copy_file(IDLE_APP_PATH, exe);
    IdleProcess mine(exe);
    IdleProcess someoneElse(exe, 65534);
    ASSERT_GT(mine.pid(), 0);
    ASSERT_GT(someoneElse.pid(), 0);

    const auto apps = runningApplications();
    EXPECT_NE(find(apps, mine.pid()), nullptr);
    EXPECT_EQ(find(apps, someoneElse.pid()), nullptr);
}

TEST(Workspace, BundleLookupForPaths) {
    TempDir dir;
    writePlist(dir / "A.app/Contents/Info.plist", "CFBundleIdentifier", "com.example.a",
               PlistFormat::Binary);
    writePlist(dir / ".app/Contents/Info.plist", "CFBundleIdentifier", "com.example.dot",
               PlistFormat::Xml);
    EXPECT_EQ(bundleIdentifierForExecutable(dir / "A.app/Contents/MacOS/A"), "com.example.a");
    EXPECT_EQ(bundleIdentifierForExecutable(dir / "A.app/A"), "com.example.a");
    // The executable itself is no enclosing folder, and ".app" alone names no bundle.
    EXPECT_EQ(bundleIdentifierForExecutable(dir / "A.app"), std::nullopt);
    EXPECT_EQ(bundleIdentifierForExecutable(dir / ".app/Contents/MacOS/x"), std::nullopt);
    EXPECT_EQ(bundleIdentifierForExecutable(dir / "B.app/Contents/MacOS/B"), std::nullopt);
    EXPECT_EQ(bundleIdentifierForExecutable("A.app/Contents/MacOS/A"), std::nullopt);
    EXPECT_EQ(bundleIdentifierForExecutable(""), std::nullopt);
    EXPECT_EQ(bundleIdentifierForExecutable("/"), std::nullopt);
}

}  // namespace
}  // namespace nimbla::platform
