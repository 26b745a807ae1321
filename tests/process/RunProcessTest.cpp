#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#if !defined(__APPLE__)
#include <unicode/utf8.h>
#endif

#include <cstring>

#include "helpers/TestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/ScriptingService.h"
#include "process/Steps.h"
#include "process/Utf8.h"

namespace nimbla {
namespace {

using namespace testsupport;
using namespace platform;
using Args = std::vector<std::string>;
const std::string kChild = NIMBLA_TEST_CHILD;
const std::string kDescription = "Reading the version (step 1/3), \"Nimbla\":";

int openDescriptors() {
    return int(std::distance(fs::directory_iterator("/dev/fd"), {}));
}
#if !defined(__APPLE__)  // a Mac has no ICU headers; the shared code is checked on Linux
bool isStrictUtf8(const std::string& text) {  // ICU's reading, as the reference
    UChar32 c = 0;
    for (int32_t i = 0, length = int32_t(text.size()); i < length && c >= 0;)
        U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, length, c);
    return c >= 0;
}

// Every sequence of up to four bytes drawn from the boundaries of the encoding, alone and after
// ASCII long enough for a word-at-a-time scan, is judged as ICU judges it.
TEST(Utf8, AgreesWithIcuOnEveryBoundarySequence) {
    const std::string bytes(
        "\x00\x41\x7f\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xed\xee\xef"
        "\xf0\xf4\xf5\xff",
        21);
    std::size_t count = 1;  // sequences of the current length
    for (std::size_t length = 0; length <= 4; ++length) {
        for (std::size_t n = 0; n < 2 * count; ++n) {
            std::string text = n < count ? "" : "12345678abcdefg";
            for (std::size_t k = 0, rest = n % count; k < length; ++k) {
                text += bytes[rest % 21];
                rest /= 21;
            }
            ASSERT_EQ(isValidUtf8(text), isStrictUtf8(text)) << testing::PrintToString(text);
        }
        count *= 21;
    }
}
#endif

// Points the tool's own descriptor `fd` elsewhere (by default at a pipe whose reader has gone)
// while it lives.
struct Redirect {
    int fd, saved;
    explicit Redirect(int target, int to = -1) : fd(target), saved(dup(target)) {
        int ends[2] = {to, -1};
        if (to < 0 && pipe(ends) == 0) {
            close(ends[0]);
            ends[0] = ends[1];
        }
        dup2(ends[0], fd);
        close(ends[1]);
    }
    ~Redirect() {
        dup2(saved, fd);
        close(saved);
    }
};

// One call: its result, what it logged, what the tool itself wrote on fd 2, and its duration.
struct Call {
    ProcessResult result;
    std::string logged, toolStderr;
    double seconds;
};
Call run(const Args& args, const std::string& url = kChild, const Session& session = windowLike()) {
    LogCapture log;
    FILE* capture = tmpfile();
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result;
    {
        Redirect toCapture(2, fileno(capture));
        result = runProcess(session, url, args, kDescription);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::string written(1 << 16, '\0');
    rewind(capture);
    written.resize(fread(written.data(), 1, written.size(), capture));
    fclose(capture);
    return {std::move(result), log.appended(), written, took.count()};
}
// The log lines and the tool's stderr that go with a result, byte for byte.
void expectCall(const Call& call, const ProcessResult& expected, const std::string& what = "") {
    const bool decoded = expected.errorOutput != kStdoutDecodeError;
    const std::string error = expected.errorOutput.empty() ? " done." : " Error output: ";
    EXPECT_EQ(call.result, expected) << what;
    EXPECT_TRUE(call.logged == (decoded ? kDescription + " output: " + expected.output + "\n" +
                                              kDescription + error + expected.errorOutput + "\n"
                                        : ""))
        << what << "\n"
        << call.logged.substr(0, 500);
    EXPECT_EQ(call.toolStderr, decoded ? "" : kStdoutDecodeError) << what;
}

TEST(RunProcess, EachCaseGivesItsResultAndLogLines) {
    const int inheritable = open("/dev/null", O_RDONLY);  // not close-on-exec: must not leak
    signal(SIGPIPE, SIG_IGN);                             // the child starts with the default
    const std::vector<std::pair<Args, ProcessResult>> cases = {
        {{"out=2.36.74\\x0a", "err=warning: x"}, {true, "2.36.74\n", "warning: x"}},
        {{"out=abc", "err=boom\\x0a", "exit=3"}, {false, "abc", "boom\n"}},
        {{}, {true, "", ""}},
        {{"exit=1"}, {false, "", ""}},
        {{"signal=9"}, {false, "", ""}},
        {{"out=partial", "signal=15"}, {false, "partial", ""}},
        {{"fds"}, {true, "0 1 2 default\n", ""}},
        // Error output that does not decode counts as none; output that does not is reported.
        {{"out=caf\\xc3\\xa9\\x0a", "err=\\xff\\xfe"}, {true, "caf\xC3\xA9\n", ""}},
        {{"out=ok\\xc3\\x28", "err=x"}, {false, "", kStdoutDecodeError}},
    };
    for (const auto& [args, expected] : cases)
        expectCall(run(args), expected, testing::PrintToString(args));
    signal(SIGPIPE, SIG_DFL);
    close(inheritable);
    Redirect broken(2);  // the decode error's line to a broken stderr does not end the tool
    EXPECT_EQ(runProcess(windowLike(), kChild, {"out=\\xff"}, kDescription).errorOutput,
              kStdoutDecodeError);
}

// The tool may be started with any of its standard descriptors closed: the pipes never take their
// places (where anything the tool writes as its own output would end up in a child's), and both
// streams arrive whole.
TEST(RunProcessDeathTest, CapturesBothStreamsWithStandardDescriptorsClosed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const std::vector<int>& closed : {std::vector{0, 1, 2}, {1, 2}, {0, 2}, {0}, {2}}) {
        std::string open;  // what the child sees open in the tool while it runs
        for (int fd = 0; fd < 3; ++fd)
            if (std::find(closed.begin(), closed.end(), fd) == closed.end())
                open += std::to_string(fd) + " ";
        EXPECT_EXIT(
            {
                for (int fd : closed) close(fd);
                const ChildOutput child =
                    runChild(kChild, {"out=o", "err=e", "parentfds"}, ChildInput::Null);
                std::_Exit(
                    child.exitedWithZero() && child.out == "o" + open && child.err == "e" ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << testing::PrintToString(closed);
    }
}

// The cases below run at unit size here and at stress size in the stress build.

// Both streams at once, with a signal landing every 2 ms (no SA_RESTART) on every wait.
TEST(RunProcessLoad, BothStreamsArriveWholeWhileSignalsInterrupt) {
    const std::size_t size = std::size_t(sized(2 << 20, 1LL << 30));
    const std::string logPath = LogCapture::path();
    if (kStress)  // the log line would be as big again
        fs::remove(logPath), fs::create_symlink("/dev/null", logPath);
    struct sigaction action = {}, previous = {};
    action.sa_handler = [](int) {};
    sigaction(SIGALRM, &action, &previous);
    itimerval every2ms{{0, 2000}, {0, 2000}}, off{};
    setitimer(ITIMER_REAL, &every2ms, nullptr);
    const Call r = run({"sleep=50", "big=" + std::to_string(size)});
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    if (kStress)
        fs::remove(logPath);

    ASSERT_EQ(r.result.output.size(), size);
    ASSERT_EQ(r.result.errorOutput.size(), size);
    static char expected[kPiece];
    for (std::size_t at = 0; at < size; at += kPiece) {
        for (const auto& [fd, got] : {std::pair{1, &r.result.output}, {2, &r.result.errorOutput}}) {
            patternPiece(fd, at, expected);
            ASSERT_EQ(memcmp(&(*got)[at], expected, std::min(kPiece, size - at)), 0) << fd << at;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);  // what was captured is held once, not copied on the way
    EXPECT_TRUE(kSanitized || !kStress || usage.ru_maxrss < 2.25 * 2 * double(size) / 1024);
    EXPECT_TRUE(kStress || r.logged == kDescription + " output: " + r.result.output + "\n" +
                                           kDescription + " Error output: " + r.result.errorOutput +
                                           "\n");
}

// Programs that cannot be started fail at once like a child that wrote nothing, and leave no
// descriptor, child or memory behind, however often.
TEST(RunProcessLoad, LaunchFailuresAreQuickAndLeaveNothingBehind) {
    TempDir dir;
    std::ofstream(dir.path / "not-executable") << "#!/bin/sh\necho hi\n";
    writeExecutable(dir.path / "no-format", "neither a script nor a binary");
    // The last one is started with a NUL in an argument.
    const std::string unstartable[] = {dir.str() + "/missing",
                                       dir.str() + "/not-executable",
                                       dir.str() + "/no-format",
                                       dir.str(),
                                       "relative-name",
                                       "",
                                       kChild + '\0',
                                       kChild};
    const long calls = sized(long(std::size(unstartable)), 10000);
    int descriptors = 0;
    std::size_t memory = 0;
    for (long i = -long(std::size(unstartable)); i < calls && !HasFailure(); ++i) {
        if (i == 0) {  // whatever is allocated once is allocated by now
            descriptors = openDescriptors();
            memory = heapInUse();
        }
        const std::string& url = unstartable[size_t(i + calls) % std::size(unstartable)];
        const Call r = run(url == kChild ? Args{std::string("out=a\0b", 7)} : Args{}, url);
        expectCall(r, {false, "", ""}, url);
        EXPECT_LT(r.seconds, 0.5) << url;
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child at all, zombie or not
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(kSanitized || heapInUse() < memory + 64 * 1024);
}

// A child that ends while a process it left behind still holds both pipes: the call returns
// about a second after the child's end (not at once: what is still in the pipes, or written
// meanwhile, counts), quiet or flooding orphan alike, with what was written.
TEST(RunProcessLoad, OrphanHoldingThePipesReleasesTheCall) {
    for (int round = 0; round < sized(1, 3); ++round) {
        for (const std::string kind : {"quiet", "flood"}) {
            const Call r = run({"out=started", "orphan=" + kind, "sleep=200"});
            const auto at = r.result.errorOutput.find("orphan=");
            ASSERT_NE(at, std::string::npos) << kind;
            kill(std::stoi(r.result.errorOutput.substr(at + 7)), SIGKILL);
            EXPECT_TRUE(r.result.succeeded && r.result.output.starts_with("started")) << kind;
            EXPECT_EQ(r.result.output.find_first_not_of('.', 7), std::string::npos) << kind;
            const double least = kind == "quiet" ? 0.2 + 0.9 : 0.2;  // the flood ends by itself
            EXPECT_TRUE(r.seconds >= least && r.seconds < 0.2 + 1.0 + 1.5) << kind << r.seconds;
        }
    }
}

// The privileged runner: the command line handed over as a script string, then the scripting
// service's answer reported byte for byte.
TEST(RunProcessAsSudo, ReportsEachAnswerByteForByte) {
    const ScriptErrorInfo canceled{
        {{"NSAppleScriptErrorMessage", "User canceled."}, {"NSAppleScriptErrorNumber", -128L}}};
    const std::string done = "sudo script completed successfully!\n";
    const std::string wasCanceled =
        "sudo script completed with error info: {\n    NSAppleScriptErrorMessage = \"User "
        "canceled.\";\n    NSAppleScriptErrorNumber = -128;\n} and output: ";
    const struct {
        std::string command, source;
        ScriptOutcome answer;
        std::string out, logged;
    } cases[] = {
        {"sudo '/r'", "\"sudo '/r'\"", {}, done + "\n", ""},
        {"a\"b\\c\n", R"("a\"b\\c\n")", {"removed x\rdone", {}}, done + "removed x\rdone\n", ""},
        {"sudo '/r'", "\"sudo '/r'\"", {{}, canceled}, "", wasCanceled + "\n"},
        {"sudo '/r'", "\"sudo '/r'\"", {"partial", canceled}, "", wasCanceled + "partial\n"},
    };
    for (const auto& c : cases) {
        Args sources;
        auto service = scriptingServiceSeam().override([&](const std::string& source, auto) {
            sources.push_back(source);
            return c.answer;
        });
        LogCapture log;
        testing::internal::CaptureStdout();
        EXPECT_EQ(runProcessAsSudo(windowLike(), c.command), !c.out.empty()) << c.command;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.command;
        EXPECT_EQ(log.appended(), c.logged) << c.command;
        EXPECT_EQ(sources, Args{"do shell script " + c.source + " with administrator privileges"});
    }
    {  // A script root may not trust (below the world-writable temporary folder) never runs.
        TempDir dir;
        const std::string script = dir.str() + "/uninstall_nimbla_drive_r";
        std::ofstream(script) << "#!/bin/sh\n";
        bool ran = false;
        auto service = scriptingServiceSeam().override([&](auto&, auto) {
            ran = true;
            return ScriptOutcome{};
        });
        LogCapture log;
        EXPECT_FALSE(runProcessAsSudo(windowLike(), "sudo '" + script + "'", script));
        EXPECT_FALSE(ran);
        EXPECT_EQ(log.appended().rfind("Not running " + script + " as root: /", 0), 0u)
            << log.appended();
    }
    // The success message to a reader that has gone away does not end the tool.
    signal(SIGPIPE, SIG_DFL);
    auto service = scriptingServiceSeam().override([](auto&, auto) {
        return ScriptOutcome{"x", {}};
    });
    Redirect broken(1);
    EXPECT_TRUE(runProcessAsSudo(windowLike(), "sudo '/r'"));
}

// The observer hears each command start and end, from both runners, with how it ended.
TEST(Steps, EachCommandIsReportedAsItStartsAndEnds) {
    std::vector<std::string> heard;
    const Session observed = windowLike([&heard](const StepEvent& e) {
        std::string line = e.phase == StepEvent::Phase::Started ? "start " : "end ";
        line += std::string(e.description) + " " + std::string(e.program);
        for (const auto& argument : *e.arguments) line += " " + argument;
        if (e.phase == StepEvent::Phase::Ended)
            line += " as " + std::string(e.asUser) + ": " + std::to_string(e.succeeded) +
                    std::to_string(e.started) + " " + std::to_string(e.launchError) + " " +
                    std::to_string(e.exitStatus) + " " + std::to_string(e.signal) + " " +
                    std::to_string(e.outputBytes) + "/" + std::to_string(e.errorOutputBytes) +
                    " [" + std::string(e.output) + "]";
        heard.push_back(line);
    });
    const std::string me = "me";
    LogCapture log;
    run({"out=abc", "err=de", "exit=3"}, kChild, observed);
    run({"signal=9"}, kChild, observed);
    run({}, "/nonexistent", observed);
    auto service = scriptingServiceSeam().override([](auto&, auto) {
        return ScriptOutcome{"ok", {}};
    });
    testing::internal::CaptureStdout();
    runProcessAsSudo(observed, "sudo '/a \"b\"'");
    testing::internal::GetCapturedStdout();
    // A prompt dismissed: the command never ran.
    const ScriptErrorInfo canceled{{{"NSAppleScriptErrorNumber", -128L}}};
    auto dismissed = scriptingServiceSeam().override([&](auto&, auto) {
        return ScriptOutcome{{}, canceled};
    });
    runProcessAsSudo(observed, "sudo '/a'");
    EXPECT_TRUE(
        heard.back().starts_with("end Running the administrator script /bin/sh -c sudo "
                                 "'/a' as root: 00 0 -1 0"))
        << heard.back();
    heard.pop_back();
    heard.pop_back();
    const std::string d = "start " + kDescription + " " + kChild;
    EXPECT_EQ(heard, Args({d + " out=abc err=de exit=3",
                           "end " + kDescription + " " + kChild + " out=abc err=de exit=3 as " +
                               me + ": 01 0 3 0 3/2 [abc]",
                           d + " signal=9",
                           "end " + kDescription + " " + kChild + " signal=9 as " + me +
                               ": 01 0 -1 9 0/0 []",
                           "start " + kDescription + " /nonexistent",
                           "end " + kDescription + " /nonexistent as " + me + ": 00 2 -1 0 0/0 []",
                           "start Running the administrator script /bin/sh -c sudo '/a \"b\"'",
                           "end Running the administrator script /bin/sh -c sudo '/a \"b\"' as "
                           "root: 11 0 0 0 2/0 [ok]"}));
}

}  // namespace
}  // namespace nimbla
