#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(__APPLE__)
#include <unicode/locid.h>
#include <unicode/timezone.h>
#endif

#include <sstream>

#include "helpers/TestSupport.h"
#include "platform/DateFormatter.h"

namespace nimbla {
namespace {

using namespace testsupport;
using namespace std::chrono;

// The calendar year, not the week-based one, in the user's locale and time zone.
TEST(LogPath, IsDatedWithTheLocalCalendarDate) {
    const std::tuple<const char*, const char*, sys_seconds, std::string> cases[] = {
        {"en_US", "UTC", sys_days{2025y / December / 6} + 12h, "25-12-06"},
        {"en_US", "UTC", sys_days{2025y / December / 29} + 12h, "25-12-29"},
        {"de_DE", "UTC", sys_days{2025y / December / 29} + 12h, "25-12-29"},
        {"en_US", "Asia/Tokyo", sys_days{2025y / December / 31} + 23h, "26-01-01"}};
    for (const auto& [locale, zone, when, date] : cases) {
#if defined(__APPLE__)
        ::setenv("TZ", zone, 1);  // the locale stays the user's; these give the same digits
#else
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(locale), status);
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(zone));
#endif
        EXPECT_EQ(logPathFor("/home/ann", when), "/home/ann/Desktop/Nimbla-ResetTool-logs_" + date)
            << locale << " " << zone;
    }
    EXPECT_EQ(logPathFor("", sys_days{2025y / December / 6}), "");  // nowhere, not the root folder
}

// Created when missing, never truncated, and dropped silently where it cannot be written: a
// missing Desktop (never made), a path through a file, a full disk, no path at all.
TEST(LogFile, AppendsAndDropsWhatCannotBeWritten) {
    TempDir home;
    LogDestination(home.str() + "/log").write("first run\n");
    LogDestination(home.str() + "/log").write("second run\n");
    EXPECT_EQ(readFile(home.path / "log"), "first run\nsecond run\n");
    auto homeSeam = platform::homeDirectorySeam().override([&] { return home.str(); });
    for (const std::string& path : {LogDestination().path(), home.str() + "/log/x",
                                    std::string("/dev/full"), std::string()}) {
        LogDestination(path).write("dropped\n");
    }
    EXPECT_EQ(LogDestination().path().rfind(home.str() + "/Desktop/Nimbla-ResetTool-logs_", 0), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path), {}), 1);
}

// Written as root for a user: a file it creates is the user's; a link planted in place of the
// file or the Desktop, or a second link to another file, is never written through. The copy gets
// each append, also the ones the file refused.
TEST(LogFile, ForAnotherUserNeverFollowsWhatTheUserPlanted) {
    TempDir home;
    fs::create_directory(home.path / "Desktop");
    std::ofstream(home.path / "elsewhere") << "kept\n";
    LogDestination owned(home.str() + "/Desktop/log");
    owned.setOwner(501, 20);
    std::string copied;
    owned.setCopy([&copied](std::string_view text) { copied += text; });
    owned.writePieces({"one ", "line\n"});
    EXPECT_EQ(readFile(home.path / "Desktop/log"), "one line\n");
    struct stat st {};
    if (geteuid() == 0 && stat((home.path / "Desktop/log").c_str(), &st) == 0) {
        EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(501u, 20u));
    }

    fs::remove(home.path / "Desktop/log");
    fs::create_symlink(home.path / "elsewhere", home.path / "Desktop/log");
    owned.write("through a file link\n");
    fs::remove(home.path / "Desktop/log");
    fs::create_hard_link(home.path / "elsewhere", home.path / "Desktop/log");
    owned.write("through a hard link\n");
    fs::remove(home.path / "Desktop/log");
    ASSERT_EQ(mkfifo((home.path / "Desktop/log").c_str(), 0644), 0);
    owned.write("into a FIFO nobody reads, which must not hold the run\n");
    EXPECT_EQ(copied,
              "one line\nthrough a file link\nthrough a hard link\n"
              "into a FIFO nobody reads, which must not hold the run\n");
    fs::rename(home.path / "Desktop", home.path / "Real");
    fs::create_symlink(home.path, home.path / "Desktop");
    LogDestination(home.str() + "/Desktop/elsewhere").write("");
    LogDestination throughDesktop(home.str() + "/Desktop/elsewhere");
    throughDesktop.setOwner(501, 20);
    throughDesktop.write("through a Desktop link\n");
    EXPECT_EQ(readFile(home.path / "elsewhere"), "kept\n");
}

// The process's log: one line per message, in the file of the day it opened even past midnight.
TEST(Log, EachMessageIsOneLineInTheFileOfTheDayTheLogOpened) {
    LogCapture log;
    auto nextDay = platform::clockSeam().override([] { return sys_days{2025y / December / 30}; });
    const Session session = windowLike();
    for (const char* message : {"a message", "", "ending in a newline\n"}) {
        nimbla::log(session, message);
    }
    EXPECT_EQ(log.appended(), "a message\n\nending in a newline\n\n");
    EXPECT_TRUE(LogCapture::path().ends_with("/Desktop/Nimbla-ResetTool-logs_25-12-29"));
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(LogCapture::path()).parent_path()), {}),
              1);
}

// Eight threads log at once (here, and many more lines in the stress build): every line arrives
// once and whole, and each thread's lines stay in the order it wrote them. Now and then a line is
// longer than a pipe or a page takes in one piece.
TEST(LogLoad, EightThreadsLoseAndTearNothing) {
    const long lines = sized(2000, 20000);
    const auto text = [](int t, long n) {
        const std::size_t length = n % 97 == 0 ? 9000 : std::size_t(n * 31 + t) % 300;
        return std::to_string(t) + " " + std::to_string(n) + " " +
               std::string(length, char('a' + (n + t) % 26));
    };
    LogCapture log;
    const Session session = windowLike();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (long n = 0; n < lines; ++n) {
                nimbla::log(session, text(t, n));
            }
        });
    }
    std::for_each(threads.begin(), threads.end(), [](auto& thread) { thread.join(); });
    std::istringstream written(log.appended());
    std::vector<long> next(8, 0);
    for (std::string line; std::getline(written, line) && !HasFailure();) {
        const int t = line[0] - '0';
        ASSERT_TRUE(t >= 0 && t < 8 && line == text(t, next[t]++)) << line.substr(0, 80);
    }
    EXPECT_EQ(next, std::vector<long>(8, lines));
}

}  // namespace
}  // namespace nimbla
