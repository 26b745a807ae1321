#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "StressSupport.h"
#include "process/RunProcess.h"
#include "stress_pattern.h"

namespace nimbla {
namespace {

using namespace stress;
using Clock = std::chrono::steady_clock;

const std::string kChild = NIMBLA_STRESS_CHILD;

// One private log for the whole program, set up before the first test logs.
class ProcessStress : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = new TempDir;
        fs::create_directory(home_->path() / "Desktop");
        logPath_ = useLogHome(home_->path().string());
    }
    static void TearDownTestSuite() {
        delete home_;
        home_ = nullptr;
    }
    static std::size_t logSize() {
        std::error_code error;
        const auto size = fs::file_size(logPath_, error);
        return error ? 0 : static_cast<std::size_t>(size);
    }
    static std::string logSince(std::size_t mark) { return readFile(logPath_).substr(mark); }

    static TempDir* home_;
    static std::string logPath_;
};
TempDir* ProcessStress::home_ = nullptr;
std::string ProcessStress::logPath_;

// 1 GiB on each stream at the same time: every byte arrives, in order, on its own stream.
TEST_F(ProcessStress, GigabyteOnEachStreamAtOnceArrivesByteExact) {
    const std::size_t size = static_cast<std::size_t>(scaled(1LL << 30));
    // The log line that records the output would be as big again; it goes nowhere here.
    fs::remove(logPath_);
    ASSERT_EQ(symlink("/dev/null", logPath_.c_str()), 0);
    const long before = statusKib("VmRSS");

    const ProcessResult result = runProcess(kChild, {"pattern", std::to_string(size)}, "Big");
    fs::remove(logPath_);

    EXPECT_TRUE(result.succeeded);
    ASSERT_EQ(result.output.size(), size);
    ASSERT_EQ(result.errorOutput.size(), size);
    static char expected[kStressPiece];
    for (std::size_t offset = 0; offset < size; offset += kStressPiece) {
        const std::size_t length = std::min<std::size_t>(kStressPiece, size - offset);
        stressPatternPiece(1, offset, expected);
        ASSERT_EQ(std::memcmp(result.output.data() + offset, expected, length), 0)
            << "stdout differs in the piece at " << offset;
        stressPatternPiece(2, offset, expected);
        ASSERT_EQ(std::memcmp(result.errorOutput.data() + offset, expected, length), 0)
            << "stderr differs in the piece at " << offset;
    }
    if (!kSanitized) {
        // Holding what was captured costs its size once; a copy on the way would show here.
        const double captured = 2.0 * static_cast<double>(size) / 1024;
        EXPECT_LT(static_cast<double>(statusKib("VmHWM") - before), 2.25 * captured);
    }
}

// Programs that cannot be started, over and over: each call fails at once and leaves no
// descriptor, no child (zombie or not) and no memory behind.
TEST_F(ProcessStress, TenThousandLaunchFailuresLeaveNothingBehind) {
    TempDir dir;
    const fs::path notExecutable = dir.path() / "plain-file";
    std::ofstream(notExecutable) << "#!/bin/sh\nexit 0\n";
    const std::vector<std::string> unstartable = {(dir.path() / "missing").string(),
                                                  notExecutable.string(),
                                                  dir.path().string(),
                                                  "relative-name",
                                                  "",
                                                  std::string("/bin/true\0x", 11)};
    const long calls = scaled(10000);
    auto fail = [&](long i) {
        const ProcessResult result =
            runProcess(unstartable[static_cast<std::size_t>(i) % unstartable.size()], {"argument"},
                       "Unstartable");
        ASSERT_EQ(result, (ProcessResult{false, "", ""})) << unstartable[i % unstartable.size()];
    };
    for (long i = 0; i < 200; ++i) {  // whatever is allocated once is allocated by now
        fail(i);
    }
    const int descriptors = openDescriptorCount();
    const long memory = statusKib("VmRSS");
    const auto start = Clock::now();
    for (long i = 0; i < calls; ++i) {
        fail(i);
        if (HasFatalFailure()) {
            return;
        }
    }
    const auto elapsed = Clock::now() - start;

    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(childProcessCount(), 0);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    if (!kSanitized) {
        EXPECT_LT(statusKib("VmRSS") - memory, 1024) << "KiB grown over " << calls << " calls";
    }
    // Prompt: far below a second per call, whatever the machine's load.
    EXPECT_LT(elapsed / calls, std::chrono::milliseconds(50));
}

// A child that ends while a process it started still holds both pipes: the call returns about
// a second after the child's end, quiet or flooding orphan alike, and keeps what was written.
TEST_F(ProcessStress, OrphanHoldingThePipesReleasesTheCallSoonAfterTheChildEnds) {
    for (const char* kind : {"quiet", "flood", "quiet", "flood", "flood"}) {
        const auto start = Clock::now();
        const ProcessResult result = runProcess(kChild, {"orphan", kind, "200"}, "Orphan");
        const auto elapsed = Clock::now() - start;

        const auto at = result.errorOutput.find("orphan=");
        ASSERT_NE(at, std::string::npos) << kind;
        const pid_t orphan = std::stoi(result.errorOutput.substr(at + 7));
        kill(orphan, SIGKILL);
        EXPECT_TRUE(result.succeeded) << kind;
        EXPECT_GE(elapsed, std::chrono::milliseconds(200)) << kind;
        // The child's 200 ms, the second of grace, and room for a busy machine.
        EXPECT_LT(elapsed, std::chrono::milliseconds(200 + 1000 + 1500)) << kind;
        if (std::string(kind) == "flood") {
            EXPECT_GT(result.output.size(), 0u);
            EXPECT_EQ(result.output.find_first_not_of('.'), std::string::npos);
        }
    }
}

// ---- arbitrary bytes on either stream ----

bool isStrictUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

// Streams of text, NULs, well-formed and ill-formed sequences, sized around the 64 KiB a read
// takes, with sequences split across that boundary.
std::string randomStream(std::mt19937& random, bool wellFormed) {
    static const std::vector<std::string> good = {
        "plain text ",  std::string(1, '\0'), "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
        "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF",   "\n",       "\r\n",         std::string("\0\0", 2)};
    static const std::vector<std::string> bad = {"\x80",
                                                 "\xBF",
                                                 "\xC0\x80",
                                                 "\xC1\xBF",
                                                 "\xE0\x80\x80",
                                                 "\xE0\x9F\xBF",
                                                 "\xED\xA0\x80",
                                                 "\xED\xBF\xBF",
                                                 "\xF0\x80\x80\x80",
                                                 "\xF0\x8F\xBF\xBF",
                                                 "\xF4\x90\x80\x80",
                                                 "\xF5\x80\x80\x80",
                                                 "\xFE",
                                                 "\xFF",
                                                 "\xE2\x82",
                                                 "\xF0\x9F\x98",
                                                 "\xC3"};
    const std::size_t sizes[] = {0, 1, 17, 4000, 65533, 65534, 65535, 65536, 65537, 140000};
    const std::size_t target = sizes[random() % std::size(sizes)];
    std::string text;
    while (text.size() < target) {
        text += good[random() % good.size()];
    }
    if (!wellFormed) {
        const std::string& wrong = bad[random() % bad.size()];
        const std::size_t at = text.empty() ? 0 : random() % (text.size() + 1);
        text.insert(random() % 2 ? at : text.size(), wrong);
    }
    return text;
}

// What the tool itself writes to its stderr while `body` runs.
template <typename Body>
std::string toolStderrDuring(const fs::path& file, Body body) {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int capture = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(capture, STDERR_FILENO);
    close(capture);
    body();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    return readFile(file);
}

TEST_F(ProcessStress, ArbitraryBytesOnEitherStreamKeepTheContract) {
    TempDir dir;
    const fs::path out = dir.path() / "out", err = dir.path() / "err", tool = dir.path() / "tool";
    std::mt19937 random(20250314);
    const long cases = scaled(400) < 60 ? 60 : scaled(400);
    for (long i = 0; i < cases; ++i) {
        const std::string outBytes = randomStream(random, random() % 3 != 0);
        const std::string errBytes = randomStream(random, random() % 3 != 0);
        std::ofstream(out, std::ios::binary | std::ios::trunc) << outBytes;
        std::ofstream(err, std::ios::binary | std::ios::trunc) << errBytes;
        const std::size_t mark = logSize();

        ProcessResult result;
        const std::string written = toolStderrDuring(tool, [&] {
            result = runProcess(kChild, {"files", out.string(), err.string()}, "Bytes");
        });
        const std::string logged = logSince(mark);

        SCOPED_TRACE("case " + std::to_string(i) + ": " + std::to_string(outBytes.size()) +
                     " bytes on stdout, " + std::to_string(errBytes.size()) + " on stderr");
        if (!isStrictUtf8(outBytes)) {
            EXPECT_EQ(result, (ProcessResult{false, "", kStdoutDecodeError}));
            EXPECT_EQ(written, kStdoutDecodeError);
            EXPECT_EQ(logged, "");
        } else {
            const std::string errorOutput = isStrictUtf8(errBytes) ? errBytes : "";
            EXPECT_TRUE(result.succeeded);
            EXPECT_TRUE(result.output == outBytes);
            EXPECT_TRUE(result.errorOutput == errorOutput);
            EXPECT_EQ(written, "");
            const std::string expected =
                "Bytes output: " + outBytes + "\n" +
                (errorOutput.empty() ? "Bytes done.\n"
                                     : "Bytes Error output: " + errorOutput + "\n");
            EXPECT_TRUE(logged == expected);
        }
        if (HasFailure()) {
            return;
        }
    }
}

}  // namespace
}  // namespace nimbla
