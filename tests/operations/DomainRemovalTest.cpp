#include <gtest/gtest.h>

#include <atomic>

#include "operations/Reset.h"
#include "operations/WorkflowTestSupport.h"
#include "platform/SystemVersion.h"

namespace nimbla {
namespace {

using testsupport::ScriptedRunner;

const std::string kVersionRead = "Reading tolu version from defaults";
const std::string kRemoval = "Removing Nimbla domain";
const std::string kClientTool = "/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet";
const std::string kArchive = "--remove-fpe-domain-and-archive-unsynced-content";
const std::string kPreserve = "--remove-fpe-domain-and-preserve-unsynced-content";
const RemovalCommand kShellCommand = {
    {"url", {"/bin/bash"}},
    {"parameters",
     {"-c", "fileproviderctl domain remove -A com.nimbla.desktop.nimblafileprovider"}}};

RemovalCommand clientTool(const std::string& flag) {
    return {{"url", {kClientTool}}, {"parameters", {flag, "Nimbla"}}};
}

class DomainRemovalChoice : public ::testing::Test {
protected:
    // The operating system the probe reports, and how often it was asked.
    platform::OperatingSystemVersion os{14, 2, 1};
    std::atomic<int> osProbes{0};
    platform::Seam<platform::OperatingSystemVersion()>::Override osOverride =
        platform::operatingSystemVersionSeam().override([this] {
            ++osProbes;
            return os;
        });
    ScriptedRunner runner;

    RemovalCommand chooseWithVersion(const std::string& output, bool succeeded = true) {
        runner.answer(kVersionRead, {succeeded, output, succeeded ? "" : "does not exist"});
        return getDomainRemovalAndArchiveArguments();
    }
};

TEST_F(DomainRemovalChoice, ReadsTheVersionWithDefaultsExactlyOnce) {
    chooseWithVersion("2.40.0\n");
    auto calls = runner.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].url, "/usr/bin/defaults");
    EXPECT_EQ(calls[0].arguments,
              (std::vector<std::string>{"read", "/Applications/Nimbla.app/Contents/Info.plist",
                                        "CFBundleShortVersionString"}));
    EXPECT_EQ(calls[0].description, kVersionRead);
}

TEST_F(DomainRemovalChoice, UnreadableVersionUsesTheShellWithoutProbingTheSystem) {
    EXPECT_EQ(chooseWithVersion("", false), kShellCommand);
    EXPECT_EQ(chooseWithVersion("2.40.0\n", false), kShellCommand);
    EXPECT_EQ(osProbes, 0);
}

TEST_F(DomainRemovalChoice, SystemsOlderThan12UseTheShellWhateverTheVersion) {
    for (auto version : {platform::OperatingSystemVersion{11, 7, 10},
                         platform::OperatingSystemVersion{11, 99, 99}}) {
        os = version;
        EXPECT_EQ(chooseWithVersion("2.40.0\n"), kShellCommand);
        EXPECT_EQ(chooseWithVersion("2.0.0\n"), kShellCommand);
        EXPECT_TRUE(isMacOS11orLess());
    }
}

TEST_F(DomainRemovalChoice, System12ExactlyUsesTheClientTool) {
    os = {12, 0, 0};
    EXPECT_FALSE(isMacOS11orLess());
    EXPECT_EQ(chooseWithVersion("2.36.74\n"), clientTool(kPreserve));
}

TEST_F(DomainRemovalChoice, ClientVersionsChooseTheFlagInVersionOrder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2.36.73\n", kArchive},  {"2.36.74\n", kPreserve},   {"2.36.74", kPreserve},
        {"2.36.75\n", kPreserve}, {"2.37.0\n", kPreserve},    {"2.36.100\n", kPreserve},
        {"2.36.8\n", kArchive},   {"2.4.0\n", kArchive},      {"2.100.0\n", kPreserve},
        {"10.0.0\n", kPreserve},  {"2.36.74\r\n", kPreserve}, {"2.36\n", kArchive},
        {"", kArchive},           {"\n", kArchive},           {"garbage\n", kArchive},
        {"v2.40.0\n", kArchive},  {"3\n", kPreserve},
    };
    for (const auto& [version, flag] : cases) {
        EXPECT_EQ(chooseWithVersion(version), clientTool(flag)) << "version \"" << version << "\"";
    }
}

TEST(VersionOrder, ComparesComponentsAsNumbers) {
    EXPECT_EQ(compareVersions("2.36.74", "2.36.74"), 0);
    EXPECT_EQ(compareVersions("2.36.74\n", "2.36.74"), 0);
    EXPECT_EQ(compareVersions("2.36", "2.36.0"), 0);
    EXPECT_EQ(compareVersions("02.036.074", "2.36.74"), 0);
    EXPECT_LT(compareVersions("2.36.73", "2.36.74"), 0);
    EXPECT_GT(compareVersions("2.100.0", "2.36.74"), 0);
    EXPECT_LT(compareVersions("2.4.0", "2.36.74"), 0);
    EXPECT_GT(compareVersions("2.36.74.1", "2.36.74"), 0);
    // Components far beyond any integer type still order correctly.
    EXPECT_GT(compareVersions("99999999999999999999999.0", "2.36.74"), 0);
    EXPECT_LT(compareVersions("2.99999999999999999999999", "3"), 0);
    // Trailing text after the numbers does not count; text without a leading number is older.
    EXPECT_EQ(compareVersions("2.36.74 (build 9)\n", "2.36.74"), 0);
    EXPECT_EQ(compareVersions("2.36.", "2.36.0"), 0);
    EXPECT_LT(compareVersions(" 2.40.0", "2.36.74"), 0);
    EXPECT_LT(compareVersions("", "0"), 0);
}

class DomainRemovalJudgement : public ::testing::Test {
protected:
    ScriptedRunner runner;
    bool removeWith(ProcessResult result) {
        runner.answer(kRemoval, std::move(result));
        return removeDomainAndArchiveUnsyncedFiles({kPreserve, "Nimbla"}, {kClientTool});
    }
};

TEST_F(DomainRemovalJudgement, RunsTheChosenCommandUnderItsDescription) {
    EXPECT_TRUE(removeWith({true, "", ""}));
    auto calls = runner.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].url, kClientTool);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{kPreserve, "Nimbla"}));
    EXPECT_EQ(calls[0].description, kRemoval);
}

TEST_F(DomainRemovalJudgement, AbsentDomainCountsOnlyInItsOwnStream) {
    const std::string noDomain = "No existing domain was found with display name: Nimbla";
    const std::string noProvider = "File provider com.nimbla.desktop.nimblafileprovider not found";

    EXPECT_TRUE(removeWith({false, noDomain + "\n", ""}));
    EXPECT_TRUE(removeWith({false, "", noProvider + "\n"}));
    EXPECT_TRUE(removeWith({false, "line before\n" + noDomain + "\nline after\n", "other"}));
    EXPECT_TRUE(removeWith({false, "", "Error: " + noProvider + " (code 3)"}));

    EXPECT_FALSE(removeWith({false, "", noDomain}));
    EXPECT_FALSE(removeWith({false, noProvider, ""}));
    EXPECT_FALSE(removeWith({false, "no existing domain was found with display name: nimbla", ""}));
    EXPECT_FALSE(removeWith({false, "", "something else went wrong"}));
    EXPECT_TRUE(removeWith({true, "whatever", "it printed"}));
}

TEST_F(DomainRemovalJudgement, EmptyUrlRunsNothing) {
    EXPECT_FALSE(removeDomainAndArchiveUnsyncedFiles({"-c", "true"}, {}));
    EXPECT_TRUE(runner.calls().empty());
}

}  // namespace
}  // namespace nimbla
