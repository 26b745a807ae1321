// Root acting for a user, who is not trusted: a child run as the user, and the files root writes
// where the user can write. These need root (as the tests run in CI).

#include <fcntl.h>
#include <gmock/gmock.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "helpers/TestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/SafeFile.h"
#include "platform/ScriptingService.h"
#include "platform/Users.h"

extern char** environ;

namespace nimbla::platform {
namespace {

using namespace testsupport;

constexpr uid_t kAlex = 501;
constexpr gid_t kStaff = 20;

// A home for alex holding a copy of the test child.
struct AlexHome {
    TempDir dir;
    std::string child = dir.str() + "/child";
    RunAs alex{kAlex, kStaff, {kStaff, 12}, "alex", dir.str(), "/bin/zsh"};
    AlexHome() {
        fs::permissions(dir.path, fs::perms(0755));
        fs::copy_file(NIMBLA_TEST_CHILD, child);
    }
};

// Sets variables for the length of a scope.
struct PlantedEnvironment {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    explicit PlantedEnvironment(std::initializer_list<std::pair<const char*, const char*>> vars) {
        for (auto [name, value] : vars) {
            const char* old = std::getenv(name);
            saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::setenv(name, value, 1);
        }
    }
    ~PlantedEnvironment() {
        for (auto& [name, value] : saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
};

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    std::sort(result.begin(), result.end());
    return result;
}

TEST(RunAs, TheChildHasTheUsersIdentityAndAnEnvironmentBuiltFromNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    AlexHome home;
    const PlantedEnvironment planted{{"HOME", "/root"},
                                     {"PATH", "/opt/planted/bin:/usr/bin:/bin"},
                                     {"SSH_AUTH_SOCK", "/tmp/agent.1"},
                                     {"LD_PRELOAD", "/nonexistent/preload.so"},
                                     {"NIMBLA_TOKEN", "secret"},
                                     {"LANG", "de_DE.UTF-8"},
                                     {"LC_TIME", "fr_FR.UTF-8"},
                                     {"TZ", "Europe/Berlin"}};
    std::vector<std::string> expected{"HOME=" + home.dir.str(), "USER=alex", "LOGNAME=alex",
                                      "SHELL=/bin/zsh", "PATH=/usr/bin:/bin:/usr/sbin:/sbin"};
    for (char** entry = environ; *entry; ++entry)  // the locale and time zone, carried over
        if (std::string_view v(*entry);
            v.starts_with("LANG=") || v.starts_with("LC_") || v.starts_with("TZ="))
            expected.emplace_back(v);
    std::sort(expected.begin(), expected.end());
    const ChildOutput env = runChild(home.child, {"env"}, ChildInput::Null, &home.alex);
    EXPECT_TRUE(env.exitedWithZero()) << env.err;
    EXPECT_EQ(sortedLines(env.out), expected);

    const ChildOutput ids =
        runChild("/bin/sh", {"-c", "id -u; id -g; id -G; pwd"}, ChildInput::Null, &home.alex);
    EXPECT_EQ(ids.out, "501\n20\n20 12\n" + home.dir.str() + "\n") << ids.err;
    // Root's own steps get the system's PATH, never the inherited one.
    EXPECT_EQ(executeAppleScript(administratorScriptSource("echo \"$PATH\"")).result,
              "/usr/bin:/bin:/usr/sbin:/sbin");

    // Nothing of the tool's but the three streams, whatever it left open or ignored.
    const int inheritable = ::open("/dev/null", O_RDONLY);
    const auto pipeAction = ::signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(runChild(home.child, {"fds"}, ChildInput::Null, &home.alex).out, "0 1 2 default\n");
    ::signal(SIGPIPE, pipeAction);
    ::close(inheritable);

    home.alex.home += "/missing";  // a home it cannot enter: it never runs
    const ChildOutput homeless = runChild("/bin/true", {}, ChildInput::Null, &home.alex);
    EXPECT_FALSE(homeless.started);
    EXPECT_EQ(homeless.launchError, ENOENT);
    const auto root = lookUpUser("root");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->shell, ::getpwuid(0)->pw_shell);
    EXPECT_FALSE(lookUpUser("no such user"));
}

// In a process of its own with a pseudo-terminal as controlling terminal and standard input
// (as root's shell would have), runs the test child as the tool's user with each input, and as
// alex; gives the session id there, then what each child printed.
std::string sessionsUnderATerminal(const AlexHome& home) {
    int report[2];
    EXPECT_EQ(::pipe(report), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20);  // a hang ends the helper, and the test sees no output
        ::setsid();
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            _exit(1);
        const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        if (terminal < 0 || ::ioctl(terminal, TIOCSCTTY, 0) != 0)
            _exit(2);
        ::dup2(terminal, STDIN_FILENO);
        std::string text = "sid=" + std::to_string(::getsid(0)) + "\n";
        text += runChild(home.child, {"session"}, ChildInput::Inherit).out;
        text += runChild(home.child, {"session"}, ChildInput::Null).out;
        text += runChild(home.child, {"session"}, ChildInput::Inherit, &home.alex).out;
        text += std::string("pts=") + ::ptsname(master) + "\n";
        [[maybe_unused]] auto written = ::write(report[1], text.data(), text.size());
        _exit(0);
    }
    ::close(report[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(report[0]);
    ::waitpid(pid, nullptr, 0);
    return text;
}

TEST(RunAs, TheChildHasASessionOfItsOwnWithoutTerminalAndReadsNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    AlexHome home;
    const std::string text = sessionsUnderATerminal(home);
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    ASSERT_EQ(out.size(), 5u) << text;
    const std::string sid = out[0].substr(4), pts = out[4].substr(4);
    // As the tool's user, standard input as told (the spawn path); as alex, nothing of root's.
    EXPECT_EQ(out[1], "sid=" + sid + " tty=yes in=" + pts);
    EXPECT_EQ(out[2], "sid=" + sid + " tty=yes in=/dev/null");
    EXPECT_THAT(out[3], ::testing::MatchesRegex("sid=[0-9]+ tty=no in=/dev/null"));
    EXPECT_NE(out[3].substr(0, sid.size() + 5), "sid=" + sid + " ");
}

}  // namespace
}  // namespace nimbla::platform
