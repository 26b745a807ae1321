#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "StressSupport.h"

namespace nimbla {
namespace {

using namespace stress;

// The filler that makes line `n` of thread `t` recognisable and of varying length, now and then
// far longer than what a pipe or a page takes in one piece.
std::string filler(int t, long n) {
    const std::size_t length = n % 97 == 0 ? 9000 : static_cast<std::size_t>((n * 31 + t) % 300);
    return std::string(length, static_cast<char>('a' + (n + t) % 26));
}

// Eight threads log at once: every line arrives exactly once, whole, and each thread's lines
// stay in the order it wrote them.
TEST(LogStress, EightThreadsLoseAndTearNothing) {
    TempDir home;
    fs::create_directory(home.path() / "Desktop");
    const std::string path = useLogHome(home.path().string());
    constexpr int kThreads = 8;
    const long lines = scaled(20000);

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, lines] {
            for (long n = 0; n < lines; ++n) {
                log("thread " + std::to_string(t) + " line " + std::to_string(n) + " " +
                    filler(t, n));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    const std::string content = readFile(path);
    ASSERT_FALSE(content.empty());
    ASSERT_EQ(content.back(), '\n');
    std::vector<long> next(kThreads, 0);
    long count = 0;
    std::string_view rest = content;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        int t = -1;
        long n = -1;
        char space = 0;
        int used = 0;
        const std::string text(line);
        ASSERT_EQ(std::sscanf(text.c_str(), "thread %d line %ld%c%n", &t, &n, &space, &used), 3)
            << "torn line " << count << ": " << text.substr(0, 80);
        ASSERT_TRUE(t >= 0 && t < kThreads && space == ' ') << text.substr(0, 80);
        ASSERT_EQ(n, next[t]) << "thread " << t << " lost or reordered a line";
        ASSERT_TRUE(text.substr(static_cast<std::size_t>(used)) == filler(t, n))
            << "line " << n << " of thread " << t << " is torn";
        ++next[t];
        ++count;
    }
    EXPECT_EQ(count, kThreads * lines);
}

}  // namespace
}  // namespace nimbla
