#include <gtest/gtest.h>
#include <pwd.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <cstdlib>
#include <memory>

#include "logging/Logger.h"
#include "platform/DateFormatter.h"
#include "platform/HomeDirectory.h"

namespace nimbla {
namespace {

using namespace std::chrono;

platform::TimePoint at(year_month_day day, minutes timeOfDay = hours{12}) {
    return sys_days{day} + timeOfDay;
}

// Runs each case in a known locale and time zone, and puts the process's back afterwards.
class LocalDate : public ::testing::Test {
protected:
    void SetUp() override { use("en_US", "UTC"); }
    void TearDown() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(savedLocale_, status);
        icu::TimeZone::adoptDefault(savedZone_.release());
    }
    static void use(const char* locale, const char* zone) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(locale), status);
        ASSERT_TRUE(U_SUCCESS(status));
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(zone));
    }

private:
    icu::Locale savedLocale_ = icu::Locale::getDefault();
    std::unique_ptr<icu::TimeZone> savedZone_{icu::TimeZone::createDefault()};
};

TEST_F(LocalDate, LogFileIsNamedWithTheCalendarYear) {
    EXPECT_EQ(logPathFor("/home/ann", at(2025y / December / 6)),
              "/home/ann/Desktop/Nimbla-ResetTool-logs_25-12-06");
    // The last days of December belong to the next week-based year, but not to the next year.
    for (const char* locale : {"en_US", "de_DE", "en_GB"}) {
        use(locale, "UTC");
        EXPECT_EQ(platform::formatDate("yy-MM-dd", at(2025y / December / 29)), "25-12-29")
            << locale;
        EXPECT_EQ(platform::formatDate("yy-MM-dd", at(2027y / January / 1)), "27-01-01") << locale;
    }
}

TEST_F(LocalDate, DateIsTheUsersLocalDate) {
    const auto lateOnNewYearsEve = at(2025y / December / 31, hours{23} + minutes{30});
    EXPECT_EQ(platform::formatDate("yy-MM-dd", lateOnNewYearsEve), "25-12-31");
    use("en_US", "Asia/Tokyo");
    EXPECT_EQ(platform::formatDate("yy-MM-dd", lateOnNewYearsEve), "26-01-01");
}

TEST_F(LocalDate, HomeFolderEdgeCases) {
    const auto day = at(2025y / December / 6);
    EXPECT_EQ(logPathFor("/", day), "/Desktop/Nimbla-ResetTool-logs_25-12-06");
    EXPECT_EQ(logPathFor("", day), "");  // nowhere to log rather than the root folder
}

class HomeEnvironment : public ::testing::Test {
protected:
    void TearDown() override {
        if (saved_) {
            setenv("HOME", saved_->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }
    static std::string fromPasswordDatabase() {
        const passwd* entry = getpwuid(getuid());
        return entry ? entry->pw_dir : "";
    }
    static std::string realHome() { return platform::homeDirectorySeam().real()(); }

private:
    std::unique_ptr<std::string> saved_ =
        getenv("HOME") ? std::make_unique<std::string>(getenv("HOME")) : nullptr;
};

TEST_F(HomeEnvironment, AbsoluteHomeIsUsedWithoutTrailingSlash) {
    setenv("HOME", "/srv/users/ann/", 1);
    EXPECT_EQ(realHome(), "/srv/users/ann");
    setenv("HOME", "/", 1);
    EXPECT_EQ(realHome(), "/");
}

TEST_F(HomeEnvironment, RelativeOrMissingHomeFallsBackToPasswordDatabase) {
    ASSERT_FALSE(fromPasswordDatabase().empty());
    setenv("HOME", "relative/home", 1);
    EXPECT_EQ(realHome(), fromPasswordDatabase());
    setenv("HOME", "", 1);
    EXPECT_EQ(realHome(), fromPasswordDatabase());
    unsetenv("HOME");
    EXPECT_EQ(realHome(), fromPasswordDatabase());
}

}  // namespace
}  // namespace nimbla
