#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "helpers/LogCapture.h"
#include "process/RunProcess.h"

namespace nimbla {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Seconds = std::chrono::duration<double>;

const std::string kChild = NIMBLA_TEST_CHILD;
const std::string kDescription = "Reading the version (step 1/3), \"Nimbla\":";

int openDescriptors() {
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

bool hasUnreapedChildren() {
    int status;
    return waitpid(-1, &status, WNOHANG) != -1 || errno != ECHILD;
}

// Sends the tool's own stderr (fd 2) somewhere the test can read.
class StderrCapture {
public:
    StderrCapture() : saved_(dup(2)), file_(fileno(tmpfile_)) { dup2(file_, 2); }
    ~StderrCapture() { restore(), fclose(tmpfile_); }
    void restore() {
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
        }
    }
    std::string take() {
        restore();
        std::string text(static_cast<std::size_t>(lseek(file_, 0, SEEK_END)), '\0');
        EXPECT_EQ(pread(file_, text.data(), text.size(), 0), ssize_t(text.size()));
        return text;
    }

private:
    FILE* tmpfile_ = tmpfile();
    int saved_;
    int file_;
};

class RunProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::LogCapture::instance(); }

    ProcessResult run(const Args& args, const std::string& url = kChild) {
        const auto mark = testsupport::LogCapture::instance().mark();
        const auto start = std::chrono::steady_clock::now();
        auto result = runProcess(url, args, kDescription);
        elapsed = std::chrono::steady_clock::now() - start;
        logged = testsupport::LogCapture::instance().since(mark);
        return result;
    }
    std::string line(const std::string& rest) const { return kDescription + rest + "\n"; }

    std::string logged;
    Seconds elapsed{};
};

TEST_F(RunProcess, EachCaseGivesItsResultAndLogLines) {
    struct Case {
        Args args;
        ProcessResult result;
        std::string log;
    };
    const Case cases[] = {
        {{"out=2.36.74\\n", "err=warning: x"},
         {true, "2.36.74\n", "warning: x"},
         line(" output: 2.36.74\n") + line(" Error output: warning: x")},
        {{"out=abc", "err=boom\\n", "exit=3"},
         {false, "abc", "boom\n"},
         line(" output: abc") + line(" Error output: boom\n")},
        {{}, {true, "", ""}, line(" output: ") + line(" done.")},
        {{"exit=1"}, {false, "", ""}, line(" output: ") + line(" done.")},
        // Error output that does not decode counts as none.
        {{"out=caf\\xc3\\xa9 \\xe2\\x9c\\x93\\n", "err=\\xff\\xfe"},
         {true, "caf\xC3\xA9 \xE2\x9C\x93\n", ""},
         line(" output: caf\xC3\xA9 \xE2\x9C\x93\n") + line(" done.")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.result) << testing::PrintToString(c.args);
        EXPECT_EQ(logged, c.log) << testing::PrintToString(c.args);
    }
}

TEST_F(RunProcess, UndecodableOutputIsReportedOnStderrOnly) {
    for (const char* bad : {"out=ok\\xc3\\x28", "out=\\xc0\\xaf", "out=\\xed\\xa0\\x80"}) {
        StderrCapture stderrCapture;
        EXPECT_EQ(run({bad, "err=dropped"}), (ProcessResult{false, "", kStdoutDecodeError}));
        EXPECT_EQ(stderrCapture.take(), "Error in reading standard output data");
        EXPECT_EQ(logged, "");
    }
}

TEST_F(RunProcess, DecodeErrorOnABrokenStderrPipeDoesNotKillTheTool) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    const int saved = dup(2);
    dup2(ends[1], 2);
    const auto result = run({"out=\\xff"});
    dup2(saved, 2);
    close(saved);
    close(ends[1]);
    EXPECT_EQ(result.errorOutput, kStdoutDecodeError);
}

TEST_F(RunProcess, LargeOutputOnBothStreamsIsCollectedWhole) {
    constexpr std::size_t kSize = 2 * 1024 * 1024;
    std::string expectedOut(kSize, '\0'), expectedErr(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i) {
        expectedOut[i] = char('a' + i % 26);
        expectedErr[i] = char('0' + i % 10);
    }
    const auto result = run({"big=" + std::to_string(kSize)});
    EXPECT_TRUE(result.output == expectedOut);  // no 2 MiB diff in the failure message
    EXPECT_TRUE(result.errorOutput == expectedErr);
    EXPECT_TRUE(result.succeeded);
    EXPECT_TRUE(logged ==
                line(" output: " + result.output) + line(" Error output: " + result.errorOutput));
}

TEST_F(RunProcess, LaunchFailureIsAQuietFailedChildThatWroteNothing) {
    char pattern[] = "/tmp/nimbla-launch-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::ofstream(dir + "/not-executable") << "#!/bin/sh\necho hi\n";
    std::ofstream(dir + "/no-format") << "neither a script nor a binary";
    chmod((dir + "/no-format").c_str(), 0755);

    const int descriptorsBefore = openDescriptors();
    for (const std::string& url : {dir + "/missing", dir + "/not-executable", dir + "/no-format",
                                   dir, std::string(""), kChild + std::string(1, '\0')}) {
        EXPECT_EQ(run({"out=never"}, url), (ProcessResult{false, "", ""})) << url;
        EXPECT_EQ(logged, line(" output: ") + line(" done."));
        EXPECT_LT(elapsed.count(), 0.5);
    }
    EXPECT_EQ(run({std::string("out=a\0b", 7)}), (ProcessResult{false, "", ""}));
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    EXPECT_FALSE(hasUnreapedChildren());
    fs::remove_all(dir);
}

TEST_F(RunProcess, ChildGetsOnlyTheStandardDescriptorsAndDefaultSignals) {
    const int inheritable = open("/dev/null", O_RDONLY);  // deliberately not close-on-exec
    signal(SIGPIPE, SIG_IGN);
    const int descriptorsBefore = openDescriptors();
    EXPECT_EQ(run({"fds", "sigpipe"}).output, "0 1 2\ndefault\n");
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    EXPECT_FALSE(hasUnreapedChildren());
    signal(SIGPIPE, SIG_DFL);
    close(inheritable);
}

TEST_F(RunProcess, ChildKilledBySignalHasFailed) {
    EXPECT_EQ(run({"signal=9"}), (ProcessResult{false, "", ""}));
    EXPECT_EQ(run({"out=partial", "signal=15"}), (ProcessResult{false, "partial", ""}));
    EXPECT_EQ(logged, line(" output: partial") + line(" done."));
}

TEST_F(RunProcess, ProcessLeftBehindHoldingThePipesDoesNotHoldUpTheCall) {
    const auto result = run({"grandchild", "out=started", "sleep=300"});
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.output.rfind("started", 0), 0u);
    EXPECT_GE(elapsed.count(), 1.0);
    EXPECT_LT(elapsed.count(), 2.5);
}

TEST_F(RunProcess, SignalsArrivingWhileWaitingAreRetried) {
    struct sigaction action {};
    action.sa_handler = [](int) {};  // no SA_RESTART: every call it lands in fails with EINTR
    struct sigaction previous {};
    sigaction(SIGALRM, &action, &previous);
    itimerval every2ms{{0, 2000}, {0, 2000}};
    setitimer(ITIMER_REAL, &every2ms, nullptr);
    const auto result = run({"sleep=50", "big=300000", "sleep=50", "out=end"});
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.output.size(), 300003u);
    EXPECT_EQ(result.errorOutput.size(), 300000u);
}

}  // namespace
}  // namespace nimbla
