#include <gtest/gtest.h>

#include "operations/WorkflowTestSupport.h"
#include "platform/ScriptingService.h"
#include "process/RunProcess.h"

namespace nimbla {
namespace {

using testsupport::LogCapture;

platform::ScriptErrorInfo canceled() {
    platform::ScriptErrorInfo info;
    info.entries["NSAppleScriptErrorMessage"] = "User canceled.";
    info.entries["NSAppleScriptErrorNumber"] = -128L;
    return info;
}

class PrivilegedRunner : public ::testing::Test {
protected:
    std::vector<std::string> sources;
    platform::ScriptOutcome answer;
    platform::Seam<platform::ScriptOutcome(const std::string&)>::Override service =
        platform::scriptingServiceSeam().override([this](const std::string& source) {
            sources.push_back(source);
            return answer;
        });
    LogCapture logged;

    // Runs the command and returns (result, what went to stdout).
    std::pair<bool, std::string> run(const std::string& command) {
        ::testing::internal::CaptureStdout();
        bool ok = runProcessAsSudo(command);
        return {ok, ::testing::internal::GetCapturedStdout()};
    }
};

TEST(SudoScriptSource, WrapsTheCommandUnchanged) {
    EXPECT_EQ(sudoScriptSource("sudo '/x/y'"),
              "do shell script \"sudo '/x/y'\" with administrator privileges");
    EXPECT_EQ(sudoScriptSource(""), "do shell script \"\" with administrator privileges");
    const std::string odd = "a\"b\\c\n";
    EXPECT_EQ(sudoScriptSource(odd).size(), 17 + odd.size() + 31);
}

TEST_F(PrivilegedRunner, SuccessPrintsToStandardOutputOnly) {
    answer = {std::nullopt, std::nullopt};
    auto [ok, out] = run("sudo '/r'");
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "sudo script completed successfully!\n\n");
    EXPECT_EQ(sources, std::vector<std::string>{sudoScriptSource("sudo '/r'")});

    answer = {"removed /Applications/Nimbla.app\rdone", std::nullopt};
    std::tie(ok, out) = run("sudo '/r'");
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "sudo script completed successfully!\nremoved /Applications/Nimbla.app\rdone\n");
    EXPECT_EQ(logged.appended(), "");
}

TEST_F(PrivilegedRunner, ErrorIsLoggedWithItsDescription) {
    answer = {std::nullopt, canceled()};
    auto [ok, out] = run("sudo '/r'");
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "");

    answer = {"partial", canceled()};
    std::tie(ok, out) = run("sudo '/r'");
    EXPECT_FALSE(ok);
    EXPECT_EQ(logged.appended(),
              "sudo script completed with error info: {\n"
              "    NSAppleScriptErrorMessage = \"User canceled.\";\n"
              "    NSAppleScriptErrorNumber = -128;\n"
              "} and output: \n"
              "sudo script completed with error info: {\n"
              "    NSAppleScriptErrorMessage = \"User canceled.\";\n"
              "    NSAppleScriptErrorNumber = -128;\n"
              "} and output: partial\n");
}

TEST_F(PrivilegedRunner, QuotesThatBreakTheStatementFailThroughTheRealService) {
    auto real = platform::scriptingServiceSeam().override(platform::executeAppleScript);
    // A lone double quote closes the string early; a trailing backslash leaves it open.
    auto [ok, out] = run("echo \"unclosed");
    EXPECT_FALSE(ok);
    std::tie(ok, out) = run("sudo '/x\\");
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "");
    EXPECT_EQ(
        logged.appended(),
        "sudo script completed with error info: {\n"
        "    NSAppleScriptErrorBriefMessage = \"Expected \\\"with administrator privileges\\\" "
        "but found \\\"unclosed\\\".\";\n"
        "    NSAppleScriptErrorMessage = \"Expected \\\"with administrator privileges\\\" but "
        "found \\\"unclosed\\\".\";\n"
        "    NSAppleScriptErrorNumber = -2741;\n"
        "    NSAppleScriptErrorRange = \"NSRange: {23, 8}\";\n"
        "} and output: \n"
        "sudo script completed with error info: {\n"
        "    NSAppleScriptErrorBriefMessage = \"Expected \\\"\\\"\\\" but found end of script.\";\n"
        "    NSAppleScriptErrorMessage = \"Expected \\\"\\\"\\\" but found end of script.\";\n"
        "    NSAppleScriptErrorNumber = -2741;\n"
        "    NSAppleScriptErrorRange = \"NSRange: {57, 0}\";\n"
        "} and output: \n");
}

}  // namespace
}  // namespace nimbla
