#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "helpers/LogCapture.h"
#include "logging/Logger.h"
#include "platform/DateFormatter.h"

namespace nimbla {
namespace {

namespace fs = std::filesystem;
using testsupport::LogCapture;

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nimbla-log-test-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_;
};

TEST_F(LogFile, AppendsToNewAndExistingFilesWithoutTruncating) {
    const std::string path = dir_ + "/log";
    const mode_t oldMask = umask(022);
    LogDestination first(path);
    first.write("first run\n");
    umask(oldMask);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    LogDestination(path).write("second run\n");  // a later run on the same day
    first.write("");
    first.write("\n");
    EXPECT_EQ(read(path), "first run\nsecond run\n\n");
}

TEST_F(LogFile, UnwritableDestinationsDropTheTextSilently) {
    std::ofstream(dir_ + "/plain-file") << "x";
    for (const std::string& path :
         {dir_ + "/Desktop/log", dir_ + "/plain-file/log", std::string("/dev/full")}) {
        LogDestination(path).write("dropped\n");
    }
    EXPECT_FALSE(fs::exists(dir_ + "/Desktop"));
    EXPECT_EQ(read(dir_ + "/plain-file"), "x");
    LogDestination("").write("dropped\n");
}

TEST_F(LogFile, MissingDesktopInTheHomeFolderWritesNothing) {
    auto home = platform::homeDirectorySeam().override([this] { return dir_; });
    LogDestination destination;
    EXPECT_EQ(destination.path().rfind(dir_ + "/Desktop/Nimbla-ResetTool-logs_", 0), 0u);
    destination.write("dropped\n");
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST(Log, EachMessageBecomesOneLineInTheFileOfTheDayTheLogOpened) {
    auto& capture = LogCapture::instance();
    EXPECT_EQ(capture.path(), capture.home() + "/Desktop/Nimbla-ResetTool-logs_" +
                                  platform::formatDate("yy-MM-dd", LogCapture::openedAt()));

    // Past midnight, the run keeps its file.
    auto nextDay = platform::clockSeam().override(
        [] { return LogCapture::openedAt() + std::chrono::hours{24}; });
    const auto mark = capture.mark();
    log("a message");
    log("");
    log("output ending in a newline\n");
    EXPECT_EQ(capture.since(mark), "a message\n\noutput ending in a newline\n\n");
    const fs::directory_iterator desktop(capture.home() + "/Desktop");
    ASSERT_EQ(std::distance(desktop, fs::directory_iterator{}), 1);
    EXPECT_EQ(fs::directory_iterator(capture.home() + "/Desktop")->path(), capture.path());
}

TEST(Log, ConcurrentMessagesAreNeitherLostNorTorn) {
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 2000;
    auto& capture = LogCapture::instance();
    const auto mark = capture.mark();

    // Lines of different lengths, up to a few KiB, so torn or overlapping writes would show.
    auto lineFor = [](int thread, int i) {
        const std::string tag = std::to_string(thread) + ":" + std::to_string(i) + ":";
        return tag + std::string(static_cast<std::size_t>((i * 37) % 4000), 'a' + thread) + "|";
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &lineFor] {
            for (int i = 0; i < kLinesEach; ++i) {
                log(lineFor(t, i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLinesEach; ++i) {
            expected.insert(lineFor(t, i));
        }
    }
    std::multiset<std::string> written;
    std::istringstream lines(capture.since(mark));
    for (std::string line; std::getline(lines, line);) {
        written.insert(line);
    }
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), expected.begin(), expected.end()));
}

}  // namespace
}  // namespace nimbla
