#include "helpers/TestSupport.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Reset.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

using namespace testsupport;
using namespace platform;
using Strings = std::vector<std::string>;
const std::string kVersionRead = "Reading tolu version from defaults";
const std::string kClientTool = "/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet";
const std::string kArchive = "--remove-fpe-domain-and-archive-unsynced-content";
const std::string kPreserve = "--remove-fpe-domain-and-preserve-unsynced-content";
const RemovalCommand kShell = {
    {"url", {"/bin/bash"}},
    {"parameters",
     {"-c", "fileproviderctl domain remove -A com.nimbla.desktop.nimblafileprovider"}}};
RemovalCommand clientTool(const std::string& flag) {
    return {{"url", {kClientTool}}, {"parameters", {flag, "Nimbla"}}};
}

// The client's version (as `defaults` prints it) and the system's choose the command; versions
// compare number by number, and text without a leading number is older than 2.36.74.
TEST(DomainRemovalChoice, FollowsTheVersionsOfTheSystemAndTheClient) {
    const std::vector<std::tuple<OperatingSystemVersion, ProcessResult, RemovalCommand>> cases = {
        {{14, 2, 1}, {false, "", "does not exist"}, kShell},
        {{14, 2, 1}, {false, "2.40.0\n", ""}, kShell},
        {{11, 99, 99}, {true, "2.40.0\n", ""}, kShell},
        {{11, 7, 10}, {true, "2.0.0\n", ""}, kShell},
        {{12, 0, 0}, {true, "2.36.74\n", ""}, clientTool(kPreserve)},
    };
    for (const auto& [os, version, expected] : cases) {
        auto system = operatingSystemVersionSeam().override([os = os] { return os; });
        ScriptedRunner runner{.answers = {{kVersionRead, version}}};
        EXPECT_EQ(getDomainRemovalAndArchiveArguments(), expected) << version.output << os.major;
        EXPECT_EQ(isMacOS11orLess(), os.major <= 11);
        ASSERT_EQ(runner.calls.size(), 1u);
    }
    auto system = operatingSystemVersionSeam().override([] {
        return OperatingSystemVersion{13, 0, 0};
    });
    const std::pair<std::string, Strings> versions[] = {
        {kArchive,
         {"2.36.73\n", "2.36.8\n", "2.4.0\n", "2.36\n", "", "\n", "garbage\n", "v2.40.0\n",
          " 2.40.0\n"}},
        {kPreserve,
         {"2.36.74\n", "2.36.74", "2.36.74\r\n", "2.36.75\n", "2.37.0\n", "2.36.100\n", "2.100.0\n",
          "10.0.0\n", "3\n", "02.036.074\n", "2.36.74.1\n", "2.36.74 (build 9)\n",
          "99999999999999999999999.0\n", "2.99999999999999999999999\n"}}};
    for (const auto& [flag, list] : versions) {
        for (const std::string& version : list) {
            ScriptedRunner runner{.answers = {{kVersionRead, {true, version, ""}}}};
            EXPECT_EQ(getDomainRemovalAndArchiveArguments(), clientTool(flag)) << version;
        }
    }
}

// The removal succeeds, or fails only because the domain is absent: each absent-domain text
// counts in its own stream only, with its exact letter case.
TEST(DomainRemovalJudgement, AbsentDomainCountsOnlyInItsOwnStream) {
    const std::string noDomain = "No existing domain was found with display name: Nimbla";
    const std::string noProvider = "File provider com.nimbla.desktop.nimblafileprovider not found";
    const std::vector<std::pair<ProcessResult, bool>> cases = {
        {{true, "whatever", "it printed"}, true},
        {{false, noDomain + "\n", ""}, true},
        {{false, "", noProvider + "\n"}, true},
        {{false, "line before\n" + noDomain + "\nline after\n", "other"}, true},
        {{false, "", "Error: " + noProvider + " (code 3)"}, true},
        {{false, "", noDomain}, false},
        {{false, noProvider, ""}, false},
        {{false, "no existing domain was found with display name: nimbla", ""}, false},
        {{false, "", "something else went wrong"}, false}};
    for (const auto& [result, expected] : cases) {
        ScriptedRunner runner{.answers = {{"Removing Nimbla domain", result}}};
        EXPECT_EQ(removeDomainAndArchiveUnsyncedFiles({kPreserve, "Nimbla"}, {kClientTool}),
                  expected)
            << result.output << result.errorOutput;
        EXPECT_EQ(runner.calls[0].command, (Strings{kClientTool, kPreserve, "Nimbla"}));
    }
    ScriptedRunner runner;
    EXPECT_FALSE(removeDomainAndArchiveUnsyncedFiles({"-c", "true"}, {}));  // no url: runs nothing
    EXPECT_TRUE(runner.calls.empty());
}

TEST(RunningClient, MatchesTheWholeIdentifierExactly) {
    const std::vector<std::pair<std::vector<RunningApplication>, bool>> cases = {
        {{}, false},
        {{{1, std::nullopt},
          {2, "com.nimbla.desktop.nimblafileprovider"},
          {3, "com.Nimbla.Desktop"},
          {4, "com.nimbla.desktop "},
          {5, "xcom.nimbla.desktop"},
          {6, ""}},
         false},
        {{{1, std::nullopt}, {2, "com.nimbla.desktop"}}, true},
        {{{1, "com.nimbla.desktop"}, {2, "com.nimbla.desktop"}}, true}};
    for (const auto& [applications, running] : cases) {
        auto workspace = workspaceSeam().override([&] { return applications; });
        EXPECT_EQ(isNimblaDriveRunning(), running) << testing::PrintToString(applications.size());
    }
}

}  // namespace
}  // namespace nimbla
